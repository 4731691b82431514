// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Values handed between the core and Python: JSON documents as dicts and lists,
// register arguments, columns as numpy arrays that own the reader's storage.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

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

// The vector moves into the array: numpy reads the reader's storage, no copy.
template <typename T>
py::array_t<T> adoptVector(std::vector<T>&& values) {
    auto* owned = new std::vector<T>(std::move(values));
    const py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

}  // namespace quarnel::python
