// DeviceFolder: lifetime, interfaces, binding and the companion objects.
// The answers about items are in folder_items.cpp.
#include "shellext/device_folder.h"

#include "shellext/clsid.h"
#include "shellext/folder_view.h"
#include "shellext/item_context_menu.h"
#include "shellext/item_enumerator.h"
#include "shellext/item_icon.h"
#include "shellext/temporary_sweep.h"
#include "shellext/trace.h"
#include "shellext/transfer.h"

#include <new>

namespace kestrel::shellext {

HRESULT DeviceFolder::createRoot(DeviceFiles& device, DeviceFolder** out) {
    // Copies that Open left behind in an earlier session go first.
    (void)removeStaleTemporaryCopies();
    return create(device, nullptr, nullptr, out);
}

HRESULT DeviceFolder::create(DeviceFiles& device, DeviceFolder* parent, LPCITEMIDLIST relative, DeviceFolder** out) {
    *out = nullptr;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* folder = new (std::nothrow) DeviceFolder(device, std::move(allocator));
    if (folder == nullptr) return E_OUTOFMEMORY;
    if (parent != nullptr) {
        folder->relative_ = folder->allocator_->own(folder->allocator_->clone(relative));
        if (!folder->relative_) {
            folder->Release();
            return E_OUTOFMEMORY;
        }
        folder->parent_ = parent;
        parent->AddRef();
        folder->devicePath_ = childDevicePath(parent->devicePath_, IdAllocator::pathText(relative));
        folder->actionable_ = parent->actionable_ && allNamesActionable(relative);
    }
    *out = folder;
    return S_OK;
}

DeviceFolder::DeviceFolder(DeviceFiles& device, std::unique_ptr<IdAllocator> allocator)
    : device_(device), allocator_(std::move(allocator)),
      relative_(nullptr, ItemListFree{allocator_->malloc()}), absolute_(nullptr, ItemListFree{allocator_->malloc()}) {}

DeviceFolder::~DeviceFolder() {
    relative_.reset();
    absolute_.reset();
    if (parent_ != nullptr)
        parent_->Release();
    else
        (void)removeStaleTemporaryCopies();  // the device's folders are let go
}

HRESULT DeviceFolder::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("DeviceFolder::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellFolder)) {
        *out = static_cast<IDeviceFolder*>(this);
    } else if (IsEqualIID(riid, IID_IPersistFolder) || IsEqualIID(riid, IID_IPersist)) {
        *out = static_cast<IPersistFolder*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG DeviceFolder::AddRef() {
    SHX_TRACE("DeviceFolder::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG DeviceFolder::Release() {
    SHX_TRACE("DeviceFolder::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT DeviceFolder::GetClassID(CLSID* out) {
    SHX_TRACE("DeviceFolder::GetClassID(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = CLSID_DeviceFolder;
    return S_OK;
}

HRESULT DeviceFolder::Initialize(PCIDLIST_ABSOLUTE list) {
    SHX_TRACE("DeviceFolder::Initialize(%p)\n", static_cast<const void*>(list));
    absolute_ = allocator_->own(allocator_->clone(list));
    return S_OK;
}

HRESULT DeviceFolder::ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten,
                                       PIDLIST_RELATIVE* list, ULONG* attributes) {
    SHX_TRACE("DeviceFolder::ParseDisplayName(%p,%p,%p,%p,%p,%p)\n", static_cast<void*>(owner),
              static_cast<void*>(context), static_cast<void*>(name), static_cast<void*>(eaten),
              static_cast<void*>(list), static_cast<void*>(attributes));
    return E_NOTIMPL;
}

HRESULT DeviceFolder::EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) {
    SHX_TRACE("DeviceFolder::EnumObjects(%p,%08lX,%p)\n", static_cast<void*>(owner), flags, static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ItemEnumerator* enumerator = nullptr;
    const HRESULT result = ItemEnumerator::create(device_, fullPathOf(nullptr), flags, &enumerator);
    if (FAILED(result)) return E_OUTOFMEMORY;
    *out = enumerator;
    return S_OK;
}

HRESULT DeviceFolder::BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid, void** out) {
    SHX_TRACE("DeviceFolder::BindToObject(%p,%p,%s,%p)\n", static_cast<const void*>(list),
              static_cast<void*>(context), guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!(attributesOf(1, &list) & SFGAO_FOLDER)) return E_INVALIDARG;
    DeviceFolder* child = nullptr;
    if (FAILED(create(device_, this, list, &child))) return E_OUTOFMEMORY;
    LPITEMIDLIST absolute = allocator_->concatenate(absolute_.get(), list);
    child->Initialize(absolute);
    allocator_->free(absolute);
    const HRESULT result = child->QueryInterface(riid, out);
    child->Release();
    return result;
}

HRESULT DeviceFolder::BindToStorage(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid, void** out) {
    SHX_TRACE("DeviceFolder::BindToStorage(%p,%p,%s,%p)\n", static_cast<const void*>(list),
              static_cast<void*>(context), guidText(riid).c_str(), static_cast<void*>(out));
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT DeviceFolder::CreateViewObject(HWND owner, REFIID riid, void** out) {
    SHX_TRACE("DeviceFolder::CreateViewObject(%p,%s,%p)\n", static_cast<void*>(owner), guidText(riid).c_str(),
              static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ownerWindow_ = GetParent(owner);
    if (IsEqualIID(riid, IID_IDropTarget))
        return FAILED(CreateFolderDropTarget(this, owner, reinterpret_cast<IDropTarget**>(out))) ? E_NOINTERFACE : S_OK;
    if (IsEqualIID(riid, IID_IShellView)) return CreateFolderView(this, riid, out);
    if (IsEqualIID(riid, IID_IContextMenu))
        return FAILED(CreateItemContextMenu(this, nullptr, 0, riid, out)) ? E_NOINTERFACE : S_OK;
    return E_NOINTERFACE;
}

HRESULT DeviceFolder::GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY lists, REFIID riid,
                                    UINT* reserved, void** out) {
    SHX_TRACE("DeviceFolder::GetUIObjectOf(%p,%u,%p,%s,%p,%p)\n", static_cast<void*>(owner), count,
              static_cast<const void*>(lists), guidText(riid).c_str(), static_cast<void*>(reserved),
              static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IContextMenu)) return CreateItemContextMenu(this, lists, count, riid, out);
    if (IsEqualIID(riid, IID_IDataObject))
        return CreateItemDataObject(this, lists, count, reinterpret_cast<IDataObject**>(out));
    if (IsEqualIID(riid, IID_IExtractIconA) || IsEqualIID(riid, IID_IDropTarget)) {
        if (count != 1 || lists == nullptr || lists[0] == nullptr) return E_INVALIDARG;
        if (IsEqualIID(riid, IID_IExtractIconA)) return makeIcon(lists[0], out);
        IShellFolder* subfolder = nullptr;
        if (FAILED(BindToObject(lists[0], nullptr, IID_IShellFolder, reinterpret_cast<void**>(&subfolder))))
            return E_NOINTERFACE;
        // The drop target takes its own reference on the subfolder.
        const HRESULT made =
            CreateFolderDropTarget(static_cast<DeviceFolder*>(subfolder), owner, reinterpret_cast<IDropTarget**>(out));
        subfolder->Release();
        return FAILED(made) ? E_NOINTERFACE : S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT DeviceFolder::makeIcon(PCUITEMID_CHILD list, void** out) const {
    LPITEMIDLIST absolute = allocator_->concatenate(absolute_.get(), list);
    if (absolute == nullptr) return E_OUTOFMEMORY;
    ItemIcon* icon = nullptr;
    const HRESULT created = ItemIcon::create(absolute, &icon);
    allocator_->free(absolute);
    if (FAILED(created)) return E_OUTOFMEMORY;
    const HRESULT result = icon->QueryInterface(IID_IExtractIconA, out);
    icon->Release();
    return result;
}

HRESULT DeviceFolder::SetNameOf(HWND owner, PCUITEMID_CHILD list, LPCWSTR name, SHGDNF flags, PITEMID_CHILD* out) {
    SHX_TRACE("DeviceFolder::SetNameOf(%p,%p,%p,%08lX,%p)\n", static_cast<void*>(owner),
              static_cast<const void*>(list), static_cast<const void*>(name), flags, static_cast<void*>(out));
    return E_NOTIMPL;
}

HRESULT DeviceFolder::CreateFolder(LPCWSTR name, LPITEMIDLIST* out) {
    SHX_TRACE("DeviceFolder::CreateFolder(%p,%p)\n", static_cast<const void*>(name), static_cast<void*>(out));
    return E_NOTIMPL;
}

HRESULT DeviceFolder::CreateItem(LPCWSTR name, DWORD reserved, LPITEMIDLIST* out) {
    SHX_TRACE("DeviceFolder::CreateItem(%p,%lu,%p)\n", static_cast<const void*>(name), reserved,
              static_cast<void*>(out));
    return E_NOTIMPL;
}

HRESULT DeviceFolder::Reserved(void* first, void* second) {
    SHX_TRACE("DeviceFolder::Reserved(%p,%p)\n", first, second);
    return E_NOTIMPL;
}

// MakeNewName is in folder_new_name.cpp; DeleteItems, DeleteDeviceFile and
// DeleteDeviceFolder in folder_delete.cpp,
// MoveCopyItems in folder_move_copy.cpp, CopyDroppedFiles, CopyFileToDevice
// and CopyFolderToDevice in folder_copy_in.cpp.

}  // namespace kestrel::shellext
