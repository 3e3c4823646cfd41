#include "tools/mount_command.h"

#include "mount/daemon.h"
#include "mount/filex_backend.h"
#include "mount/fuse_session.h"
#include "mount/mounted_volume.h"
#include "mount/oryx_backend.h"
#include "tools/failure.h"
#include "tools/pre_extension.h"
#include "tools/sim_host.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kestrel::cli {

const char* const MOUNT_DETAILS =
    "Shows the card's files in the folder MOUNTPOINT (an existing, empty\n"
    "directory) until it is unmounted, with `fusermount3 -u MOUNTPOINT`, Ctrl+C\n"
    "or SIGTERM. The device runs its file-system firmware meanwhile and gets its\n"
    "main firmware back at the end. Without -f the mount goes to the background\n"
    "once it is in place; errors before that are reported and end the command\n"
    "with status 1.\n"
    "\n"
    "Files can be read, written, created, truncated, renamed (also replacing a\n"
    "file of the target's name), removed, and given times (two-second steps,\n"
    "1980 to 2107); directories made and removed. The write permission bit is\n"
    "the entry's read-only attribute. Names keep their case and are found\n"
    "without regard to it; a name the card cannot hold is refused, never\n"
    "changed: more than 39 characters (ENAMETOOLONG), characters outside\n"
    "printable ASCII, \" * / : < > ? \\ |, or a trailing dot or space (EINVAL).\n"
    "The library stores no long name for a name of 8.3 lengths, so such a name\n"
    "must be written as its short form shows it, in capitals (NOTES.TXT, not\n"
    "notes.txt or a b.c: EINVAL) unless -c is given; longer names keep their\n"
    "case.\n"
    "Written data reaches the card when the file is closed or synced. A device\n"
    "that stops answering or goes away turns every later call into EIO; the\n"
    "mount can still be unmounted.\n"
    "\n"
    "  -f, --foreground   stay in the foreground (and print errors there)\n"
    "  -d, --debug        trace every file-system call (implies -f)\n"
    "  -c, --capitals     store new 8.3 names with small letters in capitals, as\n"
    "                     the card holds them (notes.txt is then listed as\n"
    "                     NOTES.TXT) instead of refusing them\n";

const char* const REMOTE_MOUNT_DETAILS =
    "Shows the device's files in the folder MOUNTPOINT through the device's own\n"
    "file server, while the device keeps running its main firmware, until it is\n"
    "unmounted (fusermount3 -u MOUNTPOINT, Ctrl+C, SIGTERM). Without -f the mount\n"
    "goes to the background once it is in place.\n"
    "\n"
    "The file server reads, writes, creates and removes files and makes and\n"
    "removes directories. It cannot rename (EXDEV: mv and rsync copy and delete\n"
    "instead), set times or attributes (EPERM unless nothing changes), or report\n"
    "the volume's size (statfs: ENOSYS). Names follow the rules of kestrel mount.\n"
    "\n"
    "  -f, --foreground   stay in the foreground\n"
    "  -d, --debug        trace every file-system call (implies -f)\n";

namespace {

std::unique_ptr<mount::Backend> startBackend(bool remote, bool capitals) {
    std::string error;
    std::unique_ptr<mount::Backend> backend;
    if (remote) {
        backend = mount::FilexBackend::start(error);
    } else if (auto library = mount::OryxBackend::start(error)) {
        // Files are pre-extended as put does, where that is harmless.
        library->allowPreExtension(clustersAreEraseBlocks());
        library->storeShortNamesInCapitals(capitals);
        backend = std::move(library);
    }
    if (!backend) fail("cannot start the device: " + error);
    return backend;
}

// Everything of one mount, torn down in reverse: the FUSE session, the
// volume (open files committed), the device session, the simulator.
int serve(const std::string& mountpoint, const std::optional<std::string>& simFolder, bool remote, bool debug,
          bool capitals, mount::Daemon& daemon) {
    std::unique_ptr<SimHost> simulator;
    if (simFolder) simulator = std::make_unique<SimHost>(*simFolder);
    mount::MountedVolume volume(startBackend(remote, capitals));
    mount::FuseSession session(volume, mountpoint, debug);
    if (!session.mounted()) fail(session.error());
    std::fflush(stdout);
    daemon.detach();
    const int loop = session.run();
    return loop == 0 ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int runMountCommand(const Arguments& args, const std::optional<std::string>& simFolder, bool remote) {
    const std::string mountpoint = args.positional().at(0);
    std::error_code error;
    if (!std::filesystem::is_directory(mountpoint, error)) usageError("mount point '" + mountpoint + "' is not a directory");
    const bool debug = args.flag("-d") || args.flag("--debug");
    const bool foreground = debug || args.flag("-f") || args.flag("--foreground");
    mount::Daemon daemon(!foreground);
    if (daemon.failed()) fail("cannot go to the background");
    if (const auto code = daemon.parentExitCode()) return *code;
    const bool capitals = args.flag("-c") || args.flag("--capitals");
    return serve(mountpoint, simFolder, remote, debug, capitals, daemon);
}

}  // namespace kestrel::cli
