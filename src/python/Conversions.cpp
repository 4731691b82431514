// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Conversions.h"

#include <string>

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

int byteArgument(py::handle value, const char* what) {
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " + typeName(value));
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > 255)
        throw py::value_error(std::string(what) + " " + py::str(value).cast<std::string>() +
                              " is outside 0 to 255 (0xFF)");
    return static_cast<int>(number);
}

}  // namespace quarnel::python
