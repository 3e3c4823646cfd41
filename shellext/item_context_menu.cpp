#include "shellext/item_context_menu.h"

#include "shellext/context_menu_verbs.h"
#include "shellext/clipboard_session.h"
#include "shellext/device_folder.h"
#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

HRESULT ItemContextMenu::create(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count,
                                ItemContextMenu** out) {
    *out = nullptr;
    if (folder == nullptr || (count > 0 && items == nullptr)) return E_INVALIDARG;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* menu = new (std::nothrow) ItemContextMenu(folder, std::move(allocator));
    if (menu == nullptr) return E_OUTOFMEMORY;
    if (count > 0 && !menu->copyItems(items, count)) {
        menu->Release();
        return E_OUTOFMEMORY;
    }
    *out = menu;
    return S_OK;
}

HRESULT CreateItemContextMenu(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, REFIID riid,
                              void** out) {
    ItemContextMenu* menu = nullptr;
    const HRESULT made = ItemContextMenu::create(folder, items, count, &menu);
    if (FAILED(made)) return made;
    const HRESULT result = menu->QueryInterface(riid, out);
    menu->Release();
    return result;
}

ItemContextMenu::ItemContextMenu(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator)
    : malloc_(allocator->malloc()), allocator_(std::move(allocator)), folder_(folder), format_(deviceItemsFormat()) {
    malloc_->AddRef();
    folder_->AddRef();
}

ItemContextMenu::~ItemContextMenu() {
    if (items_ != nullptr) {
        for (UINT i = 0; i < count_; ++i) allocator_->free(items_[i]);
        malloc_->Free(items_);
    }
    folder_->Release();
    malloc_->Release();
}

bool ItemContextMenu::copyItems(PCUITEMID_CHILD_ARRAY items, UINT count) {
    items_ = static_cast<LPITEMIDLIST*>(malloc_->Alloc((size_t{count} + 1) * sizeof(LPITEMIDLIST)));
    if (items_ == nullptr) return false;
    for (UINT i = 0; i <= count; ++i) items_[i] = nullptr;
    for (UINT i = 0; i < count; ++i) {
        items_[i] = allocator_->clone(items[i]);
        if (items_[i] == nullptr) return false;
        count_ = i + 1;
    }
    background_ = false;
    return true;
}

HRESULT ItemContextMenu::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("ItemContextMenu::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IContextMenu)) {
        *out = static_cast<IContextMenu*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ItemContextMenu::AddRef() {
    SHX_TRACE("ItemContextMenu::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG ItemContextMenu::Release() {
    SHX_TRACE("ItemContextMenu::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ItemContextMenu::QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) {
    SHX_TRACE("ItemContextMenu::QueryContextMenu(%p,%u,%u,%u,%08X)\n", static_cast<void*>(menu), index, first, last,
              flags);
    if (flags & CMF_DEFAULTONLY)
        buildDefaultOnly(menu, index, first, flags);
    else if (background_)
        buildBackground(menu, index, first);
    else
        buildItemMenu(menu, index, first, flags);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, COMMAND_COUNT);
}

HRESULT ItemContextMenu::InvokeCommand(LPCMINVOKECOMMANDINFO information) {
    SHX_TRACE("ItemContextMenu::InvokeCommand(%p)\n", static_cast<void*>(information));
    if (information == nullptr || information->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
    UINT offset = 0;
    const auto verb = reinterpret_cast<uintptr_t>(information->lpVerb);
    if (verb > 0xFFFF) {
        const int32_t found = verbOffset(information->lpVerb);
        if (found < 0) return E_INVALIDARG;
        offset = static_cast<UINT>(found);
    } else {
        offset = static_cast<UINT>(verb);
    }
    if (offset >= COMMAND_COUNT) return E_INVALIDARG;
    run(offset, information->hwnd);
    return S_OK;
}

HRESULT ItemContextMenu::GetCommandString(UINT_PTR id, UINT type, UINT* reserved, LPSTR buffer, UINT size) {
    SHX_TRACE("ItemContextMenu::GetCommandString(%u,%u,%p,%p,%u)\n", static_cast<UINT>(id), type,
              static_cast<void*>(reserved), static_cast<void*>(buffer), size);
    switch (type) {
    case GCS_VERBA:
    case GCS_VERBW: {
        const char* verb = verbOf(static_cast<UINT>(id));
        if (verb == nullptr || buffer == nullptr || size == 0) return E_INVALIDARG;
        if (type == GCS_VERBA) {
            lstrcpynA(buffer, verb, static_cast<int>(size));
            return S_OK;
        }
        WCHAR wide[64] = {};
        MultiByteToWideChar(CP_ACP, 0, verb, -1, wide, 64);
        lstrcpynW(reinterpret_cast<LPWSTR>(buffer), wide, static_cast<int>(size));
        return S_OK;
    }
    case GCS_VALIDATEA: return S_OK;
    case GCS_HELPTEXTA: return id == 0 ? S_OK : E_INVALIDARG;
    default: return E_INVALIDARG;
    }
}

}  // namespace kestrel::shellext
