#include "tools/remote_device.h"

#include "tools/failure.h"

#include <cstdio>

namespace kestrel::cli {

namespace {

bool isDotEntry(const std::string& name) { return name == "." || name == ".."; }

RemoteEntry entryOf(const filex::FilexDirEntry& record) {
    const bool directory = record.isDirectory();
    return {record.name(), directory, directory ? 0 : record.fileSize(), record.dosTime(), record.dosDate()};
}

// A folder handle of the device, closed when it goes out of scope.
class RemoteFolder {
public:
    RemoteFolder(filex::FilexClient& client, const std::string& path)
        : client_(client), handle_(client.opendir(path.c_str())) {}
    ~RemoteFolder() {
        if (handle_ != 0) (void)client_.closedir(handle_);
    }
    RemoteFolder(const RemoteFolder&) = delete;
    RemoteFolder& operator=(const RemoteFolder&) = delete;

    bool open() const { return handle_ != 0; }
    // The next entry; false at the end.
    bool next(filex::FilexDirEntry& record) { return client_.readdir(handle_, &record) != 0; }

private:
    filex::FilexClient& client_;
    int32_t handle_;
};

}  // namespace

RemoteDevice::RemoteDevice() : client_(filex::FilexNames{}, false) {
    if (!client_.link().OpenUSB()) {
        fail("cannot reach the device's file server (is the device connected?)");
    }
}

std::vector<RemoteEntry> RemoteDevice::list(const DevicePath& folder) {
    RemoteFolder handle(client_, folder.text());
    if (!handle.open()) fail("cannot list " + folder.text());
    std::vector<RemoteEntry> entries;
    filex::FilexDirEntry record;
    while (handle.next(record)) {
        const std::string name = record.name();
        if (isDotEntry(name) || (record.attributes() & filex::ATTR_VOLUME_LABEL) != 0) continue;
        entries.push_back(entryOf(record));
    }
    return entries;
}

std::optional<RemoteEntry> RemoteDevice::find(const DevicePath& path) {
    if (path.isRoot()) return RemoteEntry{"/", true};
    const DevicePath parent(std::vector<std::string>(path.components().begin(), path.components().end() - 1));
    if (RemoteFolder folder(client_, parent.text()); folder.open()) {
        filex::FilexDirEntry record;
        while (folder.next(record)) {
            if (!equalsIgnoringCase(record.name(), path.name()) || isDotEntry(record.name())) continue;
            return entryOf(record);
        }
    }
    // Not listed under that name: the server may know it by another one
    // (a short name for a long one).
    if (RemoteFolder folder(client_, path.text()); folder.open()) return RemoteEntry{path.name(), true};
    const int32_t fd = client_.open(path.text().c_str(), REMOTE_READ);
    if (fd == 0 || fd == -1) return std::nullopt;
    filex::FilexStat stat;
    const bool known = client_.fstat(fd, &stat) == 0;
    (void)client_.close(fd);
    return known ? std::optional<RemoteEntry>(RemoteEntry{path.name(), false, stat.fileSize()}) : std::nullopt;
}

RemoteFile::RemoteFile(filex::FilexClient& client, const DevicePath& path, int32_t flags)
    : client_(client), shown_(path.text()), fd_(client.open(shown_.c_str(), flags)) {
    if (fd_ == 0 || fd_ == -1) {
        open_ = false;
        fail(std::string("cannot open ") + shown_ + (flags == REMOTE_READ ? "" : " for writing"));
    }
}

RemoteFile::~RemoteFile() {
    if (open_) (void)client_.close(fd_);
}

uint32_t RemoteFile::size() {
    filex::FilexStat stat;
    if (client_.fstat(fd_, &stat) != 0) fail("cannot read the size of " + shown_);
    return stat.fileSize();
}

uint32_t RemoteFile::read(uint8_t* data, uint32_t length) {
    const int32_t n = client_.read(fd_, data, length);
    if (n < 0 || static_cast<uint32_t>(n) > length) fail("cannot read " + shown_);
    return static_cast<uint32_t>(n);
}

void RemoteFile::write(const uint8_t* data, uint32_t length) {
    const int32_t n = client_.write(fd_, data, length);
    if (n != static_cast<int32_t>(length)) fail("cannot write " + shown_ + " (is the device full?)");
}

void RemoteFile::close() {
    open_ = false;
    if (client_.close(fd_) != 0) fail("cannot close " + shown_);
}

std::string dosTimeText(uint16_t dosDate, uint16_t dosTime) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (dosDate >> 9), (dosDate >> 5) & 15u,
                  dosDate & 31u, dosTime >> 11, (dosTime >> 5) & 63u, (dosTime & 31u) * 2);
    return text;
}

}  // namespace kestrel::cli
