// SPDX-License-Identifier: GPL-3.0-or-later
// The quarnel module: the evaluation board and its logs from Python, through the
// same core as quarnelctl. Each function translates arguments and results only.

#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "QuarnelVersion.h"
#include "link/DataDirectory.h"
#include "monitor/Session.h"
#include "python/Board.h"
#include "python/BoardKeywords.h"
#include "python/Conversions.h"
#include "python/Errors.h"
#include "python/Log.h"

#ifndef QUARNEL_DATA_FROM_MODULE
#define QUARNEL_DATA_FROM_MODULE "../../../share/quarnel-eval"
#endif

namespace py = pybind11;
using quarnel::python::Board;

namespace {

// Where the firmware image is: beside the module in the build tree, else the
// installed data folder.
std::string firmwareDirectory() {
    static const int anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || !info.dli_fname) return ".";
    const auto dir = std::filesystem::path(info.dli_fname).parent_path().string();
    return quarnel::DataDirectory(dir, QUARNEL_DATA_FROM_MODULE);
}

constexpr const char* kModuleDoc = R"(The QUARNEL evaluation board and its log files from Python.

The board is started and used as quarnelctl does, through the same core:

    import quarnel
    with quarnel.open(sim_state="board.json", quick=True) as board:
        print(board.info()["deviceId"])
        board.write(0x25, 0x40)
        print(board.readings()["readings"]["Internal"])

    log = quarnel.read_log("run.csv")
    for run in log.runs:
        print(run.header_line, len(run), list(run.columns))

Functions: open() starts a board, read_log() reads a log file back.
A board logs (Board.log) and streams readings (Board.stream) too.
Errors: BoardError (the board link failed), LogError (not a log, or unreadable;
an OSError),
ProfileError (a profile that cannot be used), ValueError (out-of-range
arguments and option values), TypeError (wrong types). BoardWarning carries
what the board reports without failing. Ctrl+C interrupts the start-up,
readings(), log(), stream() and read_log() with KeyboardInterrupt.)";

constexpr const char* kOpenDoc =
    R"(Starts a board as quarnelctl does: firmware download, bus selection, chip
search, monitoring on, and returns a Board. Each keyword is the programs'
board option of that name ("_" for "-"), with the same checks and defaults;
None is an option not given. A str value is taken as typed after the option;
an int (numpy's too) is written in hex for an address (sim_address=0x4A) and in
decimal otherwise; a path may be str, bytes or os.PathLike; sim_fault takes a
list. The simulated board's state file is held for the board's life, so no
other program (or Board) uses it meanwhile. Use the board in a with block, or
close() it.

Raises TypeError for an unknown keyword or a value of the wrong type,
ValueError for a value the programs refuse, BoardError when the board cannot
be started (status 4: this process holds it already, through a Board not
closed), KeyboardInterrupt on Ctrl+C during the start-up's delays.)";

constexpr const char* kReadLogDoc = R"(read_log(path)
--

Reads a log file back, as either program writes it: every run appended to the
file, each with its own header, as a Log. Each run's columns are numpy float64
arrays that hold the reader's own storage, each value the float of its text
in the file (3.307 reads as 3.307), so a large log costs no Python object per
value. Damaged lines are skipped and counted (Log.damaged_lines,
Log.first_damaged_line).

Raises LogError for a file that is not a log (told from its first lines) or
cannot be read: an OSError, with the errno of a file that cannot be opened or
read (FileNotFoundError for a missing one); a FIFO or a device is refused
without being read. Ctrl+C interrupts a read with KeyboardInterrupt.)";

// The TypeError Python gives for a call whose arguments do not fit: the
// method's own overload refused them, this one says why.
auto misfit(const char* name, std::vector<const char*> params, size_t required) {
    return [=](py::object, py::args args, py::kwargs kwargs) -> py::object {
        const std::string call = std::string(name) + "()";
        if (args.size() > params.size())
            throw py::type_error(call + " takes " + std::to_string(params.size()) +
                                 " positional argument" + (params.size() == 1 ? "" : "s") +
                                 " but " + std::to_string(args.size()) + " were given");
        std::vector<std::string> given;
        for (size_t i = 0; i < args.size(); ++i) given.emplace_back(params[i]);
        for (const auto& [key, value] : kwargs) {
            const std::string keyword = py::str(key);
            if (std::find(params.begin(), params.end(), keyword) == params.end())
                throw py::type_error(call + " got an unexpected keyword argument '" + keyword +
                                     "'");
            if (std::find(given.begin(), given.end(), keyword) != given.end())
                throw py::type_error(call + " got multiple values for argument '" + keyword + "'");
            given.push_back(keyword);
        }
        for (size_t i = 0; i < required; ++i)
            if (std::find(given.begin(), given.end(), params[i]) == given.end())
                throw py::type_error(call + " missing required argument: '" + params[i] + "'");
        throw py::type_error(call + " got arguments it cannot take");
    };
}

std::optional<int64_t> countArgument(py::handle value) {
    if (value.is_none()) return std::nullopt;
    const long long count = quarnel::python::indexArgument(value, "count");
    if (count < 1) throw py::value_error("count must be at least 1, not " + std::to_string(count));
    return count;
}

std::optional<double> durationArgument(py::handle value) {
    if (value.is_none()) return std::nullopt;
    const double seconds = quarnel::python::secondsArgument(value, "duration");
    if (seconds <= 0) throw py::value_error("duration must be more than 0 seconds");
    return seconds;
}

// One snapshot per next(); made by Board.stream().
struct Stream {
    py::object board;
    quarnel::python::StreamPlan plan;
};

}  // namespace

PYBIND11_MODULE(quarnel, m) {
    // Each docstring begins with its own signature, in Python's words.
    py::options options;
    options.disable_function_signatures();
    m.doc() = kModuleDoc;
    m.attr("__version__") = quarnel::kAppVersion;
    // numpy's C API now, on the importing thread: met first by two threads, its
    // import would leave one waiting with the GIL (a deadlock), and met at the end,
    // by a daemon thread, it takes the GIL back while Python finalises.
    py::dtype::of<double>();
    quarnel::python::addErrors(m);
    quarnel::python::addLogClasses(m);

    namespace qp = quarnel::python;
    const auto byte = [](py::handle value, const char* what) {
        return qp::byteArgument(value, what);
    };
    py::class_<Stream>(m, "Stream",
                       "Readings snapshots as they complete: made by Board.stream(). Iterate it\n"
                       "(for r in board.stream(...)); each is the dict readings() gives.")
        .def(
            "__iter__", [](py::object self) { return self; }, "The stream itself.")
        .def(
            "__next__",
            [](Stream& s) {
                auto next = s.board.cast<Board&>().next(s.plan);
                if (!next) throw py::stop_iteration();
                return *next;
            },
            "The next snapshot; StopIteration once count or duration is through.");
    py::class_<Board>(m, "Board",
                      "A started board; made by quarnel.open(). Leaving a with block (also by\n"
                      "an exception) or close() saves the board's state and lets go of it.")
        .def("info", &Board::info,
             "info(self, /)\n--\n\nThe chip's identity and configuration and the board in use "
             "(a dict): the\nkeys and values of `quarnelctl info --json`.")
        .def("info", misfit("info", {}, 0))
        .def(
            "read", [=](Board& b, py::object address) { return b.read(byte(address, "address")); },
            py::arg("address"),
            "read(self, /, address)\n--\n\nReads one register of the chip and returns its "
            "value (an int, 0 to 255).\naddress is 0 to 0xFF (an int, numpy's too): 0x25 "
            "Internal High Limit,\n0x1F Internal Offset, 0x4E Company ID; dump() lists them "
            "all.")
        .def("read", misfit("read", {"address"}, 1))
        .def(
            "write",
            [=](Board& b, py::object address, py::object value) {
                return b.write(byte(address, "address"), byte(value, "value"));
            },
            py::arg("address"), py::arg("value"),
            "write(self, /, address, value)\n--\n\nWrites one register and returns the value "
            "read back (an int), as\n`quarnelctl write --json`'s \"value\". address is 0 to 0xFF, "
            "value 0 to 255:\na signed register (the offsets 0x1F, 0x20, the temperature "
            "limits) takes\nits two's-complement byte, so -2 °C of Internal Offset at 0.25 °C "
            "a step\nis -8 & 0xFF = 0xF8.")
        .def("write", misfit("write", {"address", "value"}, 2))
        .def("dump", &Board::dump,
             "dump(self, /)\n--\n\nEvery entry of the register table with its value (a list of "
             "dict):\n`quarnelctl dump --json`'s \"registers\" (address, name, value, "
             "bitLabels).\nAn address shared by two entries (a register with two uses) comes "
             "once\nfor each.")
        .def("dump", misfit("dump", {}, 0))
        .def(
            "readings",
            [](Board& b, py::object fahrenheit) {
                return b.readings(qp::boolArgument(fahrenheit, "fahrenheit"));
            },
            py::arg("fahrenheit") = false,
            "readings(self, /, fahrenheit=False)\n--\n\nRuns the polling cycle until all "
            "twelve readings are new (about 120 ms)\nand returns them as one line of "
            "`quarnelctl monitor --json` (a dict):\ntime (seconds since the board was opened), "
            "readings ({name: {value,\nunit}} of the channels the pin mode allows; °C, °F with "
            "fahrenheit, V),\nintStatus1 and intStatus2 (value and the names of the set bits). "
            "The first\ncall also lets the chip convert every channel twice.")
        .def("readings", misfit("readings", {"fahrenheit"}, 0))
        .def(
            "log",
            [](Board& b, py::object path, py::object channels, py::object interval,
               py::object count, py::object duration, py::object fahrenheit) {
                const double seconds = qp::secondsArgument(interval, "interval");
                if (seconds < 0 || seconds * 1000.0 > INT32_MAX)
                    throw py::value_error("interval must be from 0 to 2147483.647 seconds");
                std::optional<std::array<bool, quarnel::kLogChannelCount>> chosen;
                if (!channels.is_none()) chosen = qp::channelsArgument(channels, "channels");
                return b.log(qp::pathArgument(path, "path"), chosen, seconds, countArgument(count),
                             durationArgument(duration),
                             qp::boolArgument(fahrenheit, "fahrenheit"));
            },
            py::arg("path"), py::arg("channels") = py::none(), py::arg("interval") = 0.25,
            py::arg("count") = py::none(), py::arg("duration") = py::none(),
            py::arg("fahrenheit") = false,
            "log(self, /, path, channels=None, interval=0.25, count=None, duration=None, "
            "fahrenheit=False)\n--\n\nAppends a run to the log file path, as quarnelctl log "
            "does (the same\nformat: preamble, header, a line per interval), and returns the "
            "number of\nlines logged. channels: names as quarnelctl log --channels takes "
            "them\n([\"internal\", \"vdd\", \"ain3\"]; None: every channel the pin mode "
            "allows);\ninterval: seconds between lines (to the millisecond); count: stop "
            "after\nthat many lines; duration: stop after that many seconds; neither: log\n"
            "until Ctrl+C. Ctrl+C stops the log (the lines logged stay in the file)\nand "
            "raises KeyboardInterrupt. OSError when the file cannot be written.")
        .def("log",
             misfit("log", {"path", "channels", "interval", "count", "duration", "fahrenheit"}, 1))
        .def(
            "stream",
            [](py::object self, py::object interval, py::object count, py::object duration,
               py::object fahrenheit) {
                Stream s{self, {}};
                if (!interval.is_none()) {
                    s.plan.interval = qp::secondsArgument(interval, "interval");
                    if (*s.plan.interval < 0)
                        throw py::value_error("interval must be 0 seconds or more");
                }
                s.plan.count = countArgument(count);
                s.plan.duration = durationArgument(duration);
                s.plan.fahrenheit = qp::boolArgument(fahrenheit, "fahrenheit");
                return s;
            },
            py::arg("interval") = py::none(), py::arg("count") = py::none(),
            py::arg("duration") = py::none(), py::arg("fahrenheit") = false,
            "stream(self, /, interval=None, count=None, duration=None, fahrenheit=False)\n"
            "--\n\nAn iterator of readings snapshots (each the dict readings() gives) as\nthey "
            "complete: one per complete cycle of twelve readings (about 120 ms),\nor with "
            "interval one every that many seconds (down to the 10 ms tick,\neach reading "
            "the latest taken). count and duration (seconds) end it;\nCtrl+C raises "
            "KeyboardInterrupt from next().")
        .def("stream", misfit("stream", {"interval", "count", "duration", "fahrenheit"}, 0))
        .def(
            "save_profile",
            [](Board& b, py::object path) { return b.saveProfile(qp::pathArgument(path, "path")); },
            py::arg("path"),
            "save_profile(self, /, path)\n--\n\nSaves the chip's settings to a profile file "
            "(JSON, written safely) and\nreturns the profile saved (a dict). OSError when it "
            "cannot be written.")
        .def("save_profile", misfit("save_profile", {"path"}, 1))
        .def(
            "load_profile",
            [](Board& b, py::object path, py::object dryRun, py::object force) {
                return b.loadProfile(qp::pathArgument(path, "path"),
                                     qp::boolArgument(dryRun, "dry_run"),
                                     qp::boolArgument(force, "force"));
            },
            py::arg("path"), py::arg("dry_run") = false, py::arg("force") = false,
            "load_profile(self, /, path, dry_run=False, force=False)\n--\n\nWrites a "
            "profile's settings to the chip and returns the registers that\ndiffered (a list "
            "of {address, name, chip, file}: the chip's value before,\nand the file's). "
            "dry_run writes nothing. A profile of another kind of chip\nraises ProfileError "
            "unless force is given; a register that did not take\nis told as a BoardWarning.")
        .def("load_profile", misfit("load_profile", {"path", "dry_run", "force"}, 1))
        .def("close", &Board::close,
             "close(self, /)\n--\n\nSaves the board's state and lets go of the board; closing "
             "twice is\nharmless.")
        .def_property_readonly("closed", &Board::closed, "True once the board is closed.")
        .def(
            "__enter__", [](py::object self) { return self; }, "The board itself.")
        .def(
            "__exit__", [](Board& b, py::args) { b.close(); },
            "Closes the board, also when the block ends by an exception (which goes on).")
        .def(
            "__repr__", [](Board& b) { return "<quarnel.Board " + b.description() + ">"; },
            "The board in use, as quarnelctl info's \"Board:\" line names it.");

    static const std::string openDoc = qp::OpenDocstring(kOpenDoc);
    m.def(
        "open",
        [](py::kwargs options) {
            const auto parsed = qp::BoardOptionsFromKeywords(options);
            return std::make_unique<Board>(parsed, firmwareDirectory());
        },
        openDoc.c_str());
    m.def("read_log", &quarnel::python::ReadLog, py::arg("path"), kReadLogDoc);
    m.def("read_log", [](py::args args, py::kwargs kwargs) {
        return misfit("read_log", {"path"}, 1)(py::none(), std::move(args), std::move(kwargs));
    });
}
