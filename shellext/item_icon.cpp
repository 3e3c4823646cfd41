#include "shellext/item_icon.h"

#include "shellext/image_lists.h"
#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

namespace {

// The system image list and the icon in it for a file extension (with
// SHGFI_SMALLICON for the small list); null when there is none.
HICON systemIcon(const std::string& extension, UINT sizeFlag) {
    SHFILEINFOA info{};
    auto list = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA(extension.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_ICON | sizeFlag));
    // SHGFI_ICON hands over an icon of its own; the icon comes from the list.
    if (info.hIcon != nullptr) DestroyIcon(info.hIcon);
    if (list == nullptr) return nullptr;
    return ImageList_GetIcon(list, info.iIcon, ILD_TRANSPARENT);
}

}  // namespace

HRESULT ItemIcon::create(LPCITEMIDLIST absolute, ItemIcon** out) {
    *out = nullptr;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* icon = new (std::nothrow) ItemIcon(std::move(allocator));
    if (icon == nullptr) return E_OUTOFMEMORY;
    icon->absolute_ = icon->allocator_->own(icon->allocator_->clone(absolute));
    if (absolute != nullptr && !icon->absolute_) {
        icon->Release();
        return E_OUTOFMEMORY;
    }
    *out = icon;
    return S_OK;
}

ItemIcon::ItemIcon(std::unique_ptr<IdAllocator> allocator)
    : allocator_(std::move(allocator)), absolute_(nullptr, ItemListFree{allocator_->malloc()}) {}

HRESULT ItemIcon::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("ItemIcon::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IExtractIconA)) {
        *out = static_cast<IExtractIconA*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ItemIcon::AddRef() {
    SHX_TRACE("ItemIcon::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG ItemIcon::Release() {
    SHX_TRACE("ItemIcon::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ItemIcon::GetIconLocation(UINT flags, LPSTR iconFile, UINT size, int* index, UINT* outFlags) {
    SHX_TRACE("ItemIcon::GetIconLocation(%08X,%p,%u,%p,%p)\n", flags, static_cast<void*>(iconFile), size,
              static_cast<void*>(index), static_cast<void*>(outFlags));
    int image = 0;
    UINT answer = 0;
    switch (IdAllocator::type(IdAllocator::last(absolute_.get()))) {
    case ItemType::Disk:
        image = IMAGE_DISK;
        answer = GIL_NOTFILENAME;
        break;
    case ItemType::Folder:
        image = (flags & GIL_OPENICON) ? IMAGE_FOLDER_OPEN : IMAGE_FOLDER;
        answer = GIL_NOTFILENAME;
        break;
    case ItemType::File:
        image = IMAGE_FILE;
        answer = GIL_SIMULATEDOC;
        break;
    default:
        return S_OK;  // no item: nothing is changed
    }
    if (index != nullptr) *index = image;
    if (outFlags != nullptr) *outFlags = answer;
    return S_OK;
}

HRESULT ItemIcon::Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes) {
    SHX_TRACE("ItemIcon::Extract('%s',%u,%p,%p,%08X)\n", file ? file : "", index, static_cast<void*>(large),
              static_cast<void*>(small), sizes);
    LPCITEMIDLIST item = IdAllocator::last(absolute_.get());
    const ItemType type = IdAllocator::type(item);
    if (type == ItemType::Disk || type == ItemType::Folder) {
        const ImageLists& lists = ServerModule::instance().imageLists();
        const int image = static_cast<int>(index);
        if (large != nullptr) *large = ImageList_GetIcon(lists.large(), image, ILD_TRANSPARENT);
        if (small != nullptr) *small = ImageList_GetIcon(lists.small(), image, ILD_TRANSPARENT);
    } else if (type == ItemType::File) {
        const std::string name = IdAllocator::nameText(item);
        const size_t dot = name.rfind('.');
        const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
        if (large != nullptr) *large = systemIcon(extension, 0);
        if (small != nullptr) *small = systemIcon(extension, SHGFI_SMALLICON);
    }
    return S_OK;
}

}  // namespace kestrel::shellext
