// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/BoardKeywords.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "python/Conversions.h"
#include "python/Errors.h"

namespace quarnel::python {
namespace {

// The value as typed after the option. An int (numpy's too) goes in the notation
// the option reads: hexadecimal for an address, else decimal.
std::string optionText(const std::string& keyword, const CLI::Option& option, py::handle value) {
    if (!py::isinstance<py::str>(value) && !py::isinstance<py::bytes>(value) &&
        !py::hasattr(value, "__fspath__")) {
        long long number = 0;
        try {
            number = indexArgument(value, keyword.c_str());
        } catch (const py::type_error&) {
            throw py::type_error(keyword + " must be a str, bytes, os.PathLike or an int, not " +
                                 typeName(value));
        }
        const std::string type = option.get_type_name();
        if (type != "ADDR" && type != "HEX") return std::to_string(number);
        const py::object digits = py::module_::import("builtins").attr("format")(number, "X");
        return "0x" + digits.cast<std::string>();
    }
    return pathArgument(value, keyword.c_str());
}

std::string keywordOf(const std::string& name) {
    std::string keyword = name.substr(2);
    std::replace(keyword.begin(), keyword.end(), '-', '_');
    return keyword;
}

// The programs' messages name their options; here they are keywords: "--sim-seed"
// becomes "sim_seed" (longest names first, so "--usb" leaves "--usb-port" alone).
std::string inKeywordTerms(std::string message, const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& name : names) {
        const std::string keyword = keywordOf(name);
        for (size_t at = message.find(name); at != std::string::npos;
             at = message.find(name, at + keyword.size())) {
            const char after = at + name.size() < message.size() ? message[at + name.size()] : ' ';
            if (std::isalnum(static_cast<unsigned char>(after)) || after == '-') continue;
            message.replace(at, name.size(), keyword);
        }
    }
    return message;
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
            if (boolArgument(value, keyword.c_str())) args.push_back(name);
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
        throw py::value_error(inKeywordTerms(e.what(), app));
    } catch (const std::invalid_argument& e) {
        throw py::value_error(inKeywordTerms(e.what(), app));
    }
}

std::string OpenDocstring(const std::string& intro) {
    CLI::App app;
    app.set_help_flag();
    board::BoardArguments typed;
    board::addBoardOptions(app, typed);
    std::string signature = "open(*";
    std::string table;
    for (const CLI::Option* option : app.get_options()) {
        const std::string keyword = keywordOf(option->get_name());
        const bool flag = option->get_items_expected_max() == 0;
        signature += ", " + keyword + (flag ? "=False" : "=None");
        std::string line = "    " + keyword;
        line.resize(std::max<size_t>(line.size() + 1, 16), ' ');
        table += line + option->get_description() + "\n";
    }
    return signature + ")\n--\n\n" + intro + "\n\nKeywords:\n" + table;
}

}  // namespace quarnel::python
