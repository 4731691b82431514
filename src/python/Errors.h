// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The module's exceptions and warnings, and turning the core's results into them.

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace quarnel::python {

namespace py = pybind11;

// Adds BoardError, LogError, ProfileError and BoardWarning to the module.
void addErrors(py::module_& m);

// Raises quarnel.<type>(message) with the given attributes set.
[[noreturn]] void raise(const char* type, const std::string& message,
                        const py::dict& attributes = {});
// quarnel.LogError(message); with an errno also an instance of its OSError subclass.
[[noreturn]] void raiseLogError(const std::string& message, int errorNumber,
                                const py::object& path);
// A board-link failure: the message quarnelctl prints, then what the board said.
[[noreturn]] void raiseBoardError(int code, const std::vector<std::string>& notes);
// Each note as a quarnel.BoardWarning; a warning filter may turn one into an error.
void warn(const std::vector<std::string>& notes);

// Bytes from the core as a str: UTF-8, and a file name's other bytes kept as
// os.fsdecode keeps them.
py::str text(const std::string& bytes);
// "int", "str": the type of value as Python names it.
std::string typeName(py::handle value);
// A file name given as str, bytes or os.PathLike, as the bytes the system takes.
std::string pathArgument(py::handle value, const char* what);

}  // namespace quarnel::python
