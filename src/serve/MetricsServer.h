// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exporter's HTTP side: GET /metrics answers the text last published,
// GET / a page linking it; nothing a request says reaches the board. The
// HTTP library stays behind this header.

#include <memory>
#include <string>

#include "serve/ListenAddress.h"
#include "serve/WebConfig.h"

namespace quarnel::serve {

class MetricsServer {
  public:
    // Binds and serves at once, on threads that leave SIGINT and SIGTERM to
    // the caller's; over TLS and behind basic authentication when web says so.
    // Throws std::runtime_error when the address cannot be bound.
    MetricsServer(const ListenAddress& address, std::string firstText, WebConfig web = {});
    ~MetricsServer();  // stops
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // The address bound, with the port chosen for port 0.
    ListenAddress address() const;
    // The text the next scrapes get; a scrape already answering keeps its own.
    void publish(std::string text);
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quarnel::serve
