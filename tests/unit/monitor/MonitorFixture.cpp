#include "MonitorFixture.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace quarnel::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quarnel-monitor-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

BoardSession::BoardSession(double timeOfDay) : clock(timeOfDay) {
    session = std::make_unique<Session>(board, clock, notifier,
                                        [this](int code) { failures.push_back(code); });
    session->link.DeviceAddress = 0x48;
    session->device.state.ReferenceVoltage = 2.28f;
    session->device.state.LogIntervalMs = 250;
    session->device.state.VarnoOnAin3 = true;
    session->device.state.ChannelMode = ChannelFunction::AinInputs;
}

}  // namespace quarnel::test
