// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include <malloc.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "monitor/LogFile.h"

namespace quarnel::bench {
namespace {

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return 0;
}

std::filesystem::path logPath(int64_t lines) {
    return std::filesystem::temp_directory_path() /
           ("quarnel-bench-log-" + std::to_string(::getpid()) + "-" + std::to_string(lines) +
            ".csv");
}

struct RemoveLogAtExit {
    ~RemoveLogAtExit() {
        std::error_code ignored;
        for (const int64_t lines : {kBigLogLines, kHugeLogLines})
            std::filesystem::remove(logPath(lines), ignored);
    }
} removeLogAtExit;

std::string writeLog(int64_t lines) {
    std::array<bool, kLogChannelCount> all{};
    all.fill(true);
    std::ofstream out(logPath(lines), std::ios::binary);
    out << LogPreamble() << BuildLogHeader(all, false) << kLineEnd;
    CurrentReadings r{};
    for (int64_t i = 0; i < lines; ++i) {
        const float wave = float(std::sin(double(i) * 0.001));
        r.InternalTemp = 27.25f + std::round(wave * 16.0f) / 4.0f;
        r.ExternalTemp = 31.5f - std::round(wave * 8.0f) / 4.0f;
        r.VarnoTemp = std::round((24.5f + wave) * 10.0f) / 10.0f;
        r.Vdd = 3.299f;
        r.Ain1 = std::round(wave * 1000.0f) / 1000.0f + 1.0f;
        r.Ain2 = 1.5f, r.Ain3 = .745f, r.Ain4 = 1.234f;
        r.Ain5 = .5f, r.Ain6 = .9f, r.Ain7 = 1.25f, r.Ain8 = 2.0f;
        out << BuildLogLine(all, 10, i, r) << kLineEnd;
    }
    return logPath(lines).string();
}

}  // namespace

QApplication& application() {
    static int argc = 1;
    static char name[] = "quarnel-bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

long startPeak() {
    // What an earlier step freed goes back first: reused, it would hide growth.
    ::malloc_trim(0);
    // "5" resets VmHWM to the resident size now (Linux 4.0 and later).
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKb("VmRSS");
}

double peakGrowthMb(long startKb) {
    return double(statusKb("VmHWM") - startKb) / 1e3;
}

double peakMb() {
    return double(statusKb("VmHWM")) / 1e3;
}

const std::string& bigLogPath(int64_t lines) {
    static const std::string big = writeLog(kBigLogLines);
    if (lines == kBigLogLines) return big;
    static const std::string huge = writeLog(kHugeLogLines);
    return huge;
}

}  // namespace quarnel::bench
