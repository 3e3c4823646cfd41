// DeviceFolder::MoveCopyItems: device items of another device folder copied
// (or moved: copied, then removed at the source) into this folder on the
// device itself, file by file through _open, _read, _write and _close, with
// _mkdir for folders; a progress dialog per item, and each new item told to
// the shell and to the open views. A file of the same name at the
// destination is replaced only after the "Confirm File Replace" question is
// answered Yes (or Yes to All, which holds for the rest of the operation).
#include "shellext/device_folder.h"
#include "shellext/device_names.h"
#include "shellext/notify_views.h"
#include "shellext/replace_backup.h"
#include "shellext/replace_dialog.h"
#include "shellext/trace.h"
#include "shellext/user_messages.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint32_t COPY_CHUNK = 61440;
constexpr int32_t OPEN_EXISTING_FILE = 0;
constexpr int32_t OPEN_DESTINATION = 0x201;

bool validDescriptor(int32_t fd) { return fd != 0 && fd != -1; }

// The full device path of `item` in `source` (its parsing name).
std::string sourcePathOf(IShellFolder* source, LPCITEMIDLIST item) {
    STRRET name{};
    if (FAILED(source->GetDisplayNameOf(item, SHGDN_FORPARSING, &name))) return {};
    char* text = nullptr;
    if (FAILED(StrRetToStrA(&name, item, &text)) || text == nullptr) return {};
    std::string path = text;
    CoTaskMemFree(text);
    return path;
}

struct DeviceEntry {
    std::string name;
    bool folder = false;
};

// A device folder's entries without ".", ".." and volume labels; false when
// it cannot be listed. Entries whose names are not actionable are left out
// and counted in `skipped`.
bool listDevice(DeviceFiles& device, const std::string& path, std::vector<DeviceEntry>* entries, int* skipped) {
    const int32_t dir = device.opendir(path.empty() ? "/" : path.c_str());
    if (dir == 0) return false;
    filex::FilexDirEntry entry;
    for (uint32_t read = 0; device.readdir(dir, &entry) != 0; ++read) {
        if (read == MAX_LISTED_ENTRIES) {  // a damaged folder that goes round in circles
            ++*skipped;
            break;
        }
        if (entry.attributes() & filex::ATTR_VOLUME_LABEL) continue;
        const std::string name = entry.name();
        if (name == "." || name == "..") continue;
        if (!isActionableName(name)) {
            ++*skipped;
            continue;
        }
        entries->push_back(DeviceEntry{name, (entry.attributes() & filex::ATTR_DIRECTORY) != 0});
    }
    device.closedir(dir);
    return true;
}

// Owner of a device file descriptor.
class DeviceFile {
public:
    DeviceFile(DeviceFiles& device, int32_t fd) : device_(device), fd_(fd) {}
    ~DeviceFile() {
        if (valid()) device_.close(fd_);
    }
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;
    bool valid() const { return validDescriptor(fd_); }
    int32_t get() const { return fd_; }
    // Closes now; true when the device accepted the close.
    bool close() { return valid() && device_.close(std::exchange(fd_, -1)) == 0; }

private:
    DeviceFiles& device_;
    int32_t fd_;
};

}  // namespace

HRESULT DeviceFolder::MoveCopyItems(IShellFolder* source, LPCITEMIDLIST* lists, UINT count, BOOL move) {
    SHX_TRACE("DeviceFolder::MoveCopyItems(%p,%p,%u,%d)\n", static_cast<void*>(source), static_cast<void*>(lists),
              count, move);
    return moveCopyItems(source, nullptr, lists, count, move != FALSE);
}

HRESULT DeviceFolder::moveCopyItems(IShellFolder* source, LPCITEMIDLIST sourceAbsolute, LPCITEMIDLIST* lists,
                                    UINT count, bool move) {
    if (source == nullptr || (count > 0 && lists == nullptr)) return E_OUTOFMEMORY;
    overwriteAnswer_ = REPLACE_NONE;
    const std::string destinationFolder = fullPathOf(nullptr).text;
    UINT handled = 0;
    for (UINT i = 0; i < count; ++i) {
        const LPCITEMIDLIST last = IdAllocator::last(lists[i]);
        const ItemView item(reinterpret_cast<const uint8_t*>(last));
        const std::string from = sourcePathOf(source, lists[i]);
        if (!item.valid() || from.empty()) continue;
        // Both ends must name exactly the listed entry: a name that could
        // lead elsewhere on the device is neither read, written nor removed.
        const std::optional<std::string> target = deviceChildPath(destinationFolder, item.name());
        if (!target || !isActionablePath(from) || !DeviceFolder::allNamesActionable(lists[i])) {
            showError(formatText("Can not copy '%s': the name is not valid on Kestrel", from.c_str()));
            continue;
        }
        const std::string& to = *target;
        // An item is never copied onto itself (opening it for writing would
        // destroy what is being read), nor a folder into itself.
        if (to == from || to.compare(0, from.size() + 1, from + "/") == 0) continue;

        progress_ = ProgressDialog::create(move ? "Moving on Kestrel ..." : "Copying on Kestrel ...");
        if (progress_) {
            progress_->setLine(1, from, true);
            progress_->setLine(2, to, true);
            progress_->start(ownerWindow_, PROGRESS_FLAGS | PROGDLG_NOPROGRESSBAR);
        }
        const bool folder = item.folderLike();
        const bool copied = copyDeviceEntry(from, to, folder);
        const bool removed =
            copied && move && (folder ? DeleteDeviceFolder(from.c_str()) : DeleteDeviceFile(from.c_str())) == S_OK;
        const bool cancelled = copyStopped();
        progress_.reset();
        if (removed) tellRemoved(sourceAbsolute, lists[i], folder);
        if (copied) {
            ++handled;
            ItemFields fields;
            fields.type = folder ? (devicePath_.text.empty() ? ItemType::Disk : ItemType::Folder) : ItemType::File;
            fields.size = item.size();
            fields.attributes = item.attributes();
            fields.dosTime = item.dosTime();
            fields.dosDate = item.dosDate();
            fields.name = std::string(item.name());
            fields.typeText = std::string(item.typeText());
            const OwnedItemList created = allocator_->own(allocator_->buildItem(fields));
            const OwnedItemList absolute = allocator_->own(allocator_->concatenate(absolute_.get(), created.get()));
            const LONG event = folder ? SHCNE_MKDIR : SHCNE_CREATE;
            if (absolute) SHChangeNotify(event, SHCNF_IDLIST, absolute.get(), nullptr);
            if (created) notifyViews(absolute_.get(), event, created.get(), nullptr);
        }
        if (cancelled) break;
    }
    return handled > 0 ? S_OK : E_OUTOFMEMORY;
}

void DeviceFolder::tellRemoved(LPCITEMIDLIST sourceAbsolute, LPCITEMIDLIST item, bool folder) const {
    if (sourceAbsolute == nullptr) return;
    const LONG event = folder ? SHCNE_RMDIR : SHCNE_DELETE;
    const OwnedItemList absolute = allocator_->own(allocator_->concatenate(sourceAbsolute, item));
    if (absolute) SHChangeNotify(event, SHCNF_IDLIST, absolute.get(), nullptr);
    notifyViews(sourceAbsolute, event, item, nullptr);
}

bool DeviceFolder::copyDeviceEntry(const std::string& sourcePath, const std::string& destinationPath, bool folder) {
    if (!folder) return copyDeviceFile(sourcePath, destinationPath);
    (void)device_.mkdir(destinationPath.c_str(), 0);  // an existing folder is used as it is
    std::vector<DeviceEntry> entries;
    int skipped = 0;
    if (!listDevice(device_, sourcePath, &entries, &skipped)) {
        showError(formatText("Can not read folder '%s'", sourcePath.c_str()));
        return false;
    }
    // A folder with entries that cannot be copied is not complete, so a
    // move keeps it at its source.
    bool complete = skipped == 0;
    if (!complete)
        showError(formatText("Can not copy %d entries of '%s': their names are not valid on Kestrel", skipped,
                             sourcePath.c_str()));
    for (const DeviceEntry& entry : entries) {
        const std::optional<std::string> from = deviceChildPath(sourcePath, entry.name);
        const std::optional<std::string> to = deviceChildPath(destinationPath, entry.name);
        complete = from && to && copyDeviceEntry(*from, *to, entry.folder) && complete;
        if (copyStopped()) return false;
    }
    return complete;
}

bool DeviceFolder::copyStopped() const { return overwriteAnswer_ == REPLACE_CANCEL || userCancelled(); }

std::optional<std::unique_ptr<ReplacedFileBackup>> DeviceFolder::replaceAllowed(const std::string& destinationPath) {
    const int32_t probe = device_.open(destinationPath.c_str(), OPEN_EXISTING_FILE);
    if (probe == -1) return std::unique_ptr<ReplacedFileBackup>();  // nothing there to replace
    if (validDescriptor(probe)) device_.close(probe);
    if (overwriteAnswer_ != REPLACE_YES_TO_ALL) {
        overwriteAnswer_ = askReplace(deviceLeafName(destinationPath));
        if (overwriteAnswer_ != REPLACE_YES && overwriteAnswer_ != REPLACE_YES_TO_ALL) return std::nullopt;
    }
    // Opening for writing does not cut a longer old file: the confirmed
    // replace removes it first, keeping its contents on the host until the
    // new file is whole.
    std::unique_ptr<ReplacedFileBackup> backup = ReplacedFileBackup::take(device_, destinationPath);
    if (!backup) return std::nullopt;
    (void)device_.unlink(destinationPath.c_str());
    return backup;
}

bool DeviceFolder::copyDeviceFile(const std::string& sourcePath, const std::string& destinationPath) {
    DeviceFile from(device_, device_.open(sourcePath.c_str(), OPEN_EXISTING_FILE));
    if (!from.valid()) {
        showError(formatText("Can not open source file '%s'", sourcePath.c_str()));
        return false;
    }
    std::optional<std::unique_ptr<ReplacedFileBackup>> backup = replaceAllowed(destinationPath);
    if (!backup) return false;
    DeviceFile to(device_, device_.open(destinationPath.c_str(), OPEN_DESTINATION));
    if (!to.valid()) {
        showError(formatText("Can not create destination file '%s'", destinationPath.c_str()));
        if (*backup) (void)(*backup)->restore();
        return false;
    }
    const bool whole = copyDeviceData(from.get(), to.get(), sourcePath, destinationPath) && to.close();
    if (!whole) {
        (void)to.close();
        if (*backup)
            (void)(*backup)->restore();
        else if (userCancelled())
            (void)device_.unlink(destinationPath.c_str());
    }
    return whole;
}

bool DeviceFolder::copyDeviceData(int32_t from, int32_t to, const std::string& sourcePath,
                                  const std::string& destinationPath) {
    filex::FilexStat stat;
    const uint32_t size = device_.fstat(from, &stat) == 0 ? stat.fileSize() : 0;
    std::vector<uint8_t> chunk(COPY_CHUNK);
    uint32_t copied = 0;
    for (;;) {
        const int32_t got = device_.read(from, chunk.data(), COPY_CHUNK);
        if (got <= 0) break;
        const auto length = std::min(static_cast<uint32_t>(got), COPY_CHUNK);
        if (device_.write(to, chunk.data(), length) != got) {
            showError(formatText("Error writing to Kestrel '%s'", destinationPath.c_str()));
            return false;
        }
        if (userCancelled()) return false;
        copied += length;
        if (length < COPY_CHUNK) break;
    }
    // A read that failed looks like the end of the file: only a complete
    // copy counts (a move removes the source after it).
    if (copied != size) {
        showError(formatText("Error reading Kestrel '%s': (size %u read %u)", sourcePath.c_str(), size, copied));
        return false;
    }
    return true;
}

}  // namespace kestrel::shellext
