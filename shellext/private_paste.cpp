#include "shellext/private_paste.h"

#include "shellext/device_folder.h"
#include "shellext/global_block.h"
#include "shellext/trace.h"

namespace kestrel::shellext {

namespace {

// Releases the interface when it goes.
template <class T>
struct Released {
    T* pointer = nullptr;
    ~Released() {
        if (pointer != nullptr) pointer->Release();
    }
};

}  // namespace

HRESULT pastePrivateData(DeviceFolder* target, HGLOBAL data, bool move) {
    SHX_TRACE("PastePrivateData(%p,%d)\n", static_cast<void*>(data), move);
    std::optional<DeviceItemsBlock> block;
    {
        LockedBlock locked(data);
        block = readDeviceItems(locked.bytes(), locked.size());
    }
    if (!block) return S_FALSE;
    return pasteDeviceItems(target, *block, move);
}

HRESULT pasteDeviceItems(DeviceFolder* target, const DeviceItemsBlock& block, bool move) {
    const auto source = reinterpret_cast<LPCITEMIDLIST>(block.folder.data());
    Released<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(&desktop.pointer)) || desktop.pointer == nullptr) return S_FALSE;
    const HRESULT order = desktop.pointer->CompareIDs(0, source, target->absoluteId());
    if (SUCCEEDED(order) && HRESULT_CODE(order) == 0) return S_FALSE;  // already in this folder: nothing to do
    Released<IShellFolder> folder;
    if (FAILED(desktop.pointer->BindToObject(source, nullptr, IID_IShellFolder,
                                             reinterpret_cast<void**>(&folder.pointer))) ||
        folder.pointer == nullptr)
        return S_FALSE;
    std::vector<LPCITEMIDLIST> items;
    for (const auto& item : block.items) items.push_back(reinterpret_cast<LPCITEMIDLIST>(item.data()));
    return target->moveCopyItems(folder.pointer, source, items.data(), static_cast<UINT>(items.size()), move);
}

}  // namespace kestrel::shellext
