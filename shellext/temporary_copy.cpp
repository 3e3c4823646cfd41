#include "shellext/temporary_copy.h"

#include "platform/win32/unique_handle.h"
#include "shellext/device_file_stream.h"
#include "shellext/host_names.h"
#include "shellext/shell_api.h"
#include "shellext/user_messages.h"

#include <cctype>
#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint32_t COPY_CHUNK = 61440;
constexpr int ATTEMPTS = 100;

// A new, empty folder of copies; none on failure.
std::optional<std::string> newTemporaryFolder() {
    const std::optional<std::string> base = temporaryCopiesFolder();
    if (!base) return std::nullopt;
    if (!CreateDirectoryA(base->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        const std::string folder = *base + formatText("\\%08lx-%08lx", GetCurrentProcessId(),
                                                      GetTickCount() + static_cast<DWORD>(attempt));
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

bool isHexDigits(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (i >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// Owner of a device file descriptor.
class OpenDeviceFile {
public:
    OpenDeviceFile(DeviceFiles& device, int32_t fd) : device_(device), fd_(fd) {}
    ~OpenDeviceFile() {
        if (valid()) device_.close(fd_);
    }
    OpenDeviceFile(const OpenDeviceFile&) = delete;
    OpenDeviceFile& operator=(const OpenDeviceFile&) = delete;
    bool valid() const { return fd_ != 0 && fd_ != -1; }
    int32_t get() const { return fd_; }

private:
    DeviceFiles& device_;
    int32_t fd_;
};

// The device file's bytes into the host file; true when all arrived.
bool copyBytes(DeviceFiles& device, int32_t fd, HANDLE host) {
    filex::FilexStat stat;
    if (device.fstat(fd, &stat) != 0) return false;
    const uint32_t size = stat.fileSize();
    std::vector<uint8_t> chunk(COPY_CHUNK);
    uint32_t copied = 0;
    while (copied < size) {
        const int32_t got = device.read(fd, chunk.data(), COPY_CHUNK);
        if (got <= 0 || static_cast<uint32_t>(got) > COPY_CHUNK) return false;
        DWORD written = 0;
        if (!WriteFile(host, chunk.data(), static_cast<DWORD>(got), &written, nullptr) ||
            written != static_cast<DWORD>(got))
            return false;
        copied += static_cast<uint32_t>(got);
    }
    return copied == size;
}

}  // namespace

std::optional<std::string> temporaryCopiesFolder() {
    char base[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    std::string folder = base;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder + TEMPORARY_COPIES_FOLDER;
}

bool isCopyFolderName(const std::string& name) {
    return name.size() == 17 && name[8] == '-' && isHexDigits(name, 0, 8) && isHexDigits(name, 9, 8);
}

std::optional<std::string> makeTemporaryHostCopy(DeviceFiles& device, const std::string& fullPath,
                                                 const std::string& name, std::string* error) {
    const OpenDeviceFile file(device, device.open(fullPath.c_str(), OPEN_FOR_STREAM));
    if (!file.valid()) {
        *error = formatText("Can not open '%s'", fullPath.c_str());
        return std::nullopt;
    }
    const std::optional<std::string> folder = newTemporaryFolder();
    if (!folder) {
        *error = formatText("Can not make a temporary copy of '%s'", fullPath.c_str());
        return std::nullopt;
    }
    const std::string hostPath = *folder + "\\" + hostComponent(name);
    bool copied = false;
    {
        const platform::win32::UniqueHandle host(CreateFileA(hostPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        copied = host.valid() && copyBytes(device, file.get(), host.get());
    }
    if (copied) return hostPath;
    removeTemporaryHostCopy(hostPath);
    *error = formatText("Can not make a temporary copy of '%s'", fullPath.c_str());
    return std::nullopt;
}

std::optional<std::string> copyToTemporaryHostFile(DeviceFiles& device, const std::string& fullPath,
                                                   const std::string& name) {
    std::string error;
    std::optional<std::string> hostPath = makeTemporaryHostCopy(device, fullPath, name, &error);
    if (!hostPath) showError(error);
    return hostPath;
}

void removeTemporaryHostCopy(const std::string& hostPath) {
    DeleteFileA(hostPath.c_str());
    const size_t separator = hostPath.rfind('\\');
    if (separator != std::string::npos) RemoveDirectoryA(hostPath.substr(0, separator).c_str());
}

}  // namespace kestrel::shellext
