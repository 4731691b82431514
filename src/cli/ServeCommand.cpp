// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ServeCommand.h"

#include <CLI/CLI.hpp>

#include <chrono>

#include "QuarnelVersion.h"
#include "cli/CommandText.h"
#include "serve/ProcessStats.h"

namespace quarnel::cli {
namespace {

double unixSeconds(const CliEnvironment& env) {
    if (env.wallClock) return static_cast<double>(env.wallClock());
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

CLI::App* AddServeCommand(CLI::App& app, ServeArguments& args) {
    auto* serve = app.add_subcommand("serve", "answer Prometheus scrapes with the readings");
    serve
        ->add_option("--listen", args.listen,
                     std::string("HOST:PORT to listen on (default ") + serve::kDefaultListen +
                         "; port 0 picks a free one)")
        ->type_name("HOST:PORT");
    serve
        ->add_option("--interval", args.interval,
                     "milliseconds per complete poll of the twelve readings (default 120)")
        ->type_name("MS");
    serve
        ->add_option("--web.config.file", args.webConfigFile,
                     "YAML file with TLS (tls_server_config) and basic authentication "
                     "(basic_auth_users), as Prometheus' exporters take it")
        ->type_name("FILE");
    return serve;
}

ServeSettings CheckServeArguments(const ServeArguments& args) {
    ServeSettings settings;
    settings.listen = serve::ParseListenAddress(args.listen);
    if (args.webConfigFile) settings.web = serve::LoadWebConfig(*args.webConfigFile);
    // At least a millisecond per reading; at most an hour per poll.
    if (args.interval)
        settings.pollSeconds = static_cast<double>(ParseWholeNumber("--interval", *args.interval,
                                                                    kPollStates, 3'600'000)) /
                               1000.0;
    return settings;
}

int RunServe(board::BoardConnection& connection, const serve::BoardInfo& info,
             const ServeSettings& settings, serve::MetricsServer& server, CliEnvironment& env) {
    Session& session = connection.session();
    serve::PollSnapshot snapshot;
    snapshot.info = info;
    snapshot.version = kAppVersion;
    double pollSeconds = 0.0;  // the board's time in the poll under way
    bool warm = false;         // the first readings are real ones from now on
    const auto publish = [&] {
        snapshot.process = serve::ReadProcessStats();
        server.publish(serve::ExpositionText(snapshot));
    };
    // The exporter follows the board's events: each complete poll, a lost
    // board (its readings go), a board back, the limits as read.
    connection.setObserver([&](const board::Event& event) {
        if (const auto* r = std::get_if<board::Readings>(&event)) {
            if (!warm) return;
            pollSeconds += r->busySeconds;
            if (r->pollState == kPollStatus) serve::CountInterrupts(snapshot, r->readings);
            if (r->pollState != kPollStates - 1) return;
            ++snapshot.polls;
            snapshot.boardUp = true;
            snapshot.lastPollUnixSeconds = unixSeconds(env);
            snapshot.state = session.device.state;
            snapshot.readings = r->readings;
            snapshot.pollSecondsSum += pollSeconds;
            ++snapshot.timedPolls;
            pollSeconds = 0.0;
            publish();
        } else if (std::holds_alternative<board::BoardLost>(event)) {
            ++snapshot.linkErrors;
            snapshot.boardUp = false;
            pollSeconds = 0.0;
            publish();
        } else if (std::holds_alternative<board::Reconnected>(event)) {
            ++snapshot.reconnects;
            publish();
        } else if (const auto* limits = std::get_if<board::Limits>(&event)) {
            snapshot.limits = limits->limits;
        }
    });
    // Read now and again whenever the board comes back.
    connection.worker().post(board::SubscribeLimits{true});
    connection.warmUp();
    warm = true;

    // Readings evenly spaced on the worker's drift-free loop.
    connection.run([] { return false; }, settings.pollSeconds / kPollStates);
    connection.setObserver({});
    return kExitOk;
}

}  // namespace quarnel::cli
