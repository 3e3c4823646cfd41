// remote get and remote put: files between the host and the device through
// the device's file server, in the blocks the namespace extension uses
// (16,384 bytes read, 61,440 bytes written with _open flags 0x201).
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/host_files.h"
#include "tools/host_output.h"
#include "tools/remote_kept_file.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"
#include "tools/remote_commands.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace kestrel::cli {

namespace {

// The entry that receives a put: DEVICE_PATH, or the host file's name in
// DEVICE_PATH when that is a directory.
DevicePath putTarget(RemoteDevice& device, const std::vector<std::string>& args) {
    const std::string base = hostBaseName(args[0]);
    std::string error;
    const auto named = parseDevicePath(base, &error);
    const bool baseUsable = named && named->components().size() == 1;
    if (args.size() < 2 && !baseUsable) usageError("the host name '" + base + "' cannot name a device file: give DEVICE_PATH");
    DevicePath target = args.size() > 1 ? devicePathArgument(args[1]) : DevicePath().child(base);
    auto existing = device.find(target);
    if (existing && existing->directory && args.size() > 1) {
        if (!baseUsable) usageError("the host name '" + base + "' cannot name a device file: give the file's device name");
        target = target.child(base);
        existing = device.find(target);
    }
    if (existing && existing->directory) fail(target.text() + " is a directory");
    return target;
}

void sendHostFile(RemoteContext& context, HostFile& in, const std::string& hostPath, uint64_t size, RemoteFile& file,
                  const DevicePath& target) {
    ProgressBar bar(context.err, "put " + target.text(), size, context.progress);
    std::vector<uint8_t> block(REMOTE_WRITE_BLOCK);
    for (uint64_t done = 0; done < size;) {
        stopIfInterrupted();
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(REMOTE_WRITE_BLOCK, size - done));
        readHostBytes(in.get(), hostPath, block.data(), n);
        file.write(block.data(), n);
        done += n;
        bar.update(done);
    }
    file.close();
    bar.finish();
}

void receiveDeviceFile(RemoteContext& context, RemoteFile& file, const DevicePath& source, HostOutput& out) {
    const uint32_t size = file.size();
    ProgressBar bar(context.err, "get " + source.text(), size, context.progress);
    std::vector<uint8_t> block(REMOTE_READ_BLOCK);
    uint64_t done = 0;
    for (;;) {
        stopIfInterrupted();
        const uint32_t n = file.read(block.data(), REMOTE_READ_BLOCK);
        if (n == 0) break;
        out.write(block.data(), n);
        done += n;
        bar.update(done);
    }
    if (done != size) {
        fail("read " + std::to_string(done) + " of the " + std::to_string(size) + " bytes of " + source.text());
    }
    file.close();
    out.commit();
    bar.finish();
}

CalendarTime calendarOf(uint16_t dosDate, uint16_t dosTime) {
    return {1980 + (dosDate >> 9), (dosDate >> 5) & 15, dosDate & 31, dosTime >> 11, (dosTime >> 5) & 63,
            (dosTime & 31) * 2};
}

}  // namespace

int runRemotePut(RemoteContext& context) {
    const auto& args = context.args.positional();
    const uint64_t size = hostFileSize(args[0]);
    if (size > std::numeric_limits<uint32_t>::max()) fail(args[0] + " is too large for the device");
    const DevicePath target = putTarget(context.device, args);
    // Opening for writing empties a file that is there: its contents are
    // kept on the host until the new ones are whole.
    // The host file is opened first, and a refused open changes nothing.
    HostFile in = openHostFile(args[0], false);
    std::unique_ptr<RemoteKeptFile> kept;
    if (context.device.find(target)) kept = std::make_unique<RemoteKeptFile>(context.device, target);
    auto file = std::make_unique<RemoteFile>(context.device.client(), target, REMOTE_WRITE);
    try {
        sendHostFile(context, in, args[0], size, *file, target);
    } catch (const Failure& failure) {
        // Nothing half written stays behind under the file's name.
        file.reset();
        std::string after;
        if (kept) {
            after = kept->restore();
        } else if (context.device.client().unlink(target.text().c_str()) == 0) {
            after = "; the incomplete device file was removed";
        }
        throw Failure(failure.exitCode(), std::string(failure.what()) + after);
    }
    return EXIT_OK;
}

int runRemoteGet(RemoteContext& context) {
    const auto& args = context.args.positional();
    const DevicePath source = devicePathArgument(args[0]);
    const auto entry = context.device.find(source);
    if (!entry) fail("no such file: " + source.text());
    if (entry->directory) fail(source.text() + " is a directory");
    std::string hostPath = args.size() > 1 ? args[1] : entry->name;
    if (isHostDirectory(hostPath)) hostPath = joinHostPath(hostPath, entry->name);

    RemoteFile file(context.device.client(), source, REMOTE_READ);
    // A failure leaves a host file that was there as it was.
    HostOutput out(hostPath);
    receiveDeviceFile(context, file, source, out);
    // Best effort: a host file system may refuse the time.
    if (entry->dosDate != 0) (void)setHostModificationTime(hostPath, calendarOf(entry->dosDate, entry->dosTime));
    return EXIT_OK;
}

}  // namespace kestrel::cli
