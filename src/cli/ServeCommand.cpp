// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ServeCommand.h"

#include <CLI/CLI.hpp>

#include <chrono>

#include "cli/CommandText.h"

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
    return serve;
}

ServeSettings CheckServeArguments(const ServeArguments& args) {
    ServeSettings settings;
    settings.listen = serve::ParseListenAddress(args.listen);
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
    snapshot.limits = ReadChipLimits(session.link);
    connection.warmUp();

    // Readings evenly spaced on the worker's drift-free loop.
    connection.run(
        [&] {
            if (connection.poll().PollState == 0) {
                ++snapshot.polls;
                snapshot.lastPollUnixSeconds = unixSeconds(env);
                snapshot.state = session.device.state;
                snapshot.readings = session.readings;
                server.publish(serve::ExpositionText(snapshot));
            }
            return false;
        },
        settings.pollSeconds / kPollStates);
    return kExitOk;
}

}  // namespace quarnel::cli
