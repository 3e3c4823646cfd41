#include "shellext/host_files.h"

namespace kestrel::shellext {

namespace {

constexpr uint64_t DEVICE_FILE_LIMIT = uint64_t{1} << 32;

// Owner of a FindFirstFile handle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

bool isHostDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    // A path that does not exist reads as INVALID_FILE_ATTRIBUTES, which has
    // the directory bit as well.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<uint64_t> hostFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

uint32_t hostBytes(const std::string& path) {
    if (!isHostDirectory(path)) {
        const uint64_t size = hostFileSize(path).value_or(0);
        return size >= DEVICE_FILE_LIMIT ? 0 : static_cast<uint32_t>(size);
    }
    uint32_t total = 0;
    for (const HostEntry& entry : listHostFolder(path).value_or(std::vector<HostEntry>{}))
        total += hostBytes(path + "\\" + entry.name);
    return total;
}

std::optional<std::vector<HostEntry>> listHostFolder(const std::string& path) {
    WIN32_FIND_DATAA found{};
    const FindHandle find(FindFirstFileA((path + "\\*.*").c_str(), &found));
    if (!find.valid()) return std::nullopt;
    std::vector<HostEntry> entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        entries.push_back(HostEntry{name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(find.get(), &found));
    return entries;
}

platform::win32::UniqueHandle openHostFile(const std::string& path) {
    return platform::win32::UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::vector<std::string> droppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileA(drop, i, nullptr, 0);
        std::string path(length + 1, '\0');
        const UINT got = DragQueryFileA(drop, i, path.data(), length + 1);
        path.resize(got);
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace kestrel::shellext
