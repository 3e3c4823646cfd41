// The data-transfer objects as the folder, the view and the context menu
// make them (transfer.h).
#include "shellext/folder_drop_target.h"
#include "shellext/item_data_object.h"
#include "shellext/item_drop_source.h"
#include "shellext/transfer.h"

namespace kestrel::shellext {

HRESULT CreateItemDataObject(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, IDataObject** out) {
    return CreateItemDataObject(folder, items, count, false, out);
}

HRESULT CreateItemDataObject(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut,
                             IDataObject** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ItemDataObject* object = nullptr;
    const HRESULT made = ItemDataObject::create(folder, items, count, cut, &object);
    if (FAILED(made)) return made;
    *out = object;
    return S_OK;
}

HRESULT CreateItemDropSource(IDropSource** out) { return CreateItemDropSource(MK_LBUTTON, out); }

HRESULT CreateItemDropSource(DWORD button, IDropSource** out) {
    if (out == nullptr) return E_POINTER;
    *out = ItemDropSource::create(button);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateFolderDropTarget(DeviceFolder* folder, HWND window, IDropTarget** out) {
    if (out == nullptr) return E_POINTER;
    *out = FolderDropTarget::create(folder, window);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kestrel::shellext
