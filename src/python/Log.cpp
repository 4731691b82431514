// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Log.h"

#include <cxxabi.h>

#include <atomic>

#include "monitor/LogReader.h"
#include "python/Conversions.h"
#include "python/Errors.h"
#include "python/Gil.h"

namespace quarnel::python {

Log ReadLog(const py::object& path) {
    const std::string file = pathArgument(path, "path");
    BasicLogReadResult<double> result;
    {
        GilReleased released;
        std::atomic<bool> cancel{false};
        // Polled once per chunk read: Python's signal handlers run there.
        const auto progress = [&cancel](double) {
            if (!cancel && SignalRaised()) cancel = true;
        };
        try {
            result = ReadLogFileAsDoubles(file, &cancel, progress);
        } catch (abi::__forced_unwind&) {
            released.ending();
            throw;
        }
    }
    if (PyErr_Occurred()) throw py::error_already_set();
    if (!result.ok()) raiseLogError(result.error, result.errorNumber, path);
    Log log{path, py::list(), result.damagedLines, result.firstDamagedLine};
    for (BasicLogRun<double>& r : result.runs) {
        Run run{r.headerLine, r.fahrenheit, adoptVector(std::move(r.time)), py::dict()};
        for (size_t i = 0; i < r.columns.size(); ++i)
            run.columns[text(r.columns[i])] = adoptVector(std::move(r.values[i]));
        log.runs.append(py::cast(std::move(run)));
    }
    return log;
}

void addLogClasses(py::module_& m) {
    py::class_<Run>(m, "Run",
                    "One run of a log: the lines logged from one start to its stop, under\n"
                    "its own header.")
        .def_readonly("time", &Run::time,
                      "Seconds since the run started (numpy float64 array), as logged.")
        .def_readonly("columns", &Run::columns,
                      "The header's columns in file order: {\"Internal(°C)\": numpy float64\n"
                      "array, ...}, each value the float of its text in the file. Row i of\n"
                      "every column belongs to time[i].")
        .def_readonly("fahrenheit", &Run::fahrenheit,
                      "True when the temperature columns are in degrees F.")
        .def_readonly("header_line", &Run::headerLine,
                      "The line number (from 1) of the run's header in the file.")
        .def(
            "__len__", [](const Run& run) { return run.time.size(); }, "The number of rows.")
        .def("__repr__", [](const Run& run) {
            return "<quarnel.Run header_line=" + std::to_string(run.headerLine) + ", " +
                   std::to_string(run.columns.size()) + " columns, " +
                   std::to_string(run.time.size()) + " rows>";
        });
    py::class_<Log>(m, "Log", "A log file read back: its runs, and the damaged lines skipped.")
        .def_readonly("path", &Log::path, "The file read.")
        .def_readonly("runs", &Log::runs,
                      "The runs in file order (a file appended to by several starts holds\n"
                      "several), each a quarnel.Run.")
        .def_readonly("damaged_lines", &Log::damagedLines,
                      "How many lines were skipped as damaged (a wrong field count, not a\n"
                      "number, an unknown column).")
        .def_readonly("first_damaged_line", &Log::firstDamagedLine,
                      "The line number (from 1) of the first damaged line; 0 when none.")
        .def("__repr__", [](const Log& log) {
            return "<quarnel.Log " + py::repr(log.path).cast<std::string>() + ", " +
                   std::to_string(log.runs.size()) + " runs, " + std::to_string(log.damagedLines) +
                   " damaged lines>";
        });
}

}  // namespace quarnel::python
