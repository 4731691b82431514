#include "link/Clock.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace quarnel {

double SystemClock::timeOfDay() const {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const double fraction =
        duration<double>(now.time_since_epoch()).count() - std::floor(duration<double>(now.time_since_epoch()).count());
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

double SystemClock::monotonic() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleep(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void ManualClock::advance(double seconds) {
    monotonic_ += seconds;
    timeOfDay_ = std::fmod(timeOfDay_ + seconds, kSecondsPerDay);
    if (timeOfDay_ < 0) timeOfDay_ += kSecondsPerDay;
}

}  // namespace quarnel
