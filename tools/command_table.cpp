#include "tools/command_table.h"

#ifdef KESTREL_HAVE_MOUNT
#include "tools/mount_command.h"
#endif

namespace kestrel::cli {

namespace {

constexpr const char* OVERVIEW_HEAD =
    "usage: kestrel [--sim DIR] [--progress] COMMAND [ARGUMENTS...]\n"
    "\n"
    "Works with the files and the card of a Kestrel device.\n"
    "\n"
    "Commands:\n";

constexpr const char* OVERVIEW_TAIL =
    "\n"
    "Options:\n"
    "  --sim DIR     use the simulated device in DIR (made by kestrel-sim create)\n"
    "  --progress    draw progress bars even when standard error is not a terminal\n"
    "  -h, --help    show this help; kestrel help COMMAND shows a command's help\n"
    "  --version     show the version\n"
    "\n"
    "Device paths are written with '/', e.g. /MUSIC/A.MP3. New files and\n"
    "directories put there keep their names as long names where those are not 8.3\n"
    "names; existing entries may be named by short or long names. The device is the one the driver finds, or the simulated device that\n"
    "KESTREL_SIM=tcp:HOST:PORT or unix:PATH names, or the one of --sim.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

#ifdef KESTREL_HAVE_MOUNT
constexpr const char* REMOTE_SYNOPSIS = "remote ls|get|put|rm|mkdir|rmdir|mount ...";
#else
constexpr const char* REMOTE_SYNOPSIS = "remote ls|get|put|rm|mkdir|rmdir ...";
#endif
constexpr const char* REMOTE_SUMMARY = "files through the device's file server, main firmware running";

const std::vector<CommandSpec> COMMANDS = {
    {"info", "info", "show the card, its geometry, bad blocks and the volume",
     "Shows the card's maker and device code, its size and geometry row, the\n"
     "physical blocks marked bad, and the volume: type, label, sizes in bytes.\n",
     {}, 0, 0, runInfo, nullptr},
    {"ls", "ls [-l] [PATH]", "list a directory (default /)",
     "Lists the entries of a directory, or one file. Long names are shown when an\n"
     "entry has one; directories end in '/'.\n"
     "\n"
     "  -l   long listing: type, size, modification time, short name, long name\n",
     {{"-l", false}}, 0, 1, runLs, checkFirstPath},
    {"get", "get [-r] DEVICE_PATH... [HOST_PATH]", "copy files (or, with -r, directories) from the device",
     "get DEVICE_PATH [HOST_PATH] copies a device file to HOST_PATH (default: its\n"
     "name in the current folder; a folder receives the file under its name).\n"
     "get DEVICE_PATH... HOST_FOLDER copies several files into an existing folder.\n"
     "get -r DEVICE_PATH... HOST_FOLDER copies directories with everything in them:\n"
     "into HOST_FOLDER under their names when it exists, or as HOST_FOLDER when it\n"
     "does not (one directory only). Host files get the device files'\n"
     "modification times. Each host file is written beside its place and takes it\n"
     "only when complete: a copy that fails leaves a file that was there as it was.\n"
     "\n"
     "All files are copied in one session with the device, under one progress bar.\n"
     "A file that fails is reported and the others are still copied; the exit\n"
     "status is then 1.\n"
     "\n"
     "  -r   copy directories and their contents\n",
     {{"-r", false}}, 1, ANY_NUMBER, runGet, checkGetArguments},
    {"put", "put [-r] HOST_PATH... [DEVICE_PATH]", "copy files (or, with -r, folders) to the device",
     "put HOST_PATH [DEVICE_PATH] copies a host file to DEVICE_PATH (default: its\n"
     "name in /; a directory receives the file under its name), replacing a device\n"
     "file of that name. put HOST_PATH... DEVICE_DIR copies several files into a\n"
     "directory. put -r HOST_PATH... DEVICE_DIR copies folders with everything in\n"
     "them: into DEVICE_DIR under their names when it exists, or as DEVICE_DIR when\n"
     "it does not (one folder only). Device files get the host files'\n"
     "modification times.\n"
     "\n"
     "New files and directories take their host names. A name that is not an 8.3\n"
     "name (\"Holiday at the sea.jpg\") is kept as the entry's long name (up to 39\n"
     "characters), beside a short name the device makes of it (HOLIDA~1.JPG). A name\n"
     "of up to 8 characters, and up to 3 after a dot, must be an 8.3 name; it is\n"
     "stored in capitals.\n"
     "\n"
     "All files are copied in one session with the device, under one progress bar.\n"
     "A file that fails is reported and the others are still copied; the exit\n"
     "status is then 1.\n"
     "\n"
     "A device file is replaced only once the new contents are on the card: they\n"
     "are written beside the old file under a temporary name (~KPUTn.TMP), which\n"
     "then takes the file's name. The card therefore needs room for the new\n"
     "contents beside the old ones: when space runs out (or the copy fails for\n"
     "another reason), the new copy is removed and the old file stays as it was.\n"
     "\n"
     "  -r   copy folders and their contents\n",
     {{"-r", false}}, 1, ANY_NUMBER, runPut, checkPutArguments},
    {"rm", "rm [-r] DEVICE_PATH...", "remove files",
     "Removes device files (not directories: see rmdir).\n"
     "\n"
     "  -r   remove directories too, with everything in them\n",
     {{"-r", false}}, 1, ANY_NUMBER, runRm, checkAllPaths},
    {"mkdir", "mkdir [-p] DEVICE_PATH...", "make directories",
     "Makes directories.\n"
     "\n"
     "  -p   make missing parents too; an existing directory is no error\n",
     {{"-p", false}}, 1, ANY_NUMBER, runMkdir, checkAllPaths},
    {"rmdir", "rmdir [-r] DEVICE_PATH...", "remove directories",
     "Removes empty directories.\n"
     "\n"
     "  -r   remove the directories with everything in them\n",
     {{"-r", false}}, 1, ANY_NUMBER, runRmdir, checkAllPaths},
    {"mv", "mv SOURCE DESTINATION", "rename or move a file or directory",
     "Renames SOURCE, or moves it into DESTINATION when that is a directory. An\n"
     "existing file at DESTINATION is not replaced.\n",
     {}, 2, 2, runMv, checkAllPaths},
    {"format", "format [--full] [--label TEXT]", "make a fresh file system on the card",
     "Formats the card: every file on it is lost. A quick format keeps the card's\n"
     "bad-block marks; --full tests every block first. The label has at most 11\n"
     "characters; without one the volume is labelled NO NAME, as FAT volumes\n"
     "without a label are.\n"
     "\n"
     "  --full         test every block (slow)\n"
     "  --label TEXT   the volume label\n",
     {{"--full", false}, {"--label", true}}, 0, 0, runFormat, checkFormatArguments},
    {"backup", "backup IMAGE", "save the whole card as a disk image",
     "Writes the card's logical sectors 0 to the last one into IMAGE: a plain disk\n"
     "image with the card's boot record and partition, which other FAT tools can\n"
     "read. Sectors that hold no data read as zeros. A backup that fails leaves an\n"
     "IMAGE that was there as it was.\n",
     {}, 1, 1, runBackup, nullptr},
    {"restore", "restore IMAGE", "write a disk image back onto the card",
     "Writes IMAGE (exactly the card's size, as backup makes it) onto the card,\n"
     "replacing everything on it. A FAT12/FAT16 volume in the image may come from\n"
     "any tool.\n",
     {}, 1, 1, runRestore, nullptr},
    {"eeprom", "eeprom read FILE | eeprom write FILE", "save or rewrite the boot EEPROM",
     "eeprom read FILE saves the device's boot EEPROM (65,536 bytes) into FILE.\n"
     "eeprom write FILE writes FILE (at most 65,536 bytes, from address 0) into the\n"
     "EEPROM and reads it back to verify it.\n",
     {}, 2, 2, runEeprom, checkEepromArguments},
    // Runs outside a device session: tool.cpp hands it to runDevices.
    {"devices", "devices", "list the Kestrels the simulator and USB show",
     "Lists what each way of reaching a Kestrel sees: the simulated device named\n"
     "by KESTREL_SIM, and USB devices with Anchor's vendor id 0x0547 (or the ids\n"
     "KESTREL_USB=VID:PID[@BUS:ADDRESS][,...] names) with their bus, address,\n"
     "pipe count and firmware state; when nothing is found, why (no USB on the\n"
     "system, or no permission to open the device: see the udev rule).\n"
     "Exit status 0 when a Kestrel was found, 1 when none was.\n",
     {}, 0, 0, nullptr, nullptr},
#ifdef KESTREL_HAVE_MOUNT
    // Runs outside a device session of the table's kind: tool.cpp hands it
    // to runMountCommand.
    {"mount", "mount [-f] [-d] [-c] MOUNTPOINT", "show the card's files in a folder (FUSE) until unmounted",
     MOUNT_DETAILS,
     {{"-f", false}, {"--foreground", false}, {"-d", false}, {"--debug", false}, {"-c", false}, {"--capitals", false}},
     1, 1, nullptr, nullptr},
#endif
};

}  // namespace

const std::vector<CommandSpec>& commandTable() { return COMMANDS; }

const CommandSpec* findCommand(const std::string& name) {
    for (const auto& command : COMMANDS) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

namespace {

// One line of the overview: the synopsis, then the summary in its column.
std::string overviewLine(const std::string& synopsis, const std::string& summary) {
    std::string line = "  " + synopsis;
    line += line.size() < 40 ? std::string(40 - line.size(), ' ') : "\n" + std::string(40, ' ');
    return line + summary + "\n";
}

}  // namespace

std::string overviewHelp() {
    std::string text = OVERVIEW_HEAD;
    for (const auto& command : COMMANDS) text += overviewLine(command.synopsis, command.summary);
    text += overviewLine(REMOTE_SYNOPSIS, REMOTE_SUMMARY);
    return text + OVERVIEW_TAIL;
}

std::string commandHelp(const CommandSpec& command) {
    return "usage: kestrel " + std::string(command.synopsis) + "\n\n" + command.details;
}

}  // namespace kestrel::cli
