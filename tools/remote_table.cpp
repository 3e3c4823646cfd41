#include "tools/command_table.h"
#include "tools/commands.h"
#include "tools/remote_commands.h"

#ifdef KESTREL_HAVE_MOUNT
#include "tools/mount_command.h"
#endif

namespace kestrel::cli {

namespace {

constexpr const char* OVERVIEW_HEAD =
    "usage: kestrel [--sim DIR] [--progress] remote COMMAND [ARGUMENTS...]\n"
    "\n"
    "Works with the device's files through its own file server, while it runs its\n"
    "main firmware: nothing is switched, so the device stays in use meanwhile.\n"
    "\n"
    "Remote commands:\n";

constexpr const char* OVERVIEW_TAIL =
    "\n"
    "Device paths are written with '/', e.g. /Music/Song.mp3. Names of new files\n"
    "and directories keep their case and may be long names (up to 39 characters);\n"
    "existing entries are found by long or short name, without regard to case.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

const std::vector<RemoteCommandSpec> COMMANDS = {
    {"ls", "remote ls [-l] [PATH]", "list a directory (default /)",
     "Lists the entries of a directory, or one file, as the device's file server\n"
     "names them; directories end in '/'.\n"
     "\n"
     "  -l   long listing: type, size, modification time, name\n",
     {{"-l", false}}, 0, 1, runRemoteLs, checkFirstPath},
    {"get", "remote get DEVICE_PATH [HOST_PATH]", "copy a file from the device",
     "Copies a device file to HOST_PATH (default: its name in the current folder;\n"
     "a folder receives the file under its name). The host file gets the device\n"
     "file's modification time. A copy that fails leaves a host file that was\n"
     "there as it was.\n",
     {}, 1, 2, runRemoteGet, checkFirstPath},
    {"put", "remote put HOST_PATH [DEVICE_PATH]", "copy a file to the device",
     "Copies a host file to DEVICE_PATH (default: its name in /; a directory\n"
     "receives the file under its name), replacing a device file of that name.\n"
     "The device file gets the time of the copy. The file server cannot rename, so\n"
     "a replaced file is first copied into the host's temporary folder; when the\n"
     "new contents do not arrive whole, it is written back (or, when that fails\n"
     "too, the message names the host copy that holds it).\n",
     {}, 1, 2, runRemotePut, checkSecondPath},
    {"rm", "remote rm DEVICE_PATH...", "remove files",
     "Removes device files (not directories: see remote rmdir).\n", {}, 1, ANY_NUMBER, runRemoteRm, checkAllPaths},
    {"mkdir", "remote mkdir [-p] DEVICE_PATH...", "make directories",
     "Makes directories.\n"
     "\n"
     "  -p   make missing parents too; an existing directory is no error\n",
     {{"-p", false}}, 1, ANY_NUMBER, runRemoteMkdir, checkAllPaths},
    {"rmdir", "remote rmdir DEVICE_PATH...", "remove empty directories", "Removes empty directories.\n", {}, 1,
     ANY_NUMBER, runRemoteRmdir, checkAllPaths},
#ifdef KESTREL_HAVE_MOUNT
    // Runs outside the table's filex session: tool.cpp hands it to
    // runMountCommand.
    {"mount", "remote mount [-f] [-d] MOUNTPOINT", "show the device's files in a folder (FUSE) until unmounted",
     REMOTE_MOUNT_DETAILS, {{"-f", false}, {"--foreground", false}, {"-d", false}, {"--debug", false}}, 1, 1,
     nullptr, nullptr},
#endif
};

constexpr size_t SYNOPSIS_COLUMN = 40;

}  // namespace

const std::vector<RemoteCommandSpec>& remoteCommandTable() { return COMMANDS; }

const RemoteCommandSpec* findRemoteCommand(const std::string& name) {
    for (const auto& command : COMMANDS) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

std::string remoteOverviewHelp() {
    std::string text = OVERVIEW_HEAD;
    for (const auto& command : COMMANDS) {
        std::string line = "  " + std::string(command.synopsis);
        line += line.size() < SYNOPSIS_COLUMN ? std::string(SYNOPSIS_COLUMN - line.size(), ' ')
                                              : "\n" + std::string(SYNOPSIS_COLUMN, ' ');
        text += line + command.summary + "\n";
    }
    return text + OVERVIEW_TAIL;
}

std::string remoteCommandHelp(const RemoteCommandSpec& command) {
    return "usage: kestrel " + std::string(command.synopsis) + "\n\n" + command.details;
}

void reportRemoteFailure(const RemoteContext& context, const std::string& message) {
    std::fflush(context.out);
    std::fprintf(context.err, "kestrel %s: %s\n", context.name.c_str(), message.c_str());
}

}  // namespace kestrel::cli
