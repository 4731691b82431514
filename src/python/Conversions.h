// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Values handed between the core and Python: JSON documents as dicts and lists,
// register arguments, columns as numpy arrays that own the reader's storage.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "monitor/JsonOutput.h"

namespace quarnel::python {

namespace py = pybind11;

// null, booleans, numbers, texts, arrays and objects as their Python kin.
py::object toPython(const OrderedJson& json);

// A register address or value: an int from 0 to 255. TypeError for another
// type, ValueError outside the range.
int byteArgument(py::handle value, const char* what);

// quarnelctl log --channels' names: "internal", "vdd", "ain1", "varno".
std::string channelName(int index);
// A list of those names (any case) as chkLog indexes. TypeError for another type,
// ValueError for an unknown name.
std::array<bool, kLogChannelCount> channelsArgument(py::handle value, const char* what);
// An int or anything with __index__ (numpy integers); never a bool. TypeError else.
long long indexArgument(py::handle value, const char* what);
// True, False or a numpy bool. TypeError else.
bool boolArgument(py::handle value, const char* what);
// An int or float (numpy ones too), finite. TypeError else, ValueError when not finite.
double secondsArgument(py::handle value, const char* what);

// The vector moves into the array: numpy reads the reader's storage, no copy.
template <typename T>
py::array_t<T> adoptVector(std::vector<T>&& values) {
    auto* owned = new std::vector<T>(std::move(values));
    const py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

}  // namespace quarnel::python
