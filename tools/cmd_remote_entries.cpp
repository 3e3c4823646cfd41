// remote rm, mkdir and rmdir: directory entries through the device's file
// server. Each goes on with its other arguments after a failure and exits
// with 1 at the end.
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/remote_commands.h"

#include <functional>

namespace kestrel::cli {

namespace {

// Runs `action` for every argument; failures are reported and counted.
int forEachArgument(RemoteContext& context, const std::function<void(const DevicePath&)>& action) {
    return forEachText(
        context.args.positional(), [&](const std::string& text) { action(devicePathArgument(text)); },
        [&](const std::string& message) { reportRemoteFailure(context, message); });
}

void makeDirectory(RemoteDevice& device, const DevicePath& path, bool parents) {
    if (const auto existing = device.find(path)) {
        if (parents && existing->directory) return;
        fail(path.text() + " exists");
    }
    if (device.client().mkdir(path.text().c_str(), 0) != 0) fail("cannot make " + path.text());
}

}  // namespace

int runRemoteRm(RemoteContext& context) {
    return forEachArgument(context, [&](const DevicePath& path) {
        const auto entry = context.device.find(path);
        if (!entry) fail("no such file: " + path.text());
        if (entry->directory) fail(path.text() + " is a directory (remote rmdir removes directories)");
        if (context.device.client().unlink(path.text().c_str()) != 0) fail("cannot remove " + path.text());
    });
}

int runRemoteMkdir(RemoteContext& context) {
    const bool parents = context.args.flag("-p");
    return forEachArgument(context, [&](const DevicePath& path) {
        if (path.isRoot()) {
            if (!parents) fail("/ exists");
            return;
        }
        if (parents) {
            const auto& all = path.components();
            for (size_t n = 1; n < all.size(); ++n) {
                makeDirectory(context.device, DevicePath({all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)}),
                              true);
            }
        }
        makeDirectory(context.device, path, parents);
    });
}

int runRemoteRmdir(RemoteContext& context) {
    return forEachArgument(context, [&](const DevicePath& path) {
        if (path.isRoot()) fail("the root directory cannot be removed");
        const auto entry = context.device.find(path);
        if (!entry) fail("no such directory: " + path.text());
        if (!entry->directory) fail(path.text() + " is not a directory");
        if (context.device.client().rmdir(path.text().c_str()) == 0) return;
        const bool empty = context.device.list(path).empty();
        fail("cannot remove " + path.text() + (empty ? "" : ": it is not empty"));
    });
}

}  // namespace kestrel::cli
