#include "tests/shellext/memory_device.h"

#include "tests/shellext/scripted_device.h"

#include <algorithm>
#include <cstring>

namespace kestrel::shellext::test {

namespace {

constexpr int32_t WRITE_ACCESS = 0x3;
constexpr int32_t CREATE = 0x200;
constexpr int32_t APPEND = 0x8;
constexpr int32_t WRITE_ONLY = 0x1;
constexpr uint16_t SOME_TIME = (12 << 11) | (34 << 5) | (56 / 2);
constexpr uint16_t SOME_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17;

}  // namespace

MemoryDevice::MemoryDevice() { nodes_["/"].folder = true; }

std::string MemoryDevice::resolved(const char* path) {
    std::vector<std::string> names;
    const std::string text = path;
    size_t start = 0;
    while (start <= text.size()) {
        size_t slash = text.find('/', start);
        if (slash == std::string::npos) slash = text.size();
        const std::string name = text.substr(start, slash - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& name : names) result += "/" + name;
    return result.empty() ? "/" : result;
}

std::string MemoryDevice::parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

void MemoryDevice::put(const std::string& path, const std::string& contents) {
    putBytes(path, std::vector<uint8_t>(contents.begin(), contents.end()));
}

void MemoryDevice::putBytes(const std::string& path, std::vector<uint8_t> contents) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        nodes_[path.substr(0, slash)].folder = true;
    if (path.back() == '/') return;
    nodes_[path] = Node{false, std::move(contents)};
}

bool MemoryDevice::isFolder(const std::string& path) const {
    const auto found = nodes_.find(path);
    return found != nodes_.end() && found->second.folder;
}

std::vector<uint8_t> MemoryDevice::bytes(const std::string& path) const {
    const auto found = nodes_.find(path);
    return found == nodes_.end() ? std::vector<uint8_t>{} : found->second.data;
}

std::string MemoryDevice::text(const std::string& path) const {
    const auto data = bytes(path);
    return std::string(data.begin(), data.end());
}

std::vector<std::string> MemoryDevice::paths() const {
    std::vector<std::string> all;
    for (const auto& [path, node] : nodes_)
        if (path != "/") all.push_back(node.folder ? path + "/" : path);
    return all;
}

std::vector<std::string> MemoryDevice::childrenOf(const std::string& folder) const {
    std::vector<std::string> children;
    for (const auto& [path, node] : nodes_)
        if (path != "/" && parentOf(path) == folder) children.push_back(path);
    return children;
}

int32_t MemoryDevice::open(const char* given, int32_t flags) {
    if (given == nullptr) return -1;
    opens_.emplace_back(given, flags);
    const std::string resolvedPath = resolved(given);
    const char* path = resolvedPath.c_str();
    auto found = nodes_.find(path);
    if (found == nodes_.end()) {
        if (!(flags & CREATE) || !isFolder(parentOf(path))) return -1;
        found = nodes_.emplace(path, Node{}).first;
    }
    if (found->second.folder) return -1;
    // Write-only with create (0x201) replaces what the file held.
    if ((flags & WRITE_ACCESS) == WRITE_ONLY && (flags & CREATE) && !(flags & APPEND)) found->second.data.clear();
    const int32_t fd = nextHandle_++;
    files_[fd] = OpenFile{path, 0, (flags & WRITE_ACCESS) != 0};
    return fd;
}

int32_t MemoryDevice::fstat(int32_t fd, filex::FilexStat* record) {
    const auto file = files_.find(fd);
    if (file == files_.end() || record == nullptr) return -1;
    record->setFileSize(static_cast<uint32_t>(nodes_[file->second.path].data.size()));
    return 0;
}

int32_t MemoryDevice::read(int32_t fd, void* buffer, uint32_t length) {
    const auto file = files_.find(fd);
    if (file == files_.end() || buffer == nullptr || length > 65408) return 0;
    if (failReads.count(file->second.path)) return -1;
    const auto& data = nodes_[file->second.path].data;
    const uint32_t position = std::min<uint32_t>(file->second.position, static_cast<uint32_t>(data.size()));
    const uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(data.size()) - position);
    std::memcpy(buffer, data.data() + position, count);
    file->second.position = position + count;
    return static_cast<int32_t>(count);
}

int32_t MemoryDevice::lseek(int32_t fd, int32_t offset, int32_t origin) {
    const auto file = files_.find(fd);
    if (file == files_.end()) return -1;
    const int64_t base = origin == 0   ? 0
                         : origin == 1 ? file->second.position
                                       : static_cast<int64_t>(nodes_[file->second.path].data.size());
    if (base + offset < 0) return -1;
    file->second.position = static_cast<uint32_t>(base + offset);
    return static_cast<int32_t>(file->second.position);
}

int32_t MemoryDevice::write(int32_t fd, const void* buffer, uint32_t length) {
    const auto file = files_.find(fd);
    if (file == files_.end() || !file->second.writable || buffer == nullptr || length > 65408) return 0;
    writes_.push_back(Write{file->second.path, length});
    auto& data = nodes_[file->second.path].data;
    const uint32_t position = file->second.position;
    if (writesLeft == 0) return -1;
    if (const auto limit = sizeLimit.find(file->second.path); limit != sizeLimit.end() && position + length > limit->second)
        return -1;
    if (writesLeft > 0) --writesLeft;
    if (data.size() < position + length) data.resize(position + length);
    std::memcpy(data.data() + position, buffer, length);
    file->second.position = position + length;
    return static_cast<int32_t>(length);
}

int32_t MemoryDevice::close(int32_t fd) { return files_.erase(fd) == 1 ? 0 : -1; }

int32_t MemoryDevice::unlink(const char* given) {
    if (given == nullptr) return -1;
    const std::string resolvedPath = resolved(given);
    const char* path = resolvedPath.c_str();
    if ( refuseUnlink.count(path) || !exists(path) || isFolder(path)) return -1;
    nodes_.erase(path);
    return 0;
}

int32_t MemoryDevice::mkdir(const char* given, int32_t) {
    if (given == nullptr) return -1;
    const std::string resolvedPath = resolved(given);
    const char* path = resolvedPath.c_str();
    if ( exists(path) || !isFolder(parentOf(path))) return -1;
    nodes_[path].folder = true;
    return 0;
}

int32_t MemoryDevice::rmdir(const char* given) {
    if (given == nullptr) return -1;
    const std::string resolvedPath = resolved(given);
    const char* path = resolvedPath.c_str();
    if (resolvedPath == "/" || refuseRmdir.count(path) || !isFolder(path) || !childrenOf(path).empty()) return -1;
    nodes_.erase(path);
    return 0;
}

int32_t MemoryDevice::opendir(const char* given) {
    if (given == nullptr) return 0;
    const std::string resolvedPath = resolved(given);
    const char* path = resolvedPath.c_str();
    if (!isFolder(path)) return 0;
    Listing listing;
    const std::string folder = path;
    if (folder != "/") {
        listing.entries.push_back(folderEntry("."));
        listing.entries.push_back(folderEntry(".."));
    } else {
        listing.entries.push_back(directoryEntry("KESTREL", filex::ATTR_VOLUME_LABEL));
    }
    for (const std::string& child : childrenOf(folder)) {
        const Node& node = nodes_[child];
        const std::string name = child.substr(child.rfind('/') + 1);
        listing.entries.push_back(node.folder ? directoryEntry(name, filex::ATTR_DIRECTORY, 0, SOME_TIME, SOME_DATE)
                                              : directoryEntry(name, filex::ATTR_ARCHIVE,
                                                               static_cast<uint32_t>(node.data.size()), SOME_TIME,
                                                               SOME_DATE));
    }
    if (const auto extra = extra_.find(folder); extra != extra_.end())
        listing.entries.insert(listing.entries.end(), extra->second.begin(), extra->second.end());
    const int32_t handle = nextHandle_++;
    listings_[handle] = std::move(listing);
    return handle;
}

int32_t MemoryDevice::readdir(int32_t dir, filex::FilexDirEntry* record) {
    const auto listing = listings_.find(dir);
    if (listing == listings_.end() || record == nullptr) return 0;
    if (listing->second.next >= listing->second.entries.size()) return 0;
    *record = listing->second.entries[listing->second.next++];
    return 1;
}

int32_t MemoryDevice::closedir(int32_t dir) { return listings_.erase(dir) == 1 ? 0 : -1; }

}  // namespace kestrel::shellext::test
