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

int RunServe(Session& session, MasterPoll& poll, const serve::BoardInfo& info,
             const ServeSettings& settings, serve::MetricsServer& server, CliEnvironment& env,
             const std::function<void()>& warmUp) {
    auto stopped = [&env] { return env.stop && *env.stop != 0; };
    serve::PollSnapshot snapshot;
    snapshot.info = info;
    snapshot.limits = serve::ReadChipLimits(session.link);
    warmUp();

    Clock& clock = env.clock;
    const double tickSeconds = settings.pollSeconds / kPollStates;
    double due = clock.monotonic();
    while (!stopped()) {
        poll.Tick(nullptr);
        if (poll.PollState == 0) {
            ++snapshot.polls;
            snapshot.lastPollUnixSeconds = unixSeconds(env);
            snapshot.state = session.device.state;
            snapshot.readings = session.readings;
            server.publish(serve::ExpositionText(snapshot));
        }
        // Readings evenly spaced, without drift; after a stall, from now on.
        due += tickSeconds;
        const double now = clock.monotonic();
        if (due < now) due = now;
        while (!stopped() && clock.monotonic() < due) clock.sleep(due - clock.monotonic());
    }
    return kExitOk;
}

}  // namespace quarnel::cli
