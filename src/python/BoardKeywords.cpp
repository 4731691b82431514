// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/BoardKeywords.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "python/Errors.h"

namespace quarnel::python {
namespace {

// The value as typed after the option. An int goes in the notation the option
// reads: hexadecimal for an address, else decimal.
std::string optionText(const std::string& keyword, const CLI::Option& option, py::handle value) {
    if (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
        const std::string type = option.get_type_name();
        if (type != "ADDR" && type != "HEX") return py::str(value).cast<std::string>();
        const py::object digits = py::module_::import("builtins").attr("format")(value, "X");
        return "0x" + digits.cast<std::string>();
    }
    if (PyBool_Check(value.ptr()) ||
        !(py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")))
        throw py::type_error(keyword + " must be a str or an int, not " + typeName(value));
    return pathArgument(value, keyword.c_str());
}

}  // namespace

board::BoardOptions BoardOptionsFromKeywords(const py::kwargs& keywords) {
    CLI::App app;
    app.set_help_flag();
    board::BoardArguments typed;
    board::addBoardOptions(app, typed);
    std::vector<std::string> args;
    // Joined, so that a value beginning with "-" is no option; an empty one apart,
    // as "--trace=" would be a missing value rather than an empty one.
    const auto given = [&](const std::string& name, const std::string& text) {
        if (text.empty()) {
            args.push_back(name);
            args.push_back(text);
        } else {
            args.push_back(name + "=" + text);
        }
    };
    for (const auto& [key, value] : keywords) {
        const std::string keyword = key.cast<std::string>();
        std::string name = "--" + keyword;
        std::replace(name.begin(), name.end(), '_', '-');
        const CLI::Option* option =
            keyword.find('-') == std::string::npos ? app.get_option_no_throw(name) : nullptr;
        if (!option)
            throw py::type_error("open() got an unexpected keyword argument '" + keyword + "'");
        if (value.is_none()) continue;
        if (option->get_items_expected_max() == 0) {  // a flag
            if (!PyBool_Check(value.ptr()))
                throw py::type_error(keyword + " must be True or False, not " + typeName(value));
            if (value.cast<bool>()) args.push_back(name);
        } else if (option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll &&
                   (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value))) {
            for (const py::handle item : value) given(name, optionText(keyword, *option, item));
        } else {
            given(name, optionText(keyword, *option, value));
        }
    }
    try {
        std::reverse(args.begin(), args.end());
        app.parse(args);
        return board::parseBoardOptions(typed);
    } catch (const CLI::ParseError& e) {
        throw py::value_error(e.what());
    } catch (const std::invalid_argument& e) {
        throw py::value_error(e.what());
    }
}

}  // namespace quarnel::python
