// DeviceFolder: deleting device items with confirmation, a progress dialog
// per item, and the change told to the shell and to the open views.
#include "shellext/device_folder.h"
#include "shellext/device_names.h"
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
        const std::optional<std::string> actionPath = actionPathOf(lists[i]);
        if (!actionPath) {
            showError(formatText("Can not delete '%s': the name is not valid on Kestrel",
                                 fullPathOf(lists[i]).text.c_str()));
            result = E_FAIL;
            continue;
        }
        const std::string& path = *actionPath;
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
    if (!isActionablePath(fullPath)) {
        showError(formatText("Can not delete file '%s'", fullPath));
        return E_FAIL;
    }
    if (progress_) progress_->setLine(1, fullPath, true);
    if (device_.unlink(fullPath) == 0) return S_OK;
    showError(formatText("Can not delete file '%s'", fullPath));
    return E_FAIL;
}

HRESULT DeviceFolder::DeleteDeviceFolder(LPCSTR fullPath) {
    SHX_TRACE("DeviceFolder::DeleteDeviceFolder('%s')\n", fullPath ? fullPath : "");
    if (fullPath == nullptr) return E_FAIL;
    const std::string path = fullPath;
    if (!isActionablePath(path)) {
        showError(formatText("Can not delete folder '%s'", path.c_str()));
        return E_FAIL;
    }
    const int32_t dir = device_.opendir(path.c_str());
    if (dir == 0) return S_OK;
    HRESULT kept = S_OK;
    bool skipped = false;
    filex::FilexDirEntry entry;
    for (uint32_t read = 0; device_.readdir(dir, &entry) != 0; ++read) {
        if (read == MAX_LISTED_ENTRIES) {  // a damaged folder that goes round in circles
            skipped = true;
            break;
        }
        const uint8_t attributes = entry.attributes();
        if (attributes & filex::ATTR_VOLUME_LABEL) continue;
        const std::string name = entry.name();
        if (name == "." || name == "..") continue;
        // An entry whose name would lead out of this folder is left alone,
        // and so is the folder that holds it.
        const std::optional<std::string> child = deviceChildPath(path, name);
        if (!child) {
            showError(formatText("Can not delete '%s/%s': the name is not valid on Kestrel", path.c_str(),
                                 name.c_str()));
            skipped = true;
        } else {
            kept = (attributes & filex::ATTR_DIRECTORY) ? DeleteDeviceFolder(child->c_str())
                                                        : DeleteDeviceFile(child->c_str());
        }
        if (userCancelled()) break;
    }
    device_.closedir(dir);
    if (kept != S_OK) return kept;
    if (skipped) return E_FAIL;
    if (device_.rmdir(path.c_str()) == 0) return S_OK;
    showError(formatText("Can not delete folder '%s'", path.c_str()));
    return E_FAIL;
}

}  // namespace kestrel::shellext
