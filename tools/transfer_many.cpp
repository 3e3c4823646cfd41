// put HOST... DEVICE_DIR, get DEVICE... HOST_DIR, and their -r forms for
// trees: every file of the command in the one session, under one progress
// bar over all their bytes that names the file being copied. A file or
// folder that fails is reported and counted, and the others are still
// copied; the command then exits with 1.
//
// With -r a source folder is copied as cp -r copies it: into the
// destination folder under its own name when the destination exists, as the
// destination itself when it does not (one source only).
#include "tools/failure.h"
#include "tools/host_files.h"
#include "tools/new_entry.h"
#include "tools/oryx_session.h"
#include "tools/transfer_steps.h"

#include "oryx/oryx.h"
#include "tools/oryx_result.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

namespace kestrel::cli {

namespace {

namespace fs = std::filesystem;

// One step of a put: a device folder to make (unless it exists) or a host
// file to copy into a device folder.
struct PutStep {
    bool folder = false;
    std::string hostPath;
    DevicePath target;  // the device folder, or the device file
    uint64_t size = 0;
};

// One step of a get: a host folder to make, or a device file to copy.
struct GetStep {
    bool folder = false;
    std::string hostPath;
    DevicePath source;
    uint64_t size = 0;
};

// Names in a fixed order, so that runs and their messages repeat.
std::vector<fs::path> sortedChildren(const std::string& folder) {
    std::vector<fs::path> children;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(folder), error), end; !error && it != end; it.increment(error)) {
        children.push_back(it->path());
    }
    if (error) fail("cannot read the folder " + folder + ": " + error.message());
    std::sort(children.begin(), children.end());
    return children;
}

DevicePath deviceChild(const DevicePath& folder, const std::string& hostName) {
    std::string error;
    const auto named = parseDevicePath(hostName, &error);
    if (!named || named->components().size() != 1) fail("the host name '" + hostName + "' cannot name a device file: " + error);
    return folder.child(hostName);
}

void planPutTree(const std::string& hostFolder, const DevicePath& target, std::vector<PutStep>& steps, int depth) {
    if (depth > 64) fail("the folder " + hostFolder + " lies too deep");
    steps.push_back({true, hostFolder, target, 0});
    for (const auto& child : sortedChildren(hostFolder)) {
        const std::string path = child.string();
        const DevicePath into = deviceChild(target, child.filename().string());
        if (isHostDirectory(path)) {
            planPutTree(path, into, steps, depth + 1);
        } else {
            steps.push_back({false, path, into, hostFileSize(path)});
        }
    }
}

void makeDeviceFolder(DeviceTree& tree, const DevicePath& path) {
    const ResolvedPath target = tree.resolve(path);
    if (target.exists()) {
        if (!target.isDirectory()) fail(path.text() + " exists and is not a directory");
        return;
    }
    const DevicePath parentPath(std::vector<std::string>(path.components().begin(), path.components().end() - 1));
    NewEntry entry(tree, tree.resolveExisting(parentPath), path.name());
    checkOryx(mt_smCreateDir(entry.createPath().c_str(), 0), "cannot make " + path.text());
    entry.name(entry.locate());
}

void planGetTree(DeviceTree& tree, const ResolvedPath& folder, const std::string& hostFolder, std::vector<GetStep>& steps,
                 int depth) {
    if (depth > 64) fail(folder.path.text() + " lies too deep");
    steps.push_back({true, hostFolder, folder.path, 0});
    for (const auto& entry : tree.list(folder.oryxPath(), folder.path.text())) {
        const std::string name = hostNameOf(entry);
        const DevicePath child = folder.path.child(entry.displayName());
        const std::string hostPath = joinHostPath(hostFolder, name);
        if (entry.isDirectory()) {
            ResolvedPath sub = folder;
            sub.path = child;
            sub.shortNames.push_back(entry.shortName);
            sub.entry = entry;
            planGetTree(tree, sub, hostPath, steps, depth + 1);
        } else {
            steps.push_back({false, hostPath, child, entry.stat.size});
        }
    }
}

void makeHostFolder(const std::string& path) {
    std::error_code error;
    if (isHostDirectory(path)) return;
    if (!fs::create_directory(fs::path(path), error)) fail("cannot make the folder " + path + ": " + error.message());
}

// Runs `action` for every step; failures (also of names that a new entry
// cannot take) are reported and counted, as for the arguments of a
// command.
template <typename Step, typename Action>
int forEachStep(const CommandContext& context, ProgressBar& bar, const std::vector<Step>& steps, Action&& action) {
    int code = EXIT_OK;
    for (const auto& step : steps) {
        try {
            action(step);
        } catch (const Failure& failure) {
            // A name that cannot be used is the failure of its own file.
            if (failure.exitCode() != EXIT_FAILED && failure.exitCode() != EXIT_USAGE) throw;
            bar.breakLine();
            reportFailure(context, failure.what());
            code = EXIT_FAILED;
        }
    }
    return code;
}

// The files one command has written so far, by target: a second source for
// the same target is refused (as cp refuses to overwrite a file it has just
// made), so that no file copied by the command is replaced by the next.
class WrittenTargets {
public:
    // Notes `target` as written from `source`; fails when it was already.
    void claim(const std::string& key, const std::string& target, const std::string& source) {
        const auto [at, fresh] = sources_.emplace(key, source);
        if (!fresh) fail("will not overwrite " + target + ", just copied from " + at->second + ", with " + source);
    }

private:
    std::map<std::string, std::string> sources_;
};

template <typename Step>
uint64_t totalBytes(const std::vector<Step>& steps) {
    uint64_t total = 0;
    for (const auto& step : steps) total += step.size;
    return total;
}

}  // namespace

int putMany(CommandContext& context) {
    const auto& args = context.args.positional();
    const bool recursive = context.args.flag("-r");
    if (args.size() < 2) usageError("give the device folder to copy into");
    DeviceTree tree;
    const DevicePath destination = devicePathArgument(args.back());
    const ResolvedPath into = tree.resolve(destination);
    const bool intoFolder = into.isDirectory();
    if (!intoFolder && (args.size() > 2 || !recursive)) fail(destination.text() + " is not a directory");
    if (into.exists() && !intoFolder) fail(destination.text() + " is not a directory");

    std::vector<PutStep> steps;
    const std::vector<std::string> sources(args.begin(), args.end() - 1);
    const int code = forEachText(
        sources,
        [&](const std::string& host) {
            const bool folder = isHostDirectory(host);
            if (folder && !recursive) fail(host + " is a folder (put -r copies folders)");
            if (!folder) {
                steps.push_back({false, host, deviceChild(destination, hostBaseName(host)), hostFileSize(host)});
                return;
            }
            planPutTree(host, intoFolder ? deviceChild(destination, hostBaseName(host)) : destination, steps, 0);
        },
        [&](const std::string& message) { reportFailure(context, message); });

    ProgressBar bar(context.err, "put", totalBytes(steps), context.progress);
    uint64_t done = 0;
    WrittenTargets written;
    // The new files' entries and FAT changes reach the card together at the
    // end (folders, replacements and clean-ups write them out before they
    // run).
    OryxBatch batch;
    const int stepsCode = forEachStep(context, bar, steps, [&](const PutStep& step) {
        if (step.folder) {
            makeDeviceFolder(tree, step.target);
            return;
        }
        // Device names are found without regard to case.
        written.claim(upperAscii(step.target.text()), step.target.text(), step.hostPath);
        bar.setLabel("put " + step.target.text());
        const uint64_t base = done;
        done += step.size;
        putOneFile(tree, step.hostPath, hostFileSize(step.hostPath), tree.resolve(step.target), {bar, base});
        bar.update(done);
    });
    batch.end();
    bar.finish();
    return code != EXIT_OK ? code : stepsCode;
}

int getMany(CommandContext& context) {
    const auto& args = context.args.positional();
    const bool recursive = context.args.flag("-r");
    if (args.size() < 2) usageError("give the host folder to copy into");
    const std::string hostFolder = args.back();
    const bool intoFolder = isHostDirectory(hostFolder);
    if (!intoFolder && (args.size() > 2 || !recursive)) fail(hostFolder + " is not a folder");
    DeviceTree tree;

    std::vector<GetStep> steps;
    const std::vector<std::string> sources(args.begin(), args.end() - 1);
    const int code = forEachText(
        sources,
        [&](const std::string& text) {
            const ResolvedPath source = tree.resolveExisting(devicePathArgument(text));
            if (!source.isDirectory()) {
                steps.push_back({false, joinHostPath(hostFolder, hostNameOf(*source.entry)), source.path,
                                 source.entry->stat.size});
                return;
            }
            if (!recursive) fail(source.path.text() + " is a directory (get -r copies directories)");
            const std::string name = source.isRoot() ? std::string() : hostNameOf(*source.entry);
            const std::string target = intoFolder && !name.empty() ? joinHostPath(hostFolder, name) : hostFolder;
            planGetTree(tree, source, target, steps, 0);
        },
        [&](const std::string& message) { reportFailure(context, message); });

    ProgressBar bar(context.err, "get", totalBytes(steps), context.progress);
    uint64_t done = 0;
    WrittenTargets written;
    const int stepsCode = forEachStep(context, bar, steps, [&](const GetStep& step) {
        if (step.folder) {
            makeHostFolder(step.hostPath);
            return;
        }
        written.claim(step.hostPath, step.hostPath, step.source.text());
        bar.setLabel("get " + step.source.text());
        const uint64_t base = done;
        done += step.size;
        getOneFile(tree.resolveExisting(step.source), step.hostPath, {bar, base});
        bar.update(done);
    });
    bar.finish();
    return code != EXIT_OK ? code : stepsCode;
}

}  // namespace kestrel::cli
