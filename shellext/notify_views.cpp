#include "shellext/notify_views.h"

#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/id_allocator.h"
#include "shellext/server_module.h"
#include "shellext/trace.h"

#include <cstring>

namespace kestrel::shellext {

bool sameFolder(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    if (first == nullptr || second == nullptr) return first == second;
    IShellFolder* desktop = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != nullptr) {
        const HRESULT order = desktop->CompareIDs(0, first, second);
        desktop->Release();
        if (SUCCEEDED(order)) return HRESULT_CODE(order) == 0;
    }
    const uint32_t size = IdAllocator::size(first);
    return size == IdAllocator::size(second) && std::memcmp(first, second, size - 3) == 0;
}

void notifyViews(LPCITEMIDLIST folderAbsolute, LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
    SHX_TRACE("NotifyViews(%p,%08lX,%p,%p)\n", static_cast<const void*>(folderAbsolute), static_cast<long>(event),
              static_cast<const void*>(item), static_cast<const void*>(newItem));
    // Each view is held while it is told, and a view on another thread
    // gets the change through its window's messages (FolderView::postChange).
    for (const HeldView& view : ServerModule::instance().views().holdAll()) {
        const DeviceFolder* folder = view->folder();
        if (folder == nullptr || !sameFolder(folder->absoluteId(), folderAbsolute)) continue;
        view->postChange(event, item, newItem);
    }
}

}  // namespace kestrel::shellext
