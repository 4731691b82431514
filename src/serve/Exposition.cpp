// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/Exposition.h"

#include <charconv>
#include <cmath>
#include <span>

#include "device/Conversions.h"
#include "device/LimitRegisters.h"
#include "device/RegisterTable.h"
#include "link/AsciiText.h"
#include "monitor/LogFile.h"
#include "monitor/Startup.h"

namespace quarnel::serve {
namespace {

// The digits the command-line tool prints, with the zero before the point
// that NumberText leaves out.
std::string sampleText(float value) {
    if (!std::isfinite(value)) return "NaN";
    const std::string text = TrimmedNumberText(value);
    const size_t point = text[0] == '-' ? 1 : 0;
    if (text[point] != '.') return text;
    // Appended, not inserted: GCC 12 warns wrongly (-Wrestrict) about an insert at -O3.
    std::string sample = text.substr(0, point);
    sample += '0';
    sample += text.substr(point);
    return sample;
}

std::string labelValue(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}

class Writer {
  public:
    void family(const char* name, const char* type, const char* help) {
        name_ = name;
        text_ +=
            std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    // labels: "sensor=\"internal\"" or empty.
    void sample(const std::string& labels, const std::string& value) {
        text_ += name_;
        if (!labels.empty()) text_ += "{" + labels + "}";
        text_ += " " + value + "\n";
    }
    // A sample of the family under a suffixed name (a summary's _sum, _count).
    void suffixed(const char* suffix, const std::string& value) {
        text_ += name_ + suffix + " " + value + "\n";
    }
    std::string take() { return std::move(text_); }

  private:
    std::string name_, text_;
};

std::string label(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + labelValue(value) + "\"";
}

std::string limitLabels(const std::string& first, const char* which) {
    return first + "," + label("limit", which);
}

// Ain1 to Ain8: the channel table's last eight columns, in the limits' order.
std::span<const LogChannel, 8> inputs() {
    return std::span<const LogChannel, kLogChannelCount>(LogChannels()).last<8>();
}

void writeTemperatures(Writer& w, const PollSnapshot& s) {
    const bool external = LogChannelEnabled(1, s.state);
    w.family("quarnel_temperature_celsius", "gauge",
             "Temperature of each sensor whose channel is measured.");
    w.sample(label("sensor", "internal"), sampleText(s.readings.InternalTemp));
    if (external) w.sample(label("sensor", "external"), sampleText(s.readings.ExternalTemp));
    if (LogChannelEnabled(7, s.state))
        w.sample(label("sensor", "varno"), sampleText(s.readings.VarnoTemp));

    w.family("quarnel_temperature_limit_celsius", "gauge",
             "High and low temperature limits of the chip's sensors.");
    auto limits = [&](const char* sensor, LimitBytes bytes) {
        w.sample(limitLabels(label("sensor", sensor), "high"),
                 sampleText(TemperatureFromLimitRegister(bytes.high, false)));
        w.sample(limitLabels(label("sensor", sensor), "low"),
                 sampleText(TemperatureFromLimitRegister(bytes.low, false)));
    };
    limits("internal", s.limits.internal);
    if (external) limits("external", s.limits.external);
}

void writeVoltages(Writer& w, const PollSnapshot& s) {
    w.family("quarnel_vdd_volts", "gauge", "Supply voltage Vdd.");
    w.sample("", sampleText(s.readings.Vdd));
    w.family("quarnel_vdd_limit_volts", "gauge", "High and low limits of Vdd.");
    w.sample(label("limit", "high"), sampleText(VddFromLimitRegister(s.limits.vdd.high)));
    w.sample(label("limit", "low"), sampleText(VddFromLimitRegister(s.limits.vdd.low)));

    w.family("quarnel_input_volts", "gauge", "Analog inputs the channel function measures.");
    const auto ains = inputs();
    for (const LogChannel& in : ains)
        if (LogChannelEnabled(in.index, s.state))
            w.sample(label("input", AsciiLower(in.name)), sampleText(s.readings.*in.value));
    w.family("quarnel_input_limit_volts", "gauge", "High and low limits of the measured inputs.");
    for (size_t i = 0; i < ains.size(); ++i) {
        if (!LogChannelEnabled(ains[i].index, s.state)) continue;
        const float reference = s.state.ReferenceVoltage;
        auto volts = [&](int byte) {
            try {
                return sampleText(AinFromLimitRegister(byte, reference));
            } catch (const ConversionError&) {
                return std::string("NaN");  // no reference read yet
            }
        };
        const std::string input = label("input", AsciiLower(ains[i].name));
        w.sample(limitLabels(input, "high"), volts(s.limits.ain[i].high));
        w.sample(limitLabels(input, "low"), volts(s.limits.ain[i].low));
    }
}

// The named bits of both status registers, named as the register map names
// them: f(name, register 1 or 2, bit).
template <class F>
void forEachSource(F f) {
    static const RegisterTable table;
    int bank = 1;
    for (const int address : {chip::kStatus1, chip::kStatus2}) {
        const auto labels = table.SplitBitLabels(*table.FindRegisterByAddress(address));
        for (int bit = 0; bit < 8; ++bit) {
            const std::string& name = labels[static_cast<size_t>(7 - bit)];
            if (name != "-") f(AsciiLower(name), bank, bit);
        }
        ++bank;
    }
}

void writeInterrupts(Writer& w, const PollSnapshot& s) {
    w.family("quarnel_interrupt_active", "gauge",
             "Interrupt status bits latched during the last poll (1: set).");
    forEachSource([&](const std::string& name, int bank, int bit) {
        const int16_t value = bank == 1 ? s.readings.IntStatus1 : s.readings.IntStatus2;
        w.sample(label("source", name), (value >> bit) & 1 ? "1" : "0");
    });
}

// Counted in every poll, so no interrupt between two scrapes is lost.
void writeInterruptCounts(Writer& w, const PollSnapshot& s) {
    w.family("quarnel_interrupts_total", "counter",
             "Polls that found each interrupt status bit latched.");
    forEachSource([&](const std::string& name, int bank, int bit) {
        w.sample(label("source", name),
                 std::to_string(s.interrupts[static_cast<size_t>((bank - 1) * 8 + bit)]));
    });
}

std::string timestampText(double seconds, int decimals = 3) {
    char buf[32];
    const auto end =
        std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, decimals).ptr;
    return std::string(buf, end);
}

void writeProcess(Writer& w, const ProcessStats& p) {
    w.family("process_cpu_seconds_total", "counter",
             "Total user and system CPU time spent in seconds.");
    w.sample("", timestampText(p.cpuSeconds));
    w.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    w.sample("", std::to_string(p.residentBytes));
    w.family("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
    w.sample("", std::to_string(p.virtualBytes));
    w.family("process_open_fds", "gauge", "Number of open file descriptors.");
    w.sample("", std::to_string(p.openFds));
    w.family("process_max_fds", "gauge", "Maximum number of open file descriptors.");
    w.sample("", std::to_string(p.maxFds));
    w.family("process_start_time_seconds", "gauge",
             "Start time of the process since unix epoch in seconds.");
    w.sample("", timestampText(p.startTimeSeconds));
}

}  // namespace

void CountInterrupts(PollSnapshot& snapshot, const CurrentReadings& readings) {
    for (int bit = 0; bit < 8; ++bit) {
        if ((readings.IntStatus1 >> bit) & 1) ++snapshot.interrupts[static_cast<size_t>(bit)];
        if ((readings.IntStatus2 >> bit) & 1) ++snapshot.interrupts[static_cast<size_t>(8 + bit)];
    }
}

std::string ExpositionText(const PollSnapshot& s) {
    Writer w;
    const bool up = s.boardUp && s.polls > 0;
    w.family("quarnel_board_up", "gauge", "1 while polls of the board succeed.");
    w.sample("", up ? "1" : "0");
    w.family("quarnel_polls_total", "counter", "Complete polls of every reading since the start.");
    w.sample("", std::to_string(s.polls));
    w.family("quarnel_board_reconnects_total", "counter",
             "Times the board came back after a link failure.");
    w.sample("", std::to_string(s.reconnects));
    w.family("quarnel_link_errors_total", "counter", "Link failures of the board.");
    w.sample("", std::to_string(s.linkErrors));
    if (s.timedPolls > 0) {
        w.family("quarnel_poll_duration_seconds", "summary",
                 "Time the board took to answer the requests of a complete poll.");
        w.suffixed("_sum", timestampText(s.pollSecondsSum, 6));
        w.suffixed("_count", std::to_string(s.timedPolls));
    }
    w.family("quarnel_build_info", "gauge", "The exporter's version.");
    w.sample(label("version", s.version), "1");
    if (s.process) writeProcess(w, *s.process);
    if (s.polls == 0) return w.take();
    writeInterruptCounts(w, s);

    w.family("quarnel_last_poll_timestamp_seconds", "gauge",
             "Unix time at which the last complete poll ended.");
    w.sample("", timestampText(s.lastPollUnixSeconds));
    w.family("quarnel_info", "gauge", "The board and the chip the exporter reads.");
    const ChipIdentity& chip = s.info.chip;
    w.sample(
        label("board", s.info.board) + "," + label("device_id", HexAddressText(chip.deviceId)) +
            "," + label("company_id", HexAddressText(chip.companyId)) + "," +
            label("revision", HexAddressText(chip.revision)) + "," +
            label("address", HexAddressText(chip.address)) + "," + label("usb_id", s.info.usbId) +
            "," + label("port", s.info.port) + "," + label("serial", s.info.serial),
        "1");
    // While the board is down no reading is current: the series go, none stays stale.
    if (!up) return w.take();
    writeTemperatures(w, s);
    writeVoltages(w, s);
    writeInterrupts(w, s);
    return w.take();
}

}  // namespace quarnel::serve
