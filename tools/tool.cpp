#include "tools/tool.h"
#include "tools/devices_command.h"

#include "tools/command_table.h"
#include "tools/failure.h"
#include "tools/oryx_session.h"
#include "tools/remote_commands.h"
#include "tools/sim_host.h"
#ifdef KESTREL_HAVE_MOUNT
#include "tools/mount_command.h"
#endif
#include "platform/terminal.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

namespace kestrel::cli {

namespace {

struct GlobalOptions {
    std::optional<std::string> simFolder;
    bool progress = false;
    bool help = false;
    bool version = false;
};

const std::vector<OptionSpec> GLOBAL_OPTIONS = {
    {"--sim", true}, {"--progress", false}, {"-h", false}, {"--help", false}, {"--version", false}};

bool isGlobalFlag(const std::string& word) {
    return word == "--progress" || word == "-h" || word == "--help" || word == "--version";
}

// The position of the command word: the first word that is not a global
// option or its value. Global options may also follow the command.
size_t commandIndex(const std::vector<std::string>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--sim") {
            ++i;  // its value
        } else if (word.rfind("--sim=", 0) != 0 && !isGlobalFlag(word)) {
            if (word.size() > 1 && word[0] == '-') usageError("unknown option " + word);
            return i;
        }
    }
    return words.size();
}

GlobalOptions globalsOf(const Arguments& args) {
    GlobalOptions global;
    global.simFolder = args.value("--sim");
    global.progress = args.flag("--progress");
    global.help = args.flag("-h") || args.flag("--help");
    global.version = args.flag("--version");
    return global;
}

std::vector<OptionSpec> optionsOf(const std::vector<OptionSpec>& commandOptions) {
    std::vector<OptionSpec> options = GLOBAL_OPTIONS;
    options.insert(options.end(), commandOptions.begin(), commandOptions.end());
    return options;
}

void checkArgumentCount(size_t minArguments, size_t maxArguments, const Arguments& args) {
    const size_t count = args.positional().size();
    if (count < minArguments) usageError("missing arguments");
    if (count > maxArguments) usageError("too many arguments");
}

constexpr const char* REMOTE_SYNOPSIS = "remote COMMAND [ARGUMENTS...]";
constexpr const char* REMOTE_PREFIX = "remote ";

// The synopsis of a command as messages name it ("ls", "remote ls"); null
// for a word that names none.
const char* synopsisOf(const std::string& name) {
    if (const CommandSpec* command = findCommand(name)) return command->synopsis;
    if (name == "remote") return REMOTE_SYNOPSIS;
    if (name.rfind(REMOTE_PREFIX, 0) == 0) {
        if (const RemoteCommandSpec* remote = findRemoteCommand(name.substr(std::string(REMOTE_PREFIX).size()))) {
            return remote->synopsis;
        }
    }
    return nullptr;
}

int runCommand(const CommandSpec& command, const Arguments& args, const GlobalOptions& global) {
    checkArgumentCount(command.minArguments, command.maxArguments, args);
    if (command.check) command.check(args);
#ifdef KESTREL_HAVE_MOUNT
    if (!command.run) return runMountCommand(args, global.simFolder, false);
#endif
    std::unique_ptr<SimHost> simulator;
    if (global.simFolder) simulator = std::make_unique<SimHost>(*global.simFolder);
    OryxSession session(stderr);
    CommandContext context{args, session, global.progress || platform::standardErrorIsTerminal(), stdout, stderr, command.name};
    return command.run(context);
}

// A remote command runs without the library: the device keeps its main
// firmware, and the filex client of the command talks to its file server.
int runRemoteCommand(const RemoteCommandSpec& command, const Arguments& args, const GlobalOptions& global,
                     const std::string& name) {
    checkArgumentCount(command.minArguments, command.maxArguments, args);
    if (command.check) command.check(args);
#ifdef KESTREL_HAVE_MOUNT
    if (!command.run) return runMountCommand(args, global.simFolder, true);
#endif
    std::unique_ptr<SimHost> simulator;
    if (global.simFolder) simulator = std::make_unique<SimHost>(*global.simFolder);
    RemoteDevice device;
    RemoteContext context{args, device, global.progress || platform::standardErrorIsTerminal(), stdout, stderr, name};
    return command.run(context);
}

int remoteHelp(const std::vector<std::string>& words) {
    if (words.empty()) {
        std::fputs(remoteOverviewHelp().c_str(), stdout);
        return EXIT_OK;
    }
    const RemoteCommandSpec* command = findRemoteCommand(words[0]);
    if (!command || words.size() > 1) usageError("no help for 'remote " + words[0] + "': unknown remote command");
    std::fputs(remoteCommandHelp(*command).c_str(), stdout);
    return EXIT_OK;
}

// The words after "remote", with the global options given before it.
int dispatchRemote(const std::vector<std::string>& words, std::string& name) {
    const size_t at = commandIndex(words);
    std::vector<std::string> rest(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(at));
    if (at == words.size()) {
        if (globalsOf(Arguments::parse(rest, GLOBAL_OPTIONS)).help) return remoteHelp({});
        usageError("missing remote command (kestrel remote --help lists them)");
    }
    const RemoteCommandSpec* command = findRemoteCommand(words[at]);
    if (!command) usageError("unknown remote command '" + words[at] + "' (kestrel remote --help lists them)");
    name = REMOTE_PREFIX + words[at];
    rest.insert(rest.end(), words.begin() + static_cast<std::ptrdiff_t>(at) + 1, words.end());
    const Arguments args = Arguments::parse(rest, optionsOf(command->options));
    const GlobalOptions global = globalsOf(args);
    if (global.help) return remoteHelp({command->name});
    return runRemoteCommand(*command, args, global, name);
}

int helpCommand(const std::vector<std::string>& words) {
    if (words.empty()) {
        std::fputs(overviewHelp().c_str(), stdout);
        return EXIT_OK;
    }
    if (words[0] == "remote") return remoteHelp({words.begin() + 1, words.end()});
    const CommandSpec* command = findCommand(words[0]);
    if (!command || words.size() > 1) usageError("no help for '" + words[0] + "': unknown command");
    std::fputs(commandHelp(*command).c_str(), stdout);
    return EXIT_OK;
}

// `name` receives the command word as soon as it is known, for messages.
int dispatch(const std::vector<std::string>& words, std::string& name) {
    const size_t at = commandIndex(words);
    std::vector<std::string> rest(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(at));
    if (at == words.size()) {
        const GlobalOptions global = globalsOf(Arguments::parse(rest, GLOBAL_OPTIONS));
        if (global.version) {
            std::printf("kestrel %s\n", KESTREL_VERSION);
            return EXIT_OK;
        }
        if (global.help) return helpCommand({});
        std::fputs(overviewHelp().c_str(), stderr);
        return EXIT_USAGE;
    }
    name = words[at];
    rest.insert(rest.end(), words.begin() + static_cast<std::ptrdiff_t>(at) + 1, words.end());
    if (name == "help") return helpCommand(Arguments::parse(rest, GLOBAL_OPTIONS).positional());
    if (name == "remote") return dispatchRemote(rest, name);
    const CommandSpec* command = findCommand(name);
    if (!command) usageError("unknown command '" + name + "' (kestrel --help lists the commands)");
    const Arguments args = Arguments::parse(rest, optionsOf(command->options));
    const GlobalOptions global = globalsOf(args);
    if (global.help) {
        std::fputs(commandHelp(*command).c_str(), stdout);
        return EXIT_OK;
    }
    if (name == "devices") {
        checkArgumentCount(command->minArguments, command->maxArguments, args);
        return runDevices(args.positional());
    }
    return runCommand(*command, args, global);
}

}  // namespace

int runTool(const std::vector<std::string>& words) {
    std::string name;
    try {
        return dispatch(words, name);
    } catch (const Failure& failure) {
        std::fflush(stdout);
        const char* synopsis = synopsisOf(name);
        const std::string prefix = synopsis ? "kestrel " + name + ": " : "kestrel: ";
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), failure.what());
        if (failure.exitCode() == EXIT_USAGE) {
            if (synopsis) {
                std::fprintf(stderr, "usage: kestrel %s\n", synopsis);
            } else {
                std::fputs("usage: kestrel [--sim DIR] [--progress] COMMAND [ARGUMENTS...] (see kestrel --help)\n",
                           stderr);
            }
        }
        return failure.exitCode();
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kestrel: %s\n", error.what());
        return EXIT_FAILED;
    }
}

}  // namespace kestrel::cli
