#include "mount/mounted_volume.h"

#include "mount/dos_time.h"
#include "mount/names.h"

#include <cerrno>

namespace kestrel::mount {

namespace {

constexpr uint32_t WRITE_BIT = 0200;
constexpr const char* ASIDE_PREFIX = ".kestrel-replaced-";

NodePath childOf(const NodePath& parent, const std::string& name) {
    NodePath path = parent;
    path.push_back(name);
    return path;
}

// `path` with its leading `from` part replaced by `to`.
NodePath rebased(const NodePath& path, const NodePath& from, const NodePath& to) {
    NodePath moved = to;
    moved.insert(moved.end(), path.begin() + static_cast<std::ptrdiff_t>(from.size()), path.end());
    return moved;
}

}  // namespace

MountedVolume::MountedVolume(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

MountedVolume::~MountedVolume() { (void)shutdown(); }

int32_t MountedVolume::unusable() const { return down_ || backend_->deviceLost() ? -EIO : 0; }

int32_t MountedVolume::usablePath(const std::string& text, NodePath& path) const {
    if (const int32_t result = unusable()) return result;
    return splitPath(text, path);
}

std::shared_ptr<OpenFile> MountedVolume::openFileAt(const NodePath& path) const {
    for (const auto& file : files_) {
        if (samePath(file->path(), path)) return file;
    }
    return nullptr;
}

std::shared_ptr<OpenFile> MountedVolume::handleFile(uint64_t handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? nullptr : found->second;
}

uint64_t MountedVolume::addHandle(const std::shared_ptr<OpenFile>& file) {
    const uint64_t handle = nextHandle_++;
    handles_[handle] = file;
    return handle;
}

Attributes MountedVolume::attributesOf(const NodeInfo& info) const {
    return {info.directory, info.readOnly, info.size, calendarTimeOf({info.dosDate, info.dosTime})};
}

size_t MountedVolume::openFiles() const {
    Lock lock(mutex_);
    return handles_.size();
}

int32_t MountedVolume::getattr(const std::string& text, Attributes& attributes) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    NodeInfo info;
    if (const int32_t result = backend_->stat(path, info)) return result;
    attributes = attributesOf(info);
    if (const auto file = openFileAt(path)) attributes.size = file->size();
    return 0;
}

int32_t MountedVolume::readdir(const std::string& text, std::vector<ListedEntry>& entries) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    std::vector<DirItem> items;
    if (const int32_t result = backend_->list(path, items)) return result;
    entries.clear();
    for (const auto& item : items) {
        ListedEntry entry{item.name, attributesOf(item.info)};
        if (const auto file = openFileAt(childOf(path, item.name))) entry.attributes.size = file->size();
        entries.push_back(std::move(entry));
    }
    return 0;
}

int32_t MountedVolume::open(const std::string& text, bool forWriting, bool truncate, uint64_t& handle) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    NodeInfo info;
    if (const int32_t result = backend_->stat(path, info)) return result;
    if (info.directory) return -EISDIR;
    if (forWriting && info.readOnly) return -EACCES;
    auto file = openFileAt(path);
    if (!file) {
        file = std::make_shared<OpenFile>(*backend_, path, info.size);
        files_.push_back(file);
    }
    if (forWriting && truncate) {
        if (const int32_t result = file->truncate(0)) {
            if (file.use_count() == 2) std::erase(files_, file);  // nobody else holds it
            return result;
        }
    }
    handle = addHandle(file);
    return 0;
}

int32_t MountedVolume::create(const std::string& text, uint64_t& handle) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    if (path.empty()) return -EISDIR;
    if (const int32_t result = checkNewName(path.back())) return result;
    if (auto file = openFileAt(path)) {
        if (const int32_t result = file->truncate(0)) return result;
        handle = addHandle(file);
        return 0;
    }
    NodeInfo info;
    const int32_t found = backend_->stat(path, info);
    if (found == 0 && info.directory) return -EISDIR;
    if (found == 0 && info.readOnly) return -EACCES;
    if (found != 0 && found != -ENOENT) return found;
    std::unique_ptr<FileWriter> writer;
    if (const int32_t result = backend_->openWrite(path, writer)) return result;
    auto file = std::make_shared<OpenFile>(*backend_, path, 0);
    file->adoptWriter(std::move(writer));
    files_.push_back(file);
    handle = addHandle(file);
    return 0;
}

int32_t MountedVolume::read(uint64_t handle, uint64_t offset, uint8_t* data, uint32_t length) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    const auto file = handleFile(handle);
    if (!file) return -EBADF;
    return file->read(offset, data, length);
}

int32_t MountedVolume::write(uint64_t handle, uint64_t offset, const uint8_t* data, uint32_t length) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    const auto file = handleFile(handle);
    if (!file) return -EBADF;
    return file->write(offset, data, length);
}

int32_t MountedVolume::truncate(const std::string& text, uint64_t handle, uint64_t size) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    if (handle != 0) {
        const auto file = handleFile(handle);
        return file ? file->truncate(size) : -EBADF;
    }
    NodePath path;
    if (const int32_t result = splitPath(text, path)) return result;
    if (const auto file = openFileAt(path)) return file->truncate(size);
    NodeInfo info;
    if (const int32_t result = backend_->stat(path, info)) return result;
    if (info.directory) return -EISDIR;
    if (info.readOnly) return -EACCES;
    OpenFile file(*backend_, path, info.size);
    if (const int32_t result = file.truncate(size)) return result;
    return file.commit();
}

int32_t MountedVolume::flush(uint64_t handle) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    const auto file = handleFile(handle);
    return file ? file->commit() : -EBADF;
}

int32_t MountedVolume::fsync(uint64_t handle) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    const auto file = handleFile(handle);
    return file ? file->sync() : -EBADF;
}

int32_t MountedVolume::release(uint64_t handle) {
    Lock lock(mutex_);
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return -EBADF;
    const auto file = found->second;
    handles_.erase(found);
    for (const auto& other : handles_) {
        if (other.second == file) return 0;  // still open through another handle
    }
    std::erase(files_, file);
    const int32_t result = unusable() ? -EIO : file->commit();
    file->drop();
    return result;
}

int32_t MountedVolume::unlink(const std::string& text) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    NodeInfo info;
    if (const int32_t result = backend_->stat(path, info)) return result;
    if (info.directory) return -EISDIR;
    if (const auto file = openFileAt(path)) {
        file->detach();
        std::erase(files_, file);
    }
    return backend_->removeFile(path);
}

int32_t MountedVolume::mkdir(const std::string& text) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    return backend_->makeDirectory(path);
}

int32_t MountedVolume::rmdir(const std::string& text) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    return backend_->removeDirectory(path);
}

int32_t MountedVolume::commitWithin(const NodePath& path) {
    int32_t first = 0;
    for (const auto& file : files_) {
        if (!isWithin(file->path(), path)) continue;
        const int32_t result = file->commit();
        if (first == 0) first = result;
    }
    return first;
}

int32_t MountedVolume::moveEntry(const NodePath& from, const NodePath& to) {
    if (const int32_t result = backend_->rename(from, to)) return result;
    for (const auto& file : files_) {
        if (isWithin(file->path(), from)) file->moveTo(rebased(file->path(), from, to));
    }
    return 0;
}

// The target is moved aside first and removed only once the source has
// taken its name, so that a failure leaves both where they were.
int32_t MountedVolume::replaceEntry(const NodePath& from, const NodePath& to, const NodeInfo& target) {
    if (target.directory) {
        std::vector<DirItem> inside;
        if (const int32_t result = backend_->list(to, inside)) return result;
        if (!inside.empty()) return -ENOTEMPTY;
    }
    NodePath aside = to;
    NodeInfo unused;
    for (uint64_t n = nextHandle_;; ++n) {
        aside.back() = ASIDE_PREFIX + std::to_string(n);
        const int32_t found = backend_->stat(aside, unused);
        if (found == -ENOENT) break;
        if (found != 0) return found;
    }
    if (const int32_t result = commitWithin(to)) return result;
    if (const int32_t result = moveEntry(to, aside)) return result;
    if (const int32_t result = moveEntry(from, to)) {
        (void)moveEntry(aside, to);
        return result;
    }
    if (const auto file = openFileAt(aside)) {
        file->detach();
        std::erase(files_, file);
    }
    return target.directory ? backend_->removeDirectory(aside) : backend_->removeFile(aside);
}

int32_t MountedVolume::rename(const std::string& fromText, const std::string& toText, bool noReplace) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    NodePath from;
    NodePath to;
    if (const int32_t result = splitPath(fromText, from)) return result;
    if (const int32_t result = splitPath(toText, to)) return result;
    if (from.empty() || to.empty()) return -EBUSY;
    if (const int32_t result = checkNewName(to.back())) return result;
    NodeInfo source;
    if (const int32_t result = backend_->stat(from, source)) return result;
    if (samePath(from, to)) {
        if (from.back() == to.back()) return 0;
        // A new case for the same name: by way of a name of its own.
        if (const int32_t result = commitWithin(from)) return result;
        NodePath between = to;
        between.back() = ASIDE_PREFIX + std::string("case");
        if (const int32_t result = moveEntry(from, between)) return result;
        if (const int32_t result = moveEntry(between, to)) {
            (void)moveEntry(between, from);
            return result;
        }
        return 0;
    }
    if (isWithin(to, from)) return -EINVAL;
    NodeInfo target;
    const int32_t found = backend_->stat(to, target);
    if (found != 0 && found != -ENOENT) return found;
    if (const int32_t result = commitWithin(from)) return result;
    if (found == -ENOENT) return moveEntry(from, to);
    if (noReplace) return -EEXIST;
    if (source.directory && !target.directory) return -ENOTDIR;
    if (!source.directory && target.directory) return -EISDIR;
    return replaceEntry(from, to, target);
}

int32_t MountedVolume::utimens(const std::string& text, TimeChange modified) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    if (modified.kind == TimeChange::Kind::Leave) return 0;
    NodePath path;
    if (const int32_t result = splitPath(text, path)) return result;
    DosStamp stamp;
    const std::time_t when = modified.kind == TimeChange::Kind::Now ? std::time(nullptr) : modified.when;
    if (!dosStampOf(when, stamp)) return -EINVAL;
    if (const auto file = openFileAt(path)) {
        if (const int32_t result = file->commit()) return result;
    }
    const int32_t result = backend_->setTime(path, stamp.date, stamp.time);
    if (result != -EPERM) return result;
    // A backend that cannot set times still answers a change to what the
    // entry holds already.
    NodeInfo info;
    if (const int32_t found = backend_->stat(path, info)) return found;
    return info.dosDate == stamp.date && info.dosTime == stamp.time ? 0 : -EPERM;
}

int32_t MountedVolume::chmod(const std::string& text, uint32_t mode) {
    Lock lock(mutex_);
    NodePath path;
    if (const int32_t result = usablePath(text, path)) return result;
    NodeInfo info;
    if (const int32_t result = backend_->stat(path, info)) return result;
    const bool readOnly = (mode & WRITE_BIT) == 0;
    if (info.directory || path.empty()) return readOnly ? -EPERM : 0;
    if (info.readOnly == readOnly) return 0;
    return backend_->setReadOnly(path, readOnly);
}

int32_t MountedVolume::statfs(VolumeSpace& space) {
    Lock lock(mutex_);
    if (const int32_t result = unusable()) return result;
    return backend_->space(space);
}

int32_t MountedVolume::shutdown() {
    Lock lock(mutex_);
    if (down_) return 0;
    int32_t first = 0;
    for (const auto& file : files_) {
        const int32_t result = backend_->deviceLost() ? -EIO : file->commit();
        if (first == 0) first = result;
        file->drop();
    }
    for (const auto& handle : handles_) handle.second->drop();
    files_.clear();
    handles_.clear();
    down_ = true;
    return first;
}

}  // namespace kestrel::mount
