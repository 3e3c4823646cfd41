// What the mount answers, free of the FUSE interface: operations named as
// the file-system calls programs make, on "/"-separated paths and on
// handles of open files, with 0, a count or a negated errno as result.
// One lock serialises everything, since FUSE calls come from several
// threads and a device session serves one caller at a time.
//
// A device that is lost (backend.h) turns every later operation into EIO;
// shutdown() still ends cleanly.
#pragma once

#include "mount/backend.h"
#include "mount/open_file.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrel::mount {

struct Attributes {
    bool directory = false;
    bool readOnly = false;
    uint64_t size = 0;
    std::time_t changed = 0;
};

struct ListedEntry {
    std::string name;
    Attributes attributes;
};

// Times as utimens passes them: a calendar time, now, or left alone.
struct TimeChange {
    enum class Kind { Leave, Now, At } kind = Kind::Leave;
    std::time_t when = 0;
};

class MountedVolume {
public:
    explicit MountedVolume(std::unique_ptr<Backend> backend);
    // Commits and closes what is still open (shutdown()).
    ~MountedVolume();
    MountedVolume(const MountedVolume&) = delete;
    MountedVolume& operator=(const MountedVolume&) = delete;

    int32_t getattr(const std::string& path, Attributes& attributes);
    int32_t readdir(const std::string& path, std::vector<ListedEntry>& entries);
    // Opens an existing file. `truncate` empties it (O_TRUNC).
    int32_t open(const std::string& path, bool forWriting, bool truncate, uint64_t& handle);
    // Creates a file (or empties one of that name) and opens it.
    int32_t create(const std::string& path, uint64_t& handle);
    int32_t read(uint64_t handle, uint64_t offset, uint8_t* data, uint32_t length);
    int32_t write(uint64_t handle, uint64_t offset, const uint8_t* data, uint32_t length);
    // By handle when `handle` is non-zero, else by path.
    int32_t truncate(const std::string& path, uint64_t handle, uint64_t size);
    int32_t flush(uint64_t handle);
    int32_t fsync(uint64_t handle);
    int32_t release(uint64_t handle);
    int32_t unlink(const std::string& path);
    int32_t mkdir(const std::string& path);
    int32_t rmdir(const std::string& path);
    // `noReplace`: fail with EEXIST rather than replace a target.
    int32_t rename(const std::string& from, const std::string& to, bool noReplace);
    int32_t utimens(const std::string& path, TimeChange modified);
    // The write bit of `mode` is the entry's read-only attribute.
    int32_t chmod(const std::string& path, uint32_t mode);
    int32_t statfs(VolumeSpace& space);

    // Commits every open file and closes it; later calls answer EIO.
    // The first failure, 0 when all went well.
    int32_t shutdown();
    size_t openFiles() const;

private:
    using Lock = std::lock_guard<std::mutex>;

    // -EIO once the device is gone or the volume shut down.
    int32_t unusable() const;
    // unusable(), then `text` split into `path`: what every call by path
    // does first.
    int32_t usablePath(const std::string& text, NodePath& path) const;
    std::shared_ptr<OpenFile> openFileAt(const NodePath& path) const;
    std::shared_ptr<OpenFile> handleFile(uint64_t handle) const;
    uint64_t addHandle(const std::shared_ptr<OpenFile>& file);
    // Commits the open files at or below `path`.
    int32_t commitWithin(const NodePath& path);
    int32_t moveEntry(const NodePath& from, const NodePath& to);
    int32_t replaceEntry(const NodePath& from, const NodePath& to, const NodeInfo& target);
    Attributes attributesOf(const NodeInfo& info) const;

    mutable std::mutex mutex_;
    std::unique_ptr<Backend> backend_;
    std::map<uint64_t, std::shared_ptr<OpenFile>> handles_;
    std::vector<std::shared_ptr<OpenFile>> files_;  // open files with their entry on the card
    uint64_t nextHandle_ = 1;
    bool down_ = false;
};

}  // namespace kestrel::mount
