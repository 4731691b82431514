// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's text for a fixed poll, checked once by eye and by promtool,
// and the --listen addresses it accepts.

#include <gtest/gtest.h>

#include <stdexcept>

#include "serve/Exposition.h"
#include "serve/ListenAddress.h"

namespace quarnel::serve {
namespace {

// External diode mode: no Ain1/Ain2, no VARNO; a sub-degree negative reading
// and one latched status bit in each register.
PollSnapshot diodeModePoll() {
    PollSnapshot s;
    s.polls = 7;
    s.lastPollUnixSeconds = 1700000000.25;
    s.info = {"usb", "1209:0002", "1-2", {0x49, 0x51, 0x41, 0x02}, "Q17"};
    s.state.ChannelMode = ChannelFunction::ExternalTemp;
    s.state.ReferenceVoltage = 2.28f;
    s.readings.InternalTemp = 25.25f;
    s.readings.ExternalTemp = -0.75f;
    s.readings.Vdd = 3.305f;
    s.readings.Ain3 = 0.75f;
    s.readings.Ain4 = 1.2f;
    s.readings.Ain5 = 0.01f;
    s.readings.Ain6 = 2.28f;
    s.readings.Ain7 = 0.0f;
    s.readings.Ain8 = 1.999f;
    s.readings.IntStatus1 = 0x11;      // INHI, FLT
    s.readings.IntStatus2 = 0x10;      // VDD
    s.limits.internal = {0xC9, 0x50};  // -55, 80
    s.limits.external = {0x00, 0x7D};
    s.limits.vdd = {0x9A, 0xC8};
    for (auto& ain : s.limits.ain) ain = {0x00, 0xFF};
    s.version = "2.0.0";
    s.reconnects = 1;
    s.linkErrors = 2;
    s.pollSecondsSum = 0.0125;
    s.timedPolls = 7;
    s.interrupts[0] = 3;   // INHI
    s.interrupts[4] = 1;   // FLT
    s.interrupts[12] = 7;  // VDD
    s.process = ProcessStats{1.5, 1700000000.0, 4096, 8192, 9, 1024};
    return s;
}

constexpr const char* kDiodeModeText =
    R"(# HELP quarnel_board_up 1 while polls of the board succeed.
# TYPE quarnel_board_up gauge
quarnel_board_up 1
# HELP quarnel_polls_total Complete polls of every reading since the start.
# TYPE quarnel_polls_total counter
quarnel_polls_total 7
# HELP quarnel_board_reconnects_total Times the board came back after a link failure.
# TYPE quarnel_board_reconnects_total counter
quarnel_board_reconnects_total 1
# HELP quarnel_link_errors_total Link failures of the board.
# TYPE quarnel_link_errors_total counter
quarnel_link_errors_total 2
# HELP quarnel_poll_duration_seconds Time the board took to answer the requests of a complete poll.
# TYPE quarnel_poll_duration_seconds summary
quarnel_poll_duration_seconds_sum 0.012500
quarnel_poll_duration_seconds_count 7
# HELP quarnel_build_info The exporter's version.
# TYPE quarnel_build_info gauge
quarnel_build_info{version="2.0.0"} 1
# HELP process_cpu_seconds_total Total user and system CPU time spent in seconds.
# TYPE process_cpu_seconds_total counter
process_cpu_seconds_total 1.500
# HELP process_resident_memory_bytes Resident memory size in bytes.
# TYPE process_resident_memory_bytes gauge
process_resident_memory_bytes 4096
# HELP process_virtual_memory_bytes Virtual memory size in bytes.
# TYPE process_virtual_memory_bytes gauge
process_virtual_memory_bytes 8192
# HELP process_open_fds Number of open file descriptors.
# TYPE process_open_fds gauge
process_open_fds 9
# HELP process_max_fds Maximum number of open file descriptors.
# TYPE process_max_fds gauge
process_max_fds 1024
# HELP process_start_time_seconds Start time of the process since unix epoch in seconds.
# TYPE process_start_time_seconds gauge
process_start_time_seconds 1700000000.000
# HELP quarnel_interrupts_total Polls that found each interrupt status bit latched.
# TYPE quarnel_interrupts_total counter
quarnel_interrupts_total{source="inhi"} 3
quarnel_interrupts_total{source="inlo"} 0
quarnel_interrupts_total{source="exhi"} 0
quarnel_interrupts_total{source="exlo"} 0
quarnel_interrupts_total{source="flt"} 1
quarnel_interrupts_total{source="ain2"} 0
quarnel_interrupts_total{source="ain3"} 0
quarnel_interrupts_total{source="ain4"} 0
quarnel_interrupts_total{source="ain5"} 0
quarnel_interrupts_total{source="ain6"} 0
quarnel_interrupts_total{source="ain7"} 0
quarnel_interrupts_total{source="ain8"} 0
quarnel_interrupts_total{source="vdd"} 7
# HELP quarnel_last_poll_timestamp_seconds Unix time at which the last complete poll ended.
# TYPE quarnel_last_poll_timestamp_seconds gauge
quarnel_last_poll_timestamp_seconds 1700000000.250
# HELP quarnel_info The board and the chip the exporter reads.
# TYPE quarnel_info gauge
quarnel_info{board="usb",device_id="51h",company_id="41h",revision="2h",address="49h",usb_id="1209:0002",port="1-2",serial="Q17"} 1
# HELP quarnel_temperature_celsius Temperature of each sensor whose channel is measured.
# TYPE quarnel_temperature_celsius gauge
quarnel_temperature_celsius{sensor="internal"} 25.25
quarnel_temperature_celsius{sensor="external"} -0.75
# HELP quarnel_temperature_limit_celsius High and low temperature limits of the chip's sensors.
# TYPE quarnel_temperature_limit_celsius gauge
quarnel_temperature_limit_celsius{sensor="internal",limit="high"} 80
quarnel_temperature_limit_celsius{sensor="internal",limit="low"} -55
quarnel_temperature_limit_celsius{sensor="external",limit="high"} 125
quarnel_temperature_limit_celsius{sensor="external",limit="low"} 0
# HELP quarnel_vdd_volts Supply voltage Vdd.
# TYPE quarnel_vdd_volts gauge
quarnel_vdd_volts 3.305
# HELP quarnel_vdd_limit_volts High and low limits of Vdd.
# TYPE quarnel_vdd_limit_volts gauge
quarnel_vdd_limit_volts{limit="high"} 5.467
quarnel_vdd_limit_volts{limit="low"} 4.209
# HELP quarnel_input_volts Analog inputs the channel function measures.
# TYPE quarnel_input_volts gauge
quarnel_input_volts{input="ain4"} 1.2
quarnel_input_volts{input="ain5"} 0.01
quarnel_input_volts{input="ain6"} 2.28
quarnel_input_volts{input="ain7"} 0
quarnel_input_volts{input="ain8"} 1.999
# HELP quarnel_input_limit_volts High and low limits of the measured inputs.
# TYPE quarnel_input_limit_volts gauge
quarnel_input_limit_volts{input="ain4",limit="high"} 2.27
quarnel_input_limit_volts{input="ain4",limit="low"} 0
quarnel_input_limit_volts{input="ain5",limit="high"} 2.27
quarnel_input_limit_volts{input="ain5",limit="low"} 0
quarnel_input_limit_volts{input="ain6",limit="high"} 2.27
quarnel_input_limit_volts{input="ain6",limit="low"} 0
quarnel_input_limit_volts{input="ain7",limit="high"} 2.27
quarnel_input_limit_volts{input="ain7",limit="low"} 0
quarnel_input_limit_volts{input="ain8",limit="high"} 2.27
quarnel_input_limit_volts{input="ain8",limit="low"} 0
# HELP quarnel_interrupt_active Interrupt status bits latched during the last poll (1: set).
# TYPE quarnel_interrupt_active gauge
quarnel_interrupt_active{source="inhi"} 1
quarnel_interrupt_active{source="inlo"} 0
quarnel_interrupt_active{source="exhi"} 0
quarnel_interrupt_active{source="exlo"} 0
quarnel_interrupt_active{source="flt"} 1
quarnel_interrupt_active{source="ain2"} 0
quarnel_interrupt_active{source="ain3"} 0
quarnel_interrupt_active{source="ain4"} 0
quarnel_interrupt_active{source="ain5"} 0
quarnel_interrupt_active{source="ain6"} 0
quarnel_interrupt_active{source="ain7"} 0
quarnel_interrupt_active{source="ain8"} 0
quarnel_interrupt_active{source="vdd"} 1
)";

TEST(Exposition, GoldenTextOfADiodeModePoll) {
    EXPECT_EQ(ExpositionText(diodeModePoll()), kDiodeModeText);
}

// Before the first poll, and while the board is lost: the board is down and no
// reading, limit or status stays behind; the counters and the process go on.
TEST(Exposition, ADownBoardLeavesNoReadingBehind) {
    PollSnapshot lost = diodeModePoll();
    lost.boardUp = false;
    for (const PollSnapshot& s : {PollSnapshot{}, lost}) {
        const std::string text = ExpositionText(s);
        EXPECT_NE(text.find("quarnel_board_up 0\n"), std::string::npos);
        EXPECT_NE(text.find("\nquarnel_link_errors_total "), std::string::npos);
        for (const char* gone :
             {"quarnel_temperature", "quarnel_vdd", "quarnel_input", "quarnel_interrupt_active"})
            EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    }
    EXPECT_NE(ExpositionText(lost).find("quarnel_interrupts_total{source=\"vdd\"} 7\n"),
              std::string::npos);
}

TEST(Exposition, AinModeShowsAin1Ain2AndVarnoButNoExternalSensor) {
    PollSnapshot s = diodeModePoll();
    s.state.ChannelMode = ChannelFunction::AinInputs;
    s.state.VarnoOnAin3 = true;
    s.readings.VarnoTemp = 25.0f;
    s.info.port = "a\"b\\c";
    const std::string text = ExpositionText(s);
    for (const char* present :
         {"{sensor=\"varno\"} 25\n", "{input=\"ain1\"}", "{input=\"ain2\",limit=\"low\"}",
          "{input=\"ain3\"} 0.75\n", "port=\"a\\\"b\\\\c\""})
        EXPECT_NE(text.find(present), std::string::npos) << present;
    EXPECT_EQ(text.find("sensor=\"external\""), std::string::npos);
}

TEST(ListenAddress, AcceptsHostPortAndRefusesTheRest) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"127.0.0.1:9761", "127.0.0.1", 9761}, Case{"[::1]:0", "::1", 0},
                          Case{"localhost:65535", "localhost", 65535}}) {
        const ListenAddress a = ParseListenAddress(c.text);
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(ListenAddressText(a), c.text);
    }
    for (const char* bad :
         {"9761", ":9761", "::1:9761", "host:", "host:65536", "host:-1", "host:12ab", "[]:80"})
        EXPECT_THROW(ParseListenAddress(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace quarnel::serve
