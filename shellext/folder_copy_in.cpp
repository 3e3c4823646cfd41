// DeviceFolder: host files and folder trees dropped or pasted onto the
// device folder, copied in 61,440-byte chunks under one progress dialog for
// the whole drop, with the "Confirm File Replace" question kept for the
// rest of the drop once it is answered Yes to All or Cancel.
#include "platform/clock.h"
#include "shellext/device_folder.h"
#include "shellext/device_names.h"
#include "shellext/host_files.h"
#include "shellext/notify_views.h"
#include "shellext/replace_backup.h"
#include "shellext/replace_dialog.h"
#include "shellext/trace.h"
#include "shellext/user_messages.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint32_t COPY_CHUNK = 61440;
constexpr uint32_t CHUNK_PAUSE_MS = 10;
constexpr int32_t OPEN_EXISTING_FILE = 0;
constexpr int32_t OPEN_DESTINATION = 0x201;
constexpr uint64_t DEVICE_FILE_LIMIT = uint64_t{1} << 32;

std::string byteSizeText(uint32_t bytes) {
    char text[64] = {};
    StrFormatByteSizeA(bytes, text, sizeof text);
    return text;
}

bool validDescriptor(int32_t fd) { return fd != 0 && fd != -1; }

}  // namespace

bool DeviceFolder::userCancelled() const { return progress_ && progress_->cancelled(); }

HRESULT DeviceFolder::CopyDroppedFiles(HDROP drop, BOOL move) {
    SHX_TRACE("DeviceFolder::CopyDroppedFiles(%p,%d)\n", static_cast<void*>(drop), move);
    overwriteAnswer_ = REPLACE_NONE;
    if (drop == nullptr) return E_OUTOFMEMORY;
    dropComplete_ = true;
    const std::string destination = fullPathOf(nullptr).text;
    progress_ = ProgressDialog::create("File copy to Kestrel ...");
    const std::vector<std::string> paths = droppedPaths(drop);
    totalBytes_ = 0;
    for (const std::string& path : paths) totalBytes_ += hostBytes(path);
    bytesDone_ = 0;
    for (const std::string& path : paths) {
        if (isHostDirectory(path))
            CopyFolderToDevice(path.c_str(), destination.c_str(), move);
        else
            CopyFileToDevice(path.c_str(), destination.c_str(), move);
        // A cancelled dialog ends the whole drop, as Cancel in the question does.
        if (overwriteAnswer_ == REPLACE_CANCEL || userCancelled()) {
            dropComplete_ = false;
            break;
        }
    }
    progress_.reset();
    notifyViews(absoluteId(), 0, nullptr, nullptr);
    // Only a drop that arrived whole may be completed as a move: the source
    // deletes its originals then.
    return dropComplete_ ? S_OK : S_FALSE;
}

HRESULT DeviceFolder::CopyFolderToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) {
    SHX_TRACE("DeviceFolder::CopyFolderToDevice('%s','%s',%d)\n", hostPath ? hostPath : "",
              deviceFolderPath ? deviceFolderPath : "", move);
    if (hostPath == nullptr || deviceFolderPath == nullptr || !isHostDirectory(hostPath)) {
        dropComplete_ = false;
        return E_FAIL;
    }
    const std::string host = hostPath;
    const std::optional<std::string> target = deviceChildPath(deviceFolderPath, hostLeafName(host));
    if (!target) {
        showError(formatText("Can not copy '%s': the name is not valid on Kestrel", host.c_str()));
        dropComplete_ = false;
        return E_FAIL;
    }
    const std::string& folder = *target;
    const auto entries = listHostFolder(host);
    if (!entries) {
        dropComplete_ = false;
        return E_FAIL;
    }
    (void)device_.mkdir(folder.c_str(), 0);  // an existing folder is used as it is
    for (const HostEntry& entry : *entries) {
        const std::string child = host + "\\" + entry.name;
        if (entry.directory) {
            CopyFolderToDevice(child.c_str(), folder.c_str(), move);
        } else {
            CopyFileToDevice(child.c_str(), folder.c_str(), move);
            if (overwriteAnswer_ == REPLACE_CANCEL) return E_FAIL;
        }
        if (userCancelled()) {
            dropComplete_ = false;
            break;
        }
    }
    return E_FAIL;
}

HRESULT DeviceFolder::CopyFileToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) {
    SHX_TRACE("DeviceFolder::CopyFileToDevice('%s','%s',%d)\n", hostPath ? hostPath : "",
              deviceFolderPath ? deviceFolderPath : "", move);
    bool whole = false;
    const HRESULT result = copyFileToDevice(hostPath, deviceFolderPath, &whole);
    if (!whole) dropComplete_ = false;
    return result;
}

HRESULT DeviceFolder::copyFileToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, bool* whole) {
    if (hostPath == nullptr || deviceFolderPath == nullptr) return E_FAIL;
    const std::string host = hostPath;
    const std::string name = hostLeafName(host);
    const std::optional<std::string> target = deviceChildPath(deviceFolderPath, name);
    if (!target) {
        showError(formatText("Can not copy '%s': the name is not valid on Kestrel", host.c_str()));
        return E_FAIL;
    }
    const std::string& devicePath = *target;
    if (progress_) {
        progress_->setLine(1, host, true);
        progress_->setLine(2, devicePath, true);
    }
    if (isHostDirectory(host)) return E_FAIL;

    // The device keeps sizes in 32 bits: a larger file cannot go there, and
    // the user hears of it before anything on the device is touched.
    const std::optional<uint64_t> hostSize = hostFileSize(host);
    if (hostSize && *hostSize >= DEVICE_FILE_LIMIT) {
        showError(formatText("Can not copy '%s': a file of 4 GB or more does not fit on Kestrel", host.c_str()));
        return S_OK;
    }

    const int32_t probe = device_.open(devicePath.c_str(), OPEN_EXISTING_FILE);
    const bool exists = probe != -1;
    if (validDescriptor(probe)) device_.close(probe);
    if (exists && overwriteAnswer_ != REPLACE_YES_TO_ALL) {
        overwriteAnswer_ = askReplace(name);
        if (overwriteAnswer_ == REPLACE_NO || overwriteAnswer_ == REPLACE_CANCEL) return E_FAIL;
    }

    // The host file is opened and sized before the device file is touched:
    // a source that cannot be read leaves the device's file as it was.
    const platform::win32::UniqueHandle file = openHostFile(host);
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) {
        showError(formatText("Can not open source file '%s'", host.c_str()));
        return S_OK;
    }
    if (static_cast<uint64_t>(size.QuadPart) >= DEVICE_FILE_LIMIT) {
        showError(formatText("Can not copy '%s': a file of 4 GB or more does not fit on Kestrel", host.c_str()));
        return S_OK;
    }

    // Opening for writing does not cut an existing file on the device: a
    // replaced file is removed first, so no tail of its old contents stays.
    // Its contents are kept on the host until the new file is whole.
    std::unique_ptr<ReplacedFileBackup> backup;
    if (exists) {
        backup = ReplacedFileBackup::take(device_, devicePath);
        if (!backup) return S_OK;
        (void)device_.unlink(devicePath.c_str());
    }
    const int32_t fd = device_.open(devicePath.c_str(), OPEN_DESTINATION);
    if (!validDescriptor(fd)) {
        showError(formatText("Can not create destination file '%s'", devicePath.c_str()));
        if (backup) (void)backup->restore();
        return E_FAIL;
    }
    if (progress_) progress_->start(ownerWindow_);
    const bool copied = copyHostData(file.get(), fd, host, devicePath, static_cast<uint32_t>(size.QuadPart));
    const bool closed = device_.close(fd) == 0;
    const bool cancelled = userCancelled();
    *whole = copied && closed && !cancelled;
    if (!*whole && backup)
        (void)backup->restore();
    else if (cancelled)
        (void)device_.unlink(devicePath.c_str());
    return S_OK;
}

bool DeviceFolder::copyHostData(HANDLE host, int32_t fd, const std::string& hostPath, const std::string& devicePath,
                                uint32_t size) {
    std::vector<uint8_t> chunk(COPY_CHUNK);
    uint32_t remaining = size;
    while (remaining > 0) {
        const uint32_t length = std::min(remaining, COPY_CHUNK);
        DWORD got = 0;
        if (!ReadFile(host, chunk.data(), length, &got, nullptr) || got != length) {
            showError(formatText("Error reading host '%s': (togo %d read %d)", hostPath.c_str(),
                                 static_cast<int>(length), static_cast<int>(got)));
            return false;
        }
        const int32_t written = device_.write(fd, chunk.data(), length);
        if (written != static_cast<int32_t>(length)) {
            showError(formatText("Error writing to Kestrel '%s': (togo %d written %d)", devicePath.c_str(),
                                 static_cast<int>(length), static_cast<int>(written)));
            return false;
        }
        if (userCancelled()) return false;
        remaining -= length;
        bytesDone_ += length;
        if (progress_) {
            const auto percent = static_cast<int>(uint64_t{size - remaining} * 100 / size);
            progress_->setLine(3, formatText("%s of %s (%d%%)", byteSizeText(bytesDone_).c_str(),
                                             byteSizeText(totalBytes_).c_str(), percent));
            progress_->setProgress(bytesDone_, totalBytes_);
        }
        platform::sleepMs(CHUNK_PAUSE_MS);
    }
    return true;
}

}  // namespace kestrel::shellext
