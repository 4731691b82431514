// SPDX-License-Identifier: GPL-3.0-or-later
// The quarnel module: the evaluation board and its logs from Python, through the
// same core as quarnelctl. Each function translates arguments and results only.

#include <dlfcn.h>
#include <pybind11/pybind11.h>

#include <filesystem>
#include <memory>

#include "QuarnelVersion.h"
#include "link/DataDirectory.h"
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
Errors: BoardError (the board link failed), LogError (not a log, or unreadable),
ProfileError (a profile that cannot be used), ValueError (out-of-range
arguments and option values), TypeError (wrong types). BoardWarning carries
what the board reports without failing. Ctrl+C interrupts the start-up,
readings() and read_log() with KeyboardInterrupt.)";

constexpr const char* kOpenDoc = R"(open(**options) -> Board

Starts a board as quarnelctl does: firmware download, bus selection, chip
search, monitoring on. The keyword arguments are quarnelctl's board options
with "_" for "-", with the same checks and defaults:

    sim_state   state file of the simulated board
                (default $XDG_STATE_HOME/quarnel/board.json)
    sim_address chip address on the simulated board, 0x48 to 0x4B (int or "4A")
    sim_fault   simulated faults: a list of "firmware", "bus-select=N", "cable=N",
                "stall=S"
    sim_seed    seed of the simulated environment (default 1)
    sim_latency milliseconds each request takes (int, or str for a fraction: "0.5")
    usb         use the USB board with these ids: "VID:PID[/VID2:PID2]" in hex
    usb_cpucs   the USB board's CPU control register (int or "E600")
    firmware    the firmware image (default: QUARNELFW.Hex of the installation)
    trace       append one line per board request to this file
    quick       True: skip the start-up's settling delays

A str value is taken as typed after the option; an int is written in hex for
an address, else in decimal; None is an option not given. The simulated
board's state file is held for the board's life, so no other program (or
Board) uses it meanwhile. Use the board in a with block, or close() it.

Raises TypeError for an unknown option or a value of the wrong type,
ValueError for a value quarnelctl refuses, BoardError when the board cannot
be started (a board held by another program included), KeyboardInterrupt on
Ctrl+C during the start-up's delays.)";

constexpr const char* kReadLogDoc = R"(read_log(path) -> Log

Reads a log file back, as either program writes it: every run appended to the
file, each with its own header. Each run's columns are numpy arrays that hold
the reader's own storage (time as float64, the readings as float32), so a
large log costs no Python object per value. Damaged lines are skipped and
counted (Log.damaged_lines, Log.first_damaged_line).

Raises LogError for a file that is not a log or cannot be read; a FIFO or a
device is refused without being read. Ctrl+C interrupts a long read with
KeyboardInterrupt.)";

}  // namespace

PYBIND11_MODULE(quarnel, m) {
    // Each docstring begins with its own signature, in Python's words.
    py::options options;
    options.disable_function_signatures();
    m.doc() = kModuleDoc;
    m.attr("__version__") = quarnel::kAppVersion;
    quarnel::python::addErrors(m);
    quarnel::python::addLogClasses(m);

    const auto byte = [](py::handle value, const char* what) {
        return quarnel::python::byteArgument(value, what);
    };
    py::class_<Board>(m, "Board",
                      "A started board; made by quarnel.open(). Leaving a with block (also by\n"
                      "an exception) or close() saves the board's state and lets go of it.")
        .def("info", &Board::info,
             "info() -> dict\n\nThe chip's identity and configuration and the board in use: the\n"
             "keys and values of `quarnelctl info --json`.")
        .def(
            "read", [=](Board& b, py::object address) { return b.read(byte(address, "address")); },
            py::arg("address"),
            "read(address) -> int\n\nReads one register of the chip (address 0 to 0xFF).")
        .def(
            "write",
            [=](Board& b, py::object address, py::object value) {
                return b.write(byte(address, "address"), byte(value, "value"));
            },
            py::arg("address"), py::arg("value"),
            "write(address, value) -> int\n\nWrites one register (address 0 to 0xFF, value 0 to "
            "255) and returns\nthe value read back, as `quarnelctl write --json`'s \"value\".")
        .def("dump", &Board::dump,
             "dump() -> list of dict\n\nEvery register of the register table with its value: "
             "`quarnelctl dump\n--json`'s \"registers\" (address, name, value, bitLabels).")
        .def("readings", &Board::readings, py::arg("fahrenheit") = false,
             "readings(fahrenheit=False) -> dict\n\nRuns the polling cycle until all twelve "
             "readings are new and returns\nthem as one line of `quarnelctl monitor --json`: "
             "time (seconds since the\nboard was opened), readings ({name: {value, unit}} of "
             "the channels the\npin mode allows), intStatus1 and intStatus2 (value and the "
             "names of the\nset bits). The first call also lets the chip convert every "
             "channel twice.")
        .def(
            "save_profile",
            [](Board& b, py::object path) {
                return b.saveProfile(quarnel::python::pathArgument(path, "path"));
            },
            py::arg("path"),
            "save_profile(path) -> dict\n\nSaves the chip's settings to a profile file (JSON, "
            "written safely) and\nreturns the profile saved. OSError when it cannot be written.")
        .def(
            "load_profile",
            [](Board& b, py::object path, bool dryRun, bool force) {
                return b.loadProfile(quarnel::python::pathArgument(path, "path"), dryRun, force);
            },
            py::arg("path"), py::arg("dry_run") = false, py::arg("force") = false,
            "load_profile(path, dry_run=False, force=False) -> list of dict\n\nWrites a "
            "profile's settings to the chip and returns the registers that\ndiffered: "
            "{address, name, chip, file} each (the chip's value before, and\nthe file's). "
            "dry_run writes nothing. A profile of another kind of chip\nraises ProfileError "
            "unless force is given; a register that did not take\nis told as a BoardWarning.")
        .def("close", &Board::close,
             "close()\n\nSaves the board's state and lets go of the board; closing twice is "
             "harmless.")
        .def_property_readonly("closed", &Board::closed, "True once the board is closed.")
        .def(
            "__enter__", [](py::object self) { return self; }, "The board itself.")
        .def(
            "__exit__", [](Board& b, py::args) { b.close(); },
            "Closes the board, also when the block ends by an exception (which goes on).")
        .def(
            "__repr__", [](Board& b) { return "<quarnel.Board " + b.description() + ">"; },
            "The board in use, as quarnelctl info's \"Board:\" line names it.");

    m.def(
        "open",
        [](py::kwargs options) {
            const auto parsed = quarnel::python::BoardOptionsFromKeywords(options);
            return std::make_unique<Board>(parsed, firmwareDirectory());
        },
        kOpenDoc);
    m.def("read_log", &quarnel::python::ReadLog, py::arg("path"), kReadLogDoc);
}
