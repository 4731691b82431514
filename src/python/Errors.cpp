// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Errors.h"

#include <algorithm>
#include <cstring>

#include "link/LinkFailure.h"

namespace quarnel::python {

void addErrors(py::module_& m) {
    const auto add = [&](const char* name, PyObject* base, const char* doc) {
        const std::string qualified = std::string("quarnel.") + name;
        PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
        if (!type) throw py::error_already_set();
        m.add_object(name, py::reinterpret_steal<py::object>(type));
    };
    add("BoardError", PyExc_Exception,
        "The board link failed: the firmware did not download, the chip was not found, a\n"
        "request failed, or another program holds the board.\n\n"
        "str(error) is the message quarnelctl prints, followed by what the board said.\n"
        "status is the failure's code: 0 firmware, 2 connection, 3 communications.");
    m.attr("BoardError").attr("status") = py::none();
    add("LogError", PyExc_OSError,
        "The file is not a log, or cannot be read (missing, a folder, a FIFO or a device).\n\n"
        "An OSError: a file that cannot be opened or read carries its errno, and is also\n"
        "the OSError subclass of that errno (except FileNotFoundError catches a missing\n"
        "file). str(error) is the message, filename the path as given.");
    // The message as given, not OSError's "[Errno 2] ...: 'path'" made of the attributes.
    const py::object logError = m.attr("LogError");
    logError.attr("__str__") = py::cpp_function(
        [](const py::object& self) -> py::str {
            const py::tuple args = self.attr("args");
            return args.empty() ? py::str("") : py::str(args[0]);
        },
        py::is_method(logError));
    m.add_object("_log_errors", py::dict());
    add("ProfileError", PyExc_ValueError,
        "The profile cannot be used: not a profile, a bad entry, or saved from another kind\n"
        "of chip (load_profile(..., force=True) loads it anyway).");
    add("BoardWarning", PyExc_UserWarning,
        "What the board reports without failing: a damaged or unwritable state file, a\n"
        "trace file that cannot be opened, a profile register that did not take.");
}

void raise(const char* type, const std::string& message, const py::dict& attributes) {
    const py::object cls = py::module_::import("quarnel").attr(type);
    const py::object error = cls(text(message));
    for (const auto& [name, value] : attributes) error.attr(name) = value;
    PyErr_SetObject(cls.ptr(), error.ptr());
    throw py::error_already_set();
}

void raiseLogError(const std::string& message, int errorNumber, const py::object& path) {
    const py::module_ quarnel = py::module_::import("quarnel");
    py::object cls = quarnel.attr("LogError");
    if (errorNumber != 0) {
        // OSError(errno, ...) picks the subclass of that errno; LogError joins it.
        const py::object kind = py::type::of(py::reinterpret_steal<py::object>(
            PyObject_CallFunction(PyExc_OSError, "is", errorNumber, "")));
        if (!kind.is(py::reinterpret_borrow<py::object>(PyExc_OSError))) {
            py::dict cache = quarnel.attr("_log_errors");
            if (!cache.contains(kind)) {
                PyObject* type = PyErr_NewException("quarnel.LogError",
                                                    py::make_tuple(cls, kind).ptr(), nullptr);
                if (!type) throw py::error_already_set();
                cache[kind] = py::reinterpret_steal<py::object>(type);
            }
            cls = cache[kind];
        }
    }
    const py::object error = cls(text(message));
    if (errorNumber != 0) {
        error.attr("errno") = errorNumber;
        error.attr("strerror") = py::str(std::strerror(errorNumber));
    }
    error.attr("filename") = path;
    PyErr_SetObject(cls.ptr(), error.ptr());
    throw py::error_already_set();
}

void raiseBoardError(int code, const std::vector<std::string>& notes) {
    std::string message = LinkFailureMessage(code);
    // Line breaks in the program's messages are CR LF; Python's are LF.
    std::erase(message, '\r');
    for (const std::string& note : notes) message += "\n" + note;
    py::dict attributes;
    attributes["status"] = code;
    raise("BoardError", message, attributes);
}

void warn(const std::vector<std::string>& notes) {
    if (notes.empty()) return;
    const py::object category = py::module_::import("quarnel").attr("BoardWarning");
    for (const std::string& note : notes)
        if (PyErr_WarnEx(category.ptr(), note.c_str(), 1) != 0) throw py::error_already_set();
}

py::str text(const std::string& bytes) {
    PyObject* decoded =
        PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
    if (!decoded) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
}

std::string typeName(py::handle value) {
    return Py_TYPE(value.ptr())->tp_name;
}

std::string pathArgument(py::handle value, const char* what) {
    if (!py::isinstance<py::str>(value) && !py::isinstance<py::bytes>(value) &&
        !py::hasattr(value, "__fspath__"))
        throw py::type_error(std::string(what) + " must be a str, bytes or os.PathLike, not " +
                             typeName(value));
    return py::module_::import("os").attr("fsencode")(value).cast<std::string>();
}

}  // namespace quarnel::python
