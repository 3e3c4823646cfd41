// rm, mkdir, rmdir and mv: directory entries. rm, mkdir and rmdir go on
// with their other arguments after a failure and exit with 1 at the end.
#include "tools/commands.h"
#include "tools/device_tree.h"
#include "tools/failure.h"
#include "tools/new_entry.h"
#include "tools/oryx_result.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace kestrel::cli {

namespace {

// Runs `action` for every argument; failures are reported and counted.
int forEachArgument(CommandContext& context, const std::function<void(const DevicePath&)>& action) {
    return forEachText(
        context.args.positional(), [&](const std::string& text) { action(devicePathArgument(text)); },
        [&](const std::string& message) { reportFailure(context, message); });
}

void makeDirectory(DeviceTree& tree, const DevicePath& path, bool parents) {
    const ResolvedPath target = tree.resolve(path);
    if (target.exists()) {
        if (parents && target.isDirectory()) return;
        fail(path.text() + " exists");
    }
    const DevicePath parentPath(std::vector<std::string>(path.components().begin(), path.components().end() - 1));
    NewEntry entry(tree, tree.resolveExisting(parentPath), path.name());
    checkOryx(mt_smCreateDir(entry.createPath().c_str(), 0), "cannot make " + path.text());
    entry.name(entry.locate());
}

bool startsWith(const std::vector<std::string>& names, const std::vector<std::string>& prefix) {
    return names.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), names.begin());
}

}  // namespace

int runRm(CommandContext& context) {
    DeviceTree tree;
    const bool recursive = context.args.flag("-r");
    return forEachArgument(context, [&](const DevicePath& path) {
        const ResolvedPath target = tree.resolveExisting(path);
        if (target.isDirectory() && recursive) {
            if (target.isRoot()) fail("the root directory cannot be removed");
            checkOryx(mt_smRemoveDir(target.oryxPath().c_str(), 1), "cannot remove " + path.text());
            return;
        }
        if (target.isDirectory()) fail(path.text() + " is a directory (rm -r or rmdir removes directories)");
        checkOryx(mt_smRemoveFile(target.oryxPath().c_str()), "cannot remove " + path.text());
    });
}

int runMkdir(CommandContext& context) {
    DeviceTree tree;
    const bool parents = context.args.flag("-p");
    return forEachArgument(context, [&](const DevicePath& path) {
        if (path.isRoot()) {
            if (!parents) fail("/ exists");
            return;
        }
        if (parents) {
            const auto& all = path.components();
            for (size_t n = 1; n < all.size(); ++n) {
                makeDirectory(tree, DevicePath({all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)}), true);
            }
        }
        makeDirectory(tree, path, parents);
    });
}

int runRmdir(CommandContext& context) {
    DeviceTree tree;
    const bool recursive = context.args.flag("-r");
    return forEachArgument(context, [&](const DevicePath& path) {
        const ResolvedPath target = tree.resolveExisting(path);
        if (target.isRoot()) fail("the root directory cannot be removed");
        if (!target.isDirectory()) fail(path.text() + " is not a directory");
        const uint32_t result = mt_smRemoveDir(target.oryxPath().c_str(), recursive ? 1 : 0);
        if (result == ORYX_NOT_EMPTY) fail(path.text() + " is not empty (rmdir -r removes it with its contents)");
        checkOryx(result, "cannot remove " + path.text());
    });
}

int runMv(CommandContext& context) {
    const auto& args = context.args.positional();
    DeviceTree tree;
    const ResolvedPath source = tree.resolveExisting(devicePathArgument(args[0]));
    if (source.isRoot()) fail("the root directory cannot be moved");
    const DevicePath asked = devicePathArgument(args[1]);
    ResolvedPath destination = tree.resolve(asked);
    // Into a directory: the entry keeps its names.
    const bool keepsName = destination.isDirectory();
    if (keepsName) destination = tree.resolve(asked.child(source.entry->shortName));
    if (destination.exists()) {
        if (destination.shortNames == source.shortNames) return EXIT_OK;  // the same entry
        fail(destination.path.text() + " exists (remove it first)");
    }
    if (source.isDirectory() && startsWith(destination.shortNames, source.shortNames)) {
        fail("cannot move " + source.path.text() + " into itself");
    }
    const std::string to = destination.oryxPath();
    checkOryx(mt_smMoveFile(source.oryxPath().c_str(), to.c_str()),
              "cannot move " + source.path.text() + " to " + destination.path.text());
    // The move drops the long name; an entry that keeps its name keeps it.
    if (keepsName && !source.entry->longNameUnits.empty()) {
        std::vector<uint16_t> units(source.entry->longNameUnits.begin(), source.entry->longNameUnits.end());
        units.push_back(0);
        checkOryx(mt_smSetLongName(to.c_str(), units.data()), "moved " + source.path.text() + " but cannot keep its long name");
    }
    return EXIT_OK;
}

}  // namespace kestrel::cli
