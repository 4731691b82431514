// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnel.read_log: the log reader's runs, their columns handed to numpy as
// they are (no copy, no Python object per value).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

namespace quarnel::python {

namespace py = pybind11;

struct Run {
    int64_t headerLine = 0;
    bool fahrenheit = false;
    py::array time;    // float64 seconds
    py::dict columns;  // header text -> float64 array, in file order
};

struct Log {
    py::object path;  // as given
    py::list runs;
    int64_t damagedLines = 0;
    int64_t firstDamagedLine = 0;
};

// Reads the file without the GIL. LogError for a file that is not a log or
// cannot be read, KeyboardInterrupt for Ctrl+C.
Log ReadLog(const py::object& path);

void addLogClasses(py::module_& m);

}  // namespace quarnel::python
