// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnelctl serve: the readings for Prometheus. The board is polled on the
// calling thread as monitor polls it; each complete poll becomes the text the
// HTTP side serves until the next one.

#include <functional>
#include <optional>
#include <string>

#include "board/BoardConnection.h"
#include "cli/Cli.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"
#include "serve/Exposition.h"
#include "serve/ListenAddress.h"
#include "serve/MetricsServer.h"

namespace CLI {
class App;
}

namespace quarnel::cli {

// A complete poll every 120 ms: monitor's twelve readings 10 ms apart.
inline constexpr long long kDefaultPollMs = 120;

struct ServeArguments {
    std::string listen = serve::kDefaultListen;
    std::optional<std::string> interval;
    std::optional<std::string> webConfigFile;
};

struct ServeSettings {
    serve::ListenAddress listen;
    double pollSeconds = kDefaultPollMs / 1000.0;
    serve::WebConfig web;
};

CLI::App* AddServeCommand(CLI::App& app, ServeArguments& args);
// Throws UsageError or std::invalid_argument with the message for the user.
ServeSettings CheckServeArguments(const ServeArguments& args);

// Polls until a stop signal, publishing every complete poll. A board-link
// failure throws out of here like any command's. warmUp: monitor's two cycles.
// Polls on the board worker's loop, a complete poll every settings.pollSeconds,
// and publishes each; until a stop request.
int RunServe(board::BoardConnection& connection, const serve::BoardInfo& info,
             const ServeSettings& settings, serve::MetricsServer& server, CliEnvironment& env);

}  // namespace quarnel::cli
