// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the exporter listens: HOST:PORT, the host a name, an IPv4 address or
// a bracketed IPv6 address; port 0 picks a free one.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quarnel::serve {

// Loopback only: any other address is the user's explicit choice.
inline constexpr const char* kDefaultListen = "127.0.0.1:9761";

struct ListenAddress {
    std::string host;  // without brackets
    int port = 0;
};

// Throws std::invalid_argument with the message for the user.
ListenAddress ParseListenAddress(std::string_view text);

// "127.0.0.1:9761", "[::1]:9761".
std::string ListenAddressText(const ListenAddress& address);

}  // namespace quarnel::serve
