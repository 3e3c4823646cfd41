#include "mount/filex_backend.h"

#include "mount/names.h"

#include <algorithm>
#include <cerrno>

namespace kestrel::mount {

namespace {

constexpr int32_t OPEN_READ = 0;
constexpr int32_t OPEN_REPLACE = 0x201;  // write-only, created or emptied
constexpr int32_t SEEK_START = 0;
constexpr uint32_t BLOCK = 61440;        // within the client's 65,408-byte limit

std::string wirePath(const NodePath& path) { return pathText(path); }

NodeInfo infoOf(const filex::FilexDirEntry& record) {
    NodeInfo info;
    info.directory = record.isDirectory();
    info.readOnly = (record.attributes() & filex::ATTR_READ_ONLY) != 0;
    info.size = info.directory ? 0 : record.fileSize();
    info.dosDate = record.dosDate();
    info.dosTime = record.dosTime();
    return info;
}

class FilexReader : public FileReader {
public:
    FilexReader(FilexBackend& backend, int32_t fd) : backend_(backend), fd_(fd) {}
    ~FilexReader() override { (void)backend_.client().close(fd_); }

    int32_t read(uint64_t offset, uint8_t* data, uint32_t length) override {
        if (offset > INT32_MAX) return 0;
        if (offset != position_) {
            if (backend_.client().lseek(fd_, static_cast<int32_t>(offset), SEEK_START) < 0) {
                position_ = UINT64_MAX;
                return backend_.failure(-EIO);
            }
            position_ = offset;
        }
        uint32_t total = 0;
        while (total < length) {
            const uint32_t piece = std::min(BLOCK, length - total);
            const int32_t got = backend_.client().read(fd_, data + total, piece);
            if (got < 0 || !backend_.client().lastExchangeCompleted()) {
                position_ = UINT64_MAX;
                return backend_.failure(-EIO);
            }
            total += static_cast<uint32_t>(got);
            position_ += static_cast<uint32_t>(got);
            if (static_cast<uint32_t>(got) < piece) break;
        }
        return static_cast<int32_t>(total);
    }

private:
    FilexBackend& backend_;
    int32_t fd_;
    uint64_t position_ = 0;
};

class FilexWriter : public FileWriter {
public:
    FilexWriter(FilexBackend& backend, int32_t fd) : backend_(backend), fd_(fd) {}
    ~FilexWriter() override {
        if (open_) (void)backend_.client().close(fd_);
    }

    int32_t write(const uint8_t* data, uint32_t length) override {
        if (!open_) return -EBADF;
        for (uint32_t done = 0; done < length;) {
            const uint32_t piece = std::min(BLOCK, length - done);
            const int32_t wrote = backend_.client().write(fd_, data + done, piece);
            if (wrote != static_cast<int32_t>(piece)) return backend_.failure(-ENOSPC);
            done += piece;
        }
        return 0;
    }

    int32_t sync() override {
        if (!open_) return -EBADF;
        return backend_.client().fsync(fd_) == 0 ? 0 : backend_.failure(-EIO);
    }

    int32_t finish() override {
        if (!open_) return -EBADF;
        open_ = false;
        return backend_.client().close(fd_) == 0 ? 0 : backend_.failure(-EIO);
    }

private:
    FilexBackend& backend_;
    int32_t fd_;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<FilexBackend> FilexBackend::start(std::string& error) {
    std::unique_ptr<FilexBackend> backend(new FilexBackend());
    if (!backend->client_.link().OpenUSB()) {
        error = "cannot reach the device's file server (is the device connected?)";
        return nullptr;
    }
    return backend;
}

int32_t FilexBackend::failure(int32_t refused) {
    if (client_.lastExchangeCompleted()) return refused;
    lost_ = true;
    return -EIO;
}

int32_t FilexBackend::list(const NodePath& path, std::vector<DirItem>& items) {
    items.clear();
    const int32_t handle = client_.opendir(wirePath(path).c_str());
    if (handle == 0) {
        if (!client_.lastExchangeCompleted()) return failure(-EIO);
        NodeInfo info;
        const int32_t found = path.empty() ? -ENOENT : stat(path, info);
        return found != 0 ? found : info.directory ? -EIO : -ENOTDIR;
    }
    filex::FilexDirEntry record;
    int32_t result = 0;
    while (client_.readdir(handle, &record) != 0) {
        record.terminateName();
        const std::string name = record.name();
        if (name == "." || name == ".." || (record.attributes() & filex::ATTR_VOLUME_LABEL) != 0) continue;
        items.push_back({name, infoOf(record)});
    }
    if (!client_.lastExchangeCompleted()) result = failure(-EIO);
    (void)client_.closedir(handle);
    return result;
}

int32_t FilexBackend::stat(const NodePath& path, NodeInfo& info) {
    if (path.empty()) {
        info = NodeInfo{true, false, 0, 0, 0};
        return 0;
    }
    std::vector<DirItem> items;
    const int32_t listed = list(NodePath(path.begin(), path.end() - 1), items);
    if (listed != 0) return listed == -ENOTDIR ? -ENOTDIR : listed;
    for (const auto& item : items) {
        if (sameName(item.name, path.back())) {
            info = item.info;
            return 0;
        }
    }
    return -ENOENT;
}

int32_t FilexBackend::checkPlace(const NodePath& path) {
    if (path.empty()) return -EEXIST;
    if (const int32_t result = checkNewName(path.back())) return result;
    NodeInfo info;
    const int32_t found = stat(path, info);
    if (found == 0) return -EEXIST;
    return found;  // -ENOENT when the parent is there and the name free
}

int32_t FilexBackend::openRead(const NodePath& path, std::unique_ptr<FileReader>& reader) {
    NodeInfo info;
    if (const int32_t result = stat(path, info)) return result;
    if (info.directory) return -EISDIR;
    const int32_t fd = client_.open(wirePath(path).c_str(), OPEN_READ);
    if (fd == -1 || fd == 0) return failure(-EACCES);
    reader = std::make_unique<FilexReader>(*this, fd);
    return 0;
}

int32_t FilexBackend::openWrite(const NodePath& path, std::unique_ptr<FileWriter>& writer) {
    NodeInfo info;
    const int32_t found = stat(path, info);
    if (found == 0 && info.directory) return -EISDIR;
    if (found != 0) {
        const int32_t free = checkPlace(path);
        if (free != -ENOENT) return free;
    }
    const int32_t fd = client_.open(wirePath(path).c_str(), OPEN_REPLACE);
    if (fd == -1 || fd == 0) return failure(info.readOnly ? -EACCES : -ENOSPC);
    writer = std::make_unique<FilexWriter>(*this, fd);
    return 0;
}

int32_t FilexBackend::removeFile(const NodePath& path) {
    NodeInfo info;
    if (const int32_t result = stat(path, info)) return result;
    if (info.directory) return -EISDIR;
    return client_.unlink(wirePath(path).c_str()) == 0 ? 0 : failure(-EACCES);
}

int32_t FilexBackend::makeDirectory(const NodePath& path) {
    const int32_t free = checkPlace(path);
    if (free != -ENOENT) return free;
    return client_.mkdir(wirePath(path).c_str(), 0) == 0 ? 0 : failure(-ENOSPC);
}

int32_t FilexBackend::removeDirectory(const NodePath& path) {
    if (path.empty()) return -EBUSY;
    NodeInfo info;
    if (const int32_t result = stat(path, info)) return result;
    if (!info.directory) return -ENOTDIR;
    std::vector<DirItem> inside;
    if (const int32_t result = list(path, inside)) return result;
    if (!inside.empty()) return -ENOTEMPTY;
    return client_.rmdir(wirePath(path).c_str()) == 0 ? 0 : failure(-EACCES);
}

// The file server has no rename: EXDEV lets mv, rsync and file managers
// copy and delete instead.
int32_t FilexBackend::rename(const NodePath&, const NodePath&) { return -EXDEV; }
int32_t FilexBackend::setTime(const NodePath&, uint16_t, uint16_t) { return -EPERM; }
int32_t FilexBackend::setReadOnly(const NodePath&, bool) { return -EPERM; }
int32_t FilexBackend::space(VolumeSpace&) { return -ENOSYS; }

}  // namespace kestrel::mount
