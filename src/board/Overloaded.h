// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One visitor of several lambdas, for std::visit over the events and commands.

namespace quarnel::board {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace quarnel::board
