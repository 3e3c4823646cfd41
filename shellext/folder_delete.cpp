// DeviceFolder: deleting device items with confirmation, a progress dialog
// per item, and the change told to the shell and to the open views.
#include "shellext/device_folder.h"
#include "shellext/notify_views.h"
#include "shellext/trace.h"
#include "shellext/user_messages.h"

namespace kestrel::shellext {

namespace {

constexpr DWORD DELETE_PROGRESS_FLAGS = PROGRESS_FLAGS | PROGDLG_NOPROGRESSBAR;

}  // namespace

HRESULT DeviceFolder::DeleteItems(LPCITEMIDLIST* lists, UINT count) {
    SHX_TRACE("DeviceFolder::DeleteItems(%p,%u)\n", static_cast<void*>(lists), count);
    if (count > 0 && lists == nullptr) return E_INVALIDARG;
    if (count > 1 && !askYesNo(formatText("Are you sure you want to delete these %u items?", count))) return E_ABORT;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
        const std::string path = fullPathOf(lists[i]).text;
        const OwnedItemList absolute = allocator_->own(allocator_->concatenate(absolute_.get(), lists[i]));
        const bool folder = IdAllocator::isFolderLike(IdAllocator::last(lists[i]));
        progress_ = ProgressDialog::create("Deleting ...");
        const char* question =
            folder ? "Are you sure to delete folder '%s' and all its contents?" : "Are you sure to delete file '%s's?";
        if (count == 1 && !askYesNo(formatText(question, path.c_str()))) {
            result = E_ABORT;
        } else {
            if (progress_) progress_->start(ownerWindow_, DELETE_PROGRESS_FLAGS);
            result = folder ? DeleteDeviceFolder(path.c_str()) : DeleteDeviceFile(path.c_str());
        }
        const bool cancelled = userCancelled();
        progress_.reset();
        // What is gone is announced even when the user stops here.
        if (result == S_OK) {
            const LONG event = folder ? SHCNE_RMDIR : SHCNE_DELETE;
            SHChangeNotify(event, SHCNF_IDLIST, absolute.get(), nullptr);
            notifyViews(absolute_.get(), event, lists[i], nullptr);
        }
        if (cancelled) break;
    }
    progress_.reset();
    return result;
}

HRESULT DeviceFolder::DeleteDeviceFile(LPCSTR fullPath) {
    SHX_TRACE("DeviceFolder::DeleteDeviceFile('%s')\n", fullPath ? fullPath : "");
    if (fullPath == nullptr) return E_FAIL;
    if (progress_) progress_->setLine(1, fullPath, true);
    if (device_.unlink(fullPath) == 0) return S_OK;
    showError(formatText("Can not delete file '%s'", fullPath));
    return E_FAIL;
}

HRESULT DeviceFolder::DeleteDeviceFolder(LPCSTR fullPath) {
    SHX_TRACE("DeviceFolder::DeleteDeviceFolder('%s')\n", fullPath ? fullPath : "");
    if (fullPath == nullptr) return E_FAIL;
    const std::string path = fullPath;
    const int32_t dir = device_.opendir(path.c_str());
    if (dir == 0) return S_OK;
    HRESULT kept = S_OK;
    filex::FilexDirEntry entry;
    while (device_.readdir(dir, &entry) != 0) {
        const uint8_t attributes = entry.attributes();
        if (attributes & filex::ATTR_VOLUME_LABEL) continue;
        const std::string name = entry.name();
        if (name == "." || name == "..") continue;
        const std::string child = path + "/" + name;
        kept = (attributes & filex::ATTR_DIRECTORY) ? DeleteDeviceFolder(child.c_str())
                                                    : DeleteDeviceFile(child.c_str());
        if (userCancelled()) break;
    }
    device_.closedir(dir);
    if (kept != S_OK) return kept;
    if (device_.rmdir(path.c_str()) == 0) return S_OK;
    showError(formatText("Can not delete folder '%s'", path.c_str()));
    return E_FAIL;
}

}  // namespace kestrel::shellext
