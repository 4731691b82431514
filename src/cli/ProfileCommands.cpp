// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProfileCommands.h"

#include <CLI/CLI.hpp>

#include <map>

#include "cli/CommandText.h"
#include "monitor/Startup.h"

namespace quarnel::cli {
namespace {

// The chip's value and the file's, each as read prints a register.
void printChanges(std::ostream& out, const RegisterTable& table,
                  const std::vector<RegisterChange>& changes) {
    std::map<int, std::string> labels;
    for (const RegisterInfo& info : ProfileRegisters(table)) labels[info.Address] = info.BitLabels;
    for (const RegisterChange& c : changes) {
        out << "chip " << FormatRegisterLine(c.address, c.name, c.chip, labels[c.address]) << "\n";
        out << "file " << FormatRegisterLine(c.address, c.name, c.file, labels[c.address]) << "\n";
    }
}

int save(board::BoardConnection& c, CliEnvironment& env, const std::string& file,
         const std::vector<std::string>& ownFiles) {
    const std::time_t now = env.wallClock ? env.wallClock() : std::time(nullptr);
    const Profile profile = c.readProfile(ProfileTimeText(now)).profile;
    if (const auto error = WriteProfileFile(file, profile, ownFiles)) {
        env.err << "quarnelctl: cannot write the profile \"" << file << "\": " << *error
                << std::endl;
        return kExitFailed;
    }
    env.out << "Saved " << profile.registers.size() << " registers of the chip at "
            << HexAddressText(profile.chip.address) << " to " << file << "\n";
    return kExitOk;
}

int load(board::BoardConnection& c, CliEnvironment& env, const ProfileArguments& args) {
    const Profile& profile = *args.profile;
    const board::ProfileRead compared = c.compareProfile(profile);
    if (const auto mismatch = IdentityMismatch(compared.chip, profile.chip)) {
        if (!args.force) {
            env.err << "quarnelctl: " << *mismatch << " (--force loads it anyway)" << std::endl;
            return kExitUsage;
        }
        env.err << "quarnelctl: warning: " << *mismatch << std::endl;
    }
    const auto& changes = compared.changes;
    printChanges(env.out, c.session().device.table, changes);
    const std::string counted = std::to_string(changes.size()) + " of " +
                                std::to_string(profile.registers.size()) + " registers";
    if (args.dryRun) {
        env.out << "Would write " << counted << " from " << args.file
                << " (dry run: nothing written)\n";
        return kExitOk;
    }
    const auto notTaken = c.writeProfile(profile, changes).notTaken;
    env.out << "Wrote " << counted << " from " << args.file << "\n";
    for (const RegisterChange& r : notTaken)
        env.err << "quarnelctl: register " << RegisterKey(r.address) << " (" << r.name
                << ") did not take: it reads " << RegisterKey(r.chip) << ", the profile holds "
                << RegisterKey(r.file) << std::endl;
    return notTaken.empty() ? kExitOk : kExitDiffer;
}

int diff(board::BoardConnection& c, CliEnvironment& env, const Profile& profile) {
    const board::ProfileRead compared = c.compareProfile(profile);
    if (const auto mismatch = IdentityMismatch(compared.chip, profile.chip))
        env.err << "quarnelctl: warning: " << *mismatch << std::endl;
    printChanges(env.out, c.session().device.table, compared.changes);
    return compared.changes.empty() ? kExitOk : kExitDiffer;
}

}  // namespace

void AddProfileCommands(CLI::App& app, ProfileArguments& args) {
    auto* profile =
        app.add_subcommand("profile", "save, load or compare the chip's register settings");
    profile->require_subcommand(1);
    args.save = profile->add_subcommand("save", "save the chip's settings to a profile file");
    args.load = profile->add_subcommand("load", "write a profile's settings to the chip");
    args.diff =
        profile->add_subcommand("diff", "print the registers where chip and profile differ");
    for (CLI::App* command : {args.save, args.load, args.diff})
        command->add_option("FILE", args.file, "the profile (JSON)")->required();
    args.load->add_flag("--dry-run", args.dryRun, "show what would change, write nothing");
    args.load->add_flag("--force", args.force, "load a profile from another kind of chip");
}

bool ProfileCommandGiven(const ProfileArguments& args) {
    return args.save && (args.save->parsed() || args.load->parsed() || args.diff->parsed());
}

void CheckProfileArguments(ProfileArguments& args) {
    if (!ProfileCommandGiven(args)) return;
    if (args.file.empty()) throw UsageError("the profile needs a file name");
    if (args.save->parsed()) return;
    try {
        args.profile = ReadProfileFile(args.file, RegisterTable());
    } catch (const ProfileError& e) {
        throw UsageError("cannot use the profile \"" + args.file + "\": " + e.what());
    }
}

int RunProfileCommand(board::BoardConnection& connection, CliEnvironment& env,
                      const ProfileArguments& args, const std::vector<std::string>& ownFiles) {
    if (args.save->parsed()) return save(connection, env, args.file, ownFiles);
    if (args.load->parsed()) return load(connection, env, args);
    return diff(connection, env, *args.profile);
}

}  // namespace quarnel::cli
