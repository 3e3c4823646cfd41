// remote ls: the entries of a directory, or one file, as the device's file
// server lists them.
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/remote_commands.h"

#include <cinttypes>

namespace kestrel::cli {

namespace {

void printEntry(std::FILE* out, const RemoteEntry& entry, bool longListing) {
    const std::string name = entry.name + (entry.directory ? "/" : "");
    if (!longListing) {
        std::fprintf(out, "%s\n", name.c_str());
        return;
    }
    const std::string time = entry.dosDate == 0 ? std::string(19, '-') : dosTimeText(entry.dosDate, entry.dosTime);
    std::fprintf(out, "%c %10" PRIu32 "  %s  %s\n", entry.directory ? 'd' : '-', entry.size, time.c_str(), name.c_str());
}

}  // namespace

int runRemoteLs(RemoteContext& context) {
    const auto& args = context.args.positional();
    const DevicePath path = devicePathArgument(args.empty() ? "/" : args[0]);
    const auto found = context.device.find(path);
    if (!found) fail("no such file or directory: " + path.text());
    const auto entries = found->directory ? context.device.list(path) : std::vector<RemoteEntry>{*found};
    for (const auto& entry : entries) printEntry(context.out, entry, context.args.flag("-l"));
    return EXIT_OK;
}

}  // namespace kestrel::cli
