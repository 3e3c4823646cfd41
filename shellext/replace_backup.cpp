#include "shellext/replace_backup.h"

#include "platform/win32/unique_handle.h"
#include "shellext/device_names.h"
#include "shellext/shell_api.h"
#include "shellext/temporary_copy.h"
#include "shellext/user_messages.h"

#include <algorithm>
#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint32_t COPY_CHUNK = 61440;
constexpr int32_t OPEN_DESTINATION = 0x201;

bool validDescriptor(int32_t fd) { return fd != 0 && fd != -1; }

// The host file's bytes into the open device file; true when all arrived.
bool writeHostFile(DeviceFiles& device, int32_t fd, HANDLE host) {
    std::vector<uint8_t> chunk(COPY_CHUNK);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(host, chunk.data(), COPY_CHUNK, &got, nullptr)) return false;
        if (got == 0) return true;
        if (device.write(fd, chunk.data(), got) != static_cast<int32_t>(got)) return false;
    }
}

}  // namespace

std::unique_ptr<ReplacedFileBackup> ReplacedFileBackup::take(DeviceFiles& device, const std::string& devicePath) {
    std::string error;
    std::optional<std::string> hostPath = makeTemporaryHostCopy(device, devicePath, deviceLeafName(devicePath), &error);
    if (!hostPath) {
        showError(formatText("Can not replace '%s': %s, so it is left as it is", devicePath.c_str(), error.c_str()));
        return nullptr;
    }
    return std::unique_ptr<ReplacedFileBackup>(new ReplacedFileBackup(device, devicePath, std::move(*hostPath)));
}

ReplacedFileBackup::ReplacedFileBackup(DeviceFiles& device, std::string devicePath, std::string hostPath)
    : device_(device), devicePath_(std::move(devicePath)), hostPath_(std::move(hostPath)) {}

ReplacedFileBackup::~ReplacedFileBackup() {
    if (!keep_) removeTemporaryHostCopy(hostPath_);
}

bool ReplacedFileBackup::restore() {
    (void)device_.unlink(devicePath_.c_str());
    if (writeBack()) return true;
    keep_ = true;
    showError(formatText("Can not put back the earlier contents of '%s': they are kept in '%s'", devicePath_.c_str(),
                         hostPath_.c_str()));
    return false;
}

bool ReplacedFileBackup::writeBack() {
    const platform::win32::UniqueHandle host(CreateFileA(hostPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!host.valid()) return false;
    const int32_t fd = device_.open(devicePath_.c_str(), OPEN_DESTINATION);
    if (!validDescriptor(fd)) return false;
    const bool written = writeHostFile(device_, fd, host.get());
    const bool closed = device_.close(fd) == 0;
    return written && closed;
}

}  // namespace kestrel::shellext
