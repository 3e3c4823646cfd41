// get and put: files between the host and the device.
//
// put writes a file the way the update tool does: create, extend to the
// full length with pre-erased clusters (where that is safe, see
// pre_extension.h), write in 2048-byte pieces, close; the host file's
// modification time is given before the close, which writes it into the
// entry with the size. A file that exists is replaced only once its new
// contents are on the card (file_replacement.h).
#include "tools/commands.h"
#include "tools/device_file.h"
#include "tools/device_tree.h"
#include "tools/failure.h"
#include "tools/file_replacement.h"
#include "tools/host_files.h"
#include "tools/host_output.h"
#include "tools/new_entry.h"
#include "tools/interrupt.h"
#include "tools/oryx_result.h"
#include "tools/pre_extension.h"
#include "tools/progress_bar.h"
#include "tools/transfer_steps.h"

#include <algorithm>
#include <functional>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace kestrel::cli {

namespace {

constexpr uint32_t PUT_PIECE = 2048;
constexpr uint32_t GET_PIECE = 32768;

// The entry that receives a put: DEVICE_PATH, or the host file's name in
// DEVICE_PATH when that is a directory.
ResolvedPath putTarget(DeviceTree& tree, const std::vector<std::string>& args) {
    const std::string base = hostBaseName(args[0]);
    std::string error;
    const auto named = parseDevicePath(base, &error);
    const bool baseUsable = named && named->components().size() == 1;
    if (args.size() < 2 && !baseUsable) usageError("the host name '" + base + "' cannot name a device file: give DEVICE_PATH");
    const DevicePath asked = args.size() > 1 ? devicePathArgument(args[1]) : DevicePath().child(base);
    ResolvedPath target = tree.resolve(asked);
    if (target.isDirectory() && args.size() > 1) {
        if (!baseUsable) usageError("the host name '" + base + "' cannot name a device file: give the file's device name");
        target = tree.resolve(asked.child(base));
    }
    if (target.isDirectory()) fail(target.path.text() + " is a directory");
    return target;
}

// The host file's modification time as the close is to write it, when the
// host tells it.
std::optional<oryx_stat> hostTimeStamp(const std::string& hostPath) {
    const auto time = hostModificationTime(hostPath);
    if (!time) return std::nullopt;
    oryx_stat stat{};
    stat.year = static_cast<uint16_t>(time->year);
    stat.month = static_cast<uint8_t>(time->month);
    stat.day = static_cast<uint8_t>(time->day);
    stat.hour = static_cast<uint8_t>(time->hour);
    stat.minute = static_cast<uint8_t>(time->minute);
    stat.second = static_cast<uint8_t>(time->second);
    return stat;
}

// Writes the host file to a new device file created at `oryx`, closed with
// the host file's time. On a failure the incomplete file (found again by
// `locate`) is removed and the message ends with `afterFailure`.
void writeDeviceFile(const std::string& hostPath, uint32_t size, const std::string& oryx,
                     const std::function<std::string()>& locate, const std::string& shown, bool preExtend,
                     const std::string& afterFailure, BarPlace place) {
    HostFile in = openHostFile(hostPath, false);
    DeviceFile file = DeviceFile::create(oryx, false, shown);
    try {
        if (preExtend) file.extend(size);
        std::vector<uint8_t> piece(PUT_PIECE);
        for (uint32_t done = 0; done < size;) {
            stopIfInterrupted();
            const uint32_t n = std::min(PUT_PIECE, size - done);
            readHostBytes(in.get(), hostPath, piece.data(), n);
            file.write(piece.data(), n);
            done += n;
            place.bar.update(place.base + done);
        }
        if (const auto stamp = hostTimeStamp(hostPath)) file.setTime(*stamp);
        file.close();
    } catch (const Failure& failure) {
        // Nothing half written stays behind (the removal also closes the
        // handle).
        bool removed = false;
        try {
            removed = mt_smRemoveFile(locate().c_str()) == 0;
        } catch (const Failure&) {
        }
        throw Failure(failure.exitCode(), std::string(failure.what()) +
                                              (removed ? "; the incomplete device file was removed" : "") + afterFailure);
    }
}

// A new file is written under its name (an entry of a name that is no 8.3
// name gets its long name once written); an existing one is replaced only
// once the new contents are on the card (file_replacement.h). The library
// path of the file afterwards.
std::string putDeviceFile(DeviceTree& tree, const std::string& hostPath, uint32_t size, const ResolvedPath& target,
                          BarPlace place) {
    const std::string shown = target.path.text();
    const bool preExtend = clustersAreEraseBlocks();
    if (target.exists()) {
        const std::string oryx = target.oryxPath();
        const std::string fresh = freeTemporaryPath(oryxDirectoryOf(oryx));
        writeDeviceFile(hostPath, size, fresh, [&] { return fresh; }, shown, preExtend,
                        "; " + shown + " was left as it was", place);
        swapIntoPlace(fresh, oryx, shown);
        return oryx;
    }
    const DevicePath parentPath(std::vector<std::string>(target.path.components().begin(),
                                                         target.path.components().end() - 1));
    ResolvedPath parent{parentPath, std::vector<std::string>(target.shortNames.begin(),
                                                             target.shortNames.begin() +
                                                                 static_cast<std::ptrdiff_t>(parentPath.components().size())),
                        std::nullopt};
    NewEntry entry(tree, parent, target.path.name());
    writeDeviceFile(hostPath, size, entry.createPath(), [&] { return entry.locate(); }, shown, preExtend, "", place);
    const std::string oryx = entry.locate();
    entry.name(oryx);
    return oryx;
}

}  // namespace

std::string hostNameOf(const DeviceEntry& entry) {
    std::string error;
    const auto parsed = entry.longName.empty() ? std::nullopt : parseDevicePath(entry.longName, &error);
    return parsed && parsed->components().size() == 1 ? entry.longName : entry.shortName;
}

void putOneFile(DeviceTree& tree, const std::string& hostPath, uint64_t size, const ResolvedPath& target,
                BarPlace place) {
    if (size > std::numeric_limits<uint32_t>::max()) fail(hostPath + " is too large for the device");
    if (target.isDirectory()) fail(target.path.text() + " is a directory");
    const std::string oryx = putDeviceFile(tree, hostPath, static_cast<uint32_t>(size), target, place);
    // Replacing the entry dropped its long name: give it back.
    if (target.entry && !target.entry->longNameUnits.empty()) {
        std::vector<uint16_t> units(target.entry->longNameUnits.begin(), target.entry->longNameUnits.end());
        units.push_back(0);
        checkOryx(mt_smSetLongName(oryx.c_str(), units.data()), "wrote " + target.path.text() + " but cannot keep its long name");
    }
}

void getOneFile(const ResolvedPath& source, const std::string& hostPath, BarPlace place) {
    const DeviceEntry& entry = *source.entry;
    const std::string shown = source.path.text();
    DeviceFile file = DeviceFile::openForReading(source.oryxPath(), shown);
    // A failure leaves a host file that was there as it was.
    HostOutput out(hostPath);
    const uint32_t size = entry.stat.size;
    std::vector<uint8_t> piece(GET_PIECE);
    for (uint32_t done = 0; done < size;) {
        stopIfInterrupted();
        const uint32_t n = std::min(GET_PIECE, size - done);
        file.read(piece.data(), n);
        out.write(piece.data(), n);
        done += n;
        place.bar.update(place.base + done);
    }
    file.close();
    out.commit();
    const oryx_stat& s = entry.stat;
    // Best effort: a host file system may refuse the time.
    (void)setHostModificationTime(hostPath, {s.year, s.month, s.day, s.hour, s.minute, s.second * 2});
}

int runPut(CommandContext& context) {
    const auto& args = context.args.positional();
    if (context.args.flag("-r") || args.size() > 2) return putMany(context);
    const uint64_t size = hostFileSize(args[0]);
    DeviceTree tree;
    const ResolvedPath target = putTarget(tree, args);
    ProgressBar bar(context.err, "put " + target.path.text(), size, context.progress);
    putOneFile(tree, args[0], size, target, {bar, 0});
    bar.finish();
    return EXIT_OK;
}

int runGet(CommandContext& context) {
    const auto& args = context.args.positional();
    if (context.args.flag("-r") || args.size() > 2) return getMany(context);
    DeviceTree tree;
    const ResolvedPath source = tree.resolveExisting(devicePathArgument(args[0]));
    if (source.isDirectory()) fail(source.path.text() + " is a directory");
    std::string hostPath = args.size() > 1 ? args[1] : hostNameOf(*source.entry);
    if (isHostDirectory(hostPath)) hostPath = joinHostPath(hostPath, hostNameOf(*source.entry));
    ProgressBar bar(context.err, "get " + source.path.text(), source.entry->stat.size, context.progress);
    getOneFile(source, hostPath, {bar, 0});
    bar.finish();
    return EXIT_OK;
}

}  // namespace kestrel::cli
