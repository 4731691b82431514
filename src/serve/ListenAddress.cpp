// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ListenAddress.h"

#include <charconv>

namespace quarnel::serve {

ListenAddress ParseListenAddress(std::string_view text) {
    const std::string shown = "--listen \"" + std::string(text) + "\": ";
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        throw std::invalid_argument(shown + "expected HOST:PORT, such as " + kDefaultListen);
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        throw std::invalid_argument(shown + "an IPv6 address goes in brackets: [::1]:9761");
    }
    if (host.empty())
        throw std::invalid_argument(shown +
                                    "the host is missing (0.0.0.0 listens on every "
                                    "address)");
    int number = -1;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || number < 0 ||
        number > 65535)
        throw std::invalid_argument(shown + "the port must be a number from 0 to 65535");
    return {std::string(host), number};
}

std::string ListenAddressText(const ListenAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace quarnel::serve
