// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnel.open()'s keyword arguments are quarnelctl's board options: sim_state is
// --sim-state. They go through the programs' own option parser and checks, so a
// board option added there is a keyword here too.

#include <pybind11/pybind11.h>

#include <string>

#include "board/BoardOptions.h"

namespace quarnel::python {

// TypeError for an unknown keyword or a value of the wrong type, ValueError for
// a value the programs refuse. None is an option not given.
// Messages name keywords, not the programs' options.
board::BoardOptions BoardOptionsFromKeywords(const pybind11::kwargs& keywords);

// open()'s docstring: its signature line for inspect ("open(*, sim_state=None,
// ...)\n--\n\n"), intro, and a line per keyword with the programs' help for its option.
std::string OpenDocstring(const std::string& intro);

}  // namespace quarnel::python
