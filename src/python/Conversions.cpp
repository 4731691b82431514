// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Conversions.h"

#include <cmath>
#include <string>

#include "link/AsciiText.h"
#include "monitor/LogFile.h"

#include "python/Errors.h"

namespace quarnel::python {

py::object toPython(const OrderedJson& json) {
    using Type = OrderedJson::value_t;
    switch (json.type()) {
        case Type::boolean:
            return py::bool_(json.get<bool>());
        case Type::number_integer:
            return py::int_(json.get<int64_t>());
        case Type::number_unsigned:
            return py::int_(json.get<uint64_t>());
        case Type::number_float:
            return py::float_(json.get<double>());
        case Type::string:
            return text(json.get_ref<const std::string&>());
        case Type::array: {
            py::list list;
            for (const OrderedJson& item : json) list.append(toPython(item));
            return list;
        }
        case Type::object: {
            py::dict dict;
            for (const auto& [key, item] : json.items()) dict[text(key)] = toPython(item);
            return dict;
        }
        default:
            return py::none();
    }
}

std::string channelName(int index) {
    for (const LogChannel& c : LogChannels())
        if (c.index == index) return AsciiLower(c.name);
    return std::to_string(index);
}

std::array<bool, kLogChannelCount> channelsArgument(py::handle value, const char* what) {
    if (py::isinstance<py::str>(value) || !py::hasattr(value, "__iter__"))
        throw py::type_error(std::string(what) + " must be a list of channel names, not " +
                             typeName(value));
    std::array<bool, kLogChannelCount> selected{};
    for (const py::handle item : value) {
        if (!py::isinstance<py::str>(item))
            throw py::type_error(std::string(what) + " must hold str names, not " + typeName(item));
        const std::string name = AsciiLower(item.cast<std::string>());
        bool known = false;
        for (int i = 0; i < kLogChannelCount; ++i)
            if (name == channelName(i)) selected[i] = known = true;
        if (!known)
            throw py::value_error("unknown channel \"" + item.cast<std::string>() +
                                  "\" (use internal, external, vdd, varno, ain1 to ain8)");
    }
    return selected;
}

namespace {
bool isNumpyBool(py::handle value) {
    const std::string type = typeName(value);
    return type == "numpy.bool_" || type == "numpy.bool";
}
}  // namespace

long long indexArgument(py::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || isNumpyBool(value) || !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " + typeName(value));
    const py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number) throw py::error_already_set();
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0)
        throw py::value_error(std::string(what) + " " + py::str(number).cast<std::string>() +
                              " is out of range");
    return result;
}

bool boolArgument(py::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || isNumpyBool(value)) return PyObject_IsTrue(value.ptr()) == 1;
    throw py::type_error(std::string(what) + " must be True or False, not " + typeName(value));
}

double secondsArgument(py::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || isNumpyBool(value) ||
        !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) ||
          py::isinstance(value, py::module_::import("numbers").attr("Real"))))
        throw py::type_error(std::string(what) + " must be a number of seconds, not " +
                             typeName(value));
    const double seconds = PyFloat_AsDouble(value.ptr());
    if (PyErr_Occurred()) throw py::error_already_set();
    if (!std::isfinite(seconds))
        throw py::value_error(std::string(what) + " must be finite, not " +
                              py::str(value).cast<std::string>());
    return seconds;
}

int byteArgument(py::handle value, const char* what) {
    long long number = -1;
    try {
        number = indexArgument(value, what);
    } catch (const py::value_error&) {
        // Far out of range: said below like any other.
    }
    if (number < 0 || number > 255)
        throw py::value_error(std::string(what) + " " + py::str(value).cast<std::string>() +
                              " is outside 0 to 255 (0xFF)");
    return static_cast<int>(number);
}

}  // namespace quarnel::python
