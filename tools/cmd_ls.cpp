// ls: the entries of a directory, or one file.
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/device_tree.h"

#include <cinttypes>
#include <string>

namespace kestrel::cli {

namespace {

constexpr unsigned SECONDS_PER_COUNT = 2;  // the stat record keeps two-second counts
constexpr size_t NAME_COLUMN = 14;         // short name and "/" fit in 13

void printShort(std::FILE* out, const DeviceEntry& entry) {
    std::fprintf(out, "%s%s\n", entry.displayName().c_str(), entry.isDirectory() ? "/" : "");
}

void printLong(std::FILE* out, const DeviceEntry& entry) {
    const oryx_stat& s = entry.stat;
    const std::string name = entry.shortName + (entry.isDirectory() ? "/" : "");
    char head[64];
    std::snprintf(head, sizeof head, "%c %10" PRIu32 "  %04u-%02u-%02u %02u:%02u:%02u  ", entry.isDirectory() ? 'd' : '-',
                  static_cast<uint32_t>(s.size), static_cast<unsigned>(s.year), static_cast<unsigned>(s.month),
                  static_cast<unsigned>(s.day), static_cast<unsigned>(s.hour), static_cast<unsigned>(s.minute),
                  static_cast<unsigned>(s.second) * SECONDS_PER_COUNT);
    std::string line = head + name;
    if (!entry.longName.empty()) line += std::string(name.size() < NAME_COLUMN ? NAME_COLUMN - name.size() : 1, ' ') + entry.longName;
    std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace

int runLs(CommandContext& context) {
    const auto& args = context.args.positional();
    const DevicePath path = devicePathArgument(args.empty() ? "/" : args[0]);
    DeviceTree tree;
    const ResolvedPath resolved = tree.resolveExisting(path);
    const auto entries = resolved.isDirectory() ? tree.list(resolved.oryxPath(), path.text())
                                                : std::vector<DeviceEntry>{*resolved.entry};
    for (const auto& entry : entries) {
        if (context.args.flag("-l")) {
            printLong(context.out, entry);
        } else {
            printShort(context.out, entry);
        }
    }
    return 0;
}

}  // namespace kestrel::cli
