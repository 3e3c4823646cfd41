// The data-transfer objects as the folder, the view and the context menu
// make them: the data object that offers device items to Explorer, the drop
// source of a drag, the drop target of a device folder, and the view's own
// clipboard commands over the OLE clipboard.
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

class DeviceFolder;

// An ItemDataObject for `count` items of `folder` (relative identifiers).
HRESULT CreateItemDataObject(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, IDataObject** out);
// The same with the cut flag (a Cut: "Preferred DropEffect" says move).
HRESULT CreateItemDataObject(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut,
                             IDataObject** out);
// An ItemDropSource for a drag started by the view with the left mouse
// button, or with `button` (MK_LBUTTON or MK_RBUTTON).
HRESULT CreateItemDropSource(IDropSource** out);
HRESULT CreateItemDropSource(DWORD button, IDropSource** out);
// A FolderDropTarget for `folder`; `window` is the window it serves (the
// view's window, or the owner the folder was asked with).
HRESULT CreateFolderDropTarget(DeviceFolder* folder, HWND window, IDropTarget** out);

// The view's Copy and Cut: an ItemDataObject for the items on the OLE
// clipboard. S_OK when the clipboard took it.
HRESULT CopyToOleClipboard(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut);
// The view's Paste: what the OLE clipboard holds, into `folder`; cut
// device items that moved are taken off the clipboard.
HRESULT PasteFromOleClipboard(DeviceFolder* folder);
// The same for a data object in hand: its device items are copied (or, when
// cut, moved) into `folder` as the context menu's Paste does; otherwise its
// file list is copied into `folder`, and a move ("Preferred DropEffect") is
// reported back to it only when every file arrived whole. The copy's result
// (S_FALSE: incomplete, or nothing to paste).
HRESULT PasteDataObject(DeviceFolder* folder, IDataObject* data);

}  // namespace kestrel::shellext
