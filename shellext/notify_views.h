// Telling the open views of a folder what changed on the device. Every view
// in the registry whose folder has the same absolute identifier hears of it:
// without an item it refreshes its whole list; otherwise, by the event, it
// renames (SHCNE_RENAMEITEM, SHCNE_RENAMEFOLDER), appends (SHCNE_CREATE,
// SHCNE_MKDIR), removes (SHCNE_DELETE, SHCNE_RMDIR) or updates
// (SHCNE_UPDATEITEM) the item. Other events are ignored. A view is changed
// only on its own window's thread: from any other thread the change is
// posted to it.
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

// True when both absolute identifiers name the same folder: the Desktop's
// CompareIDs says so, or, where the Desktop cannot compare them, their
// bytes are the same.
bool sameFolder(LPCITEMIDLIST first, LPCITEMIDLIST second);

// Passes one change to a view (anything with the folder view's methods).
template <class View>
void applyViewChange(View& view, LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
    if (item == nullptr) {
        view.Refresh();
        return;
    }
    switch (event) {
    case SHCNE_RENAMEITEM:
    case SHCNE_RENAMEFOLDER: view.renameItem(item, newItem); break;
    case SHCNE_CREATE:
    case SHCNE_MKDIR: view.appendItem(item); break;
    case SHCNE_DELETE:
    case SHCNE_RMDIR: view.removeItem(item); break;
    case SHCNE_UPDATEITEM: view.updateItem(item, newItem); break;
    default: break;
    }
}

// The change to every open view of the folder `folderAbsolute`.
void notifyViews(LPCITEMIDLIST folderAbsolute, LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem);

}  // namespace kestrel::shellext
