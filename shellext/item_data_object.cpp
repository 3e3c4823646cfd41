// ItemDataObject: creation with the expansion of folder items, and the
// IDataObject methods.
#include "shellext/item_data_object.h"

#include "shellext/clipboard_formats.h"
#include "shellext/context_menu_block.h"
#include "shellext/device_file_stream.h"
#include "shellext/device_folder.h"
#include "shellext/format_enumerator.h"
#include "shellext/global_block.h"
#include "shellext/item_blocks.h"
#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

namespace {

constexpr SHCONTF EXPANSION_FLAGS = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

CLIPFORMAT registered(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

FORMATETC offered(CLIPFORMAT format, DWORD medium) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, medium}; }

HRESULT hglobalMedium(HGLOBAL block, STGMEDIUM* medium) {
    if (block == nullptr) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

// The 32-bit value at the start of a medium's global block.
bool mediumValue(const STGMEDIUM& medium, DWORD* value) {
    if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr) return false;
    LockedBlock locked(medium.hGlobal);
    if (locked.bytes() == nullptr || locked.size() < 4) return false;
    *value = loadLe32(locked.bytes());
    return true;
}

}  // namespace

HRESULT ItemDataObject::create(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut,
                               ItemDataObject** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (folder == nullptr || (count > 0 && items == nullptr)) return E_INVALIDARG;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* object = new (std::nothrow) ItemDataObject(folder, std::move(allocator), cut);
    if (object == nullptr) return E_OUTOFMEMORY;
    bool complete = true;
    try {
        object->entries_.reserve(count);
        for (UINT i = 0; complete && i < count; ++i) {
            object->given_.push_back(object->entries_.size());
            complete = object->append(object->allocator_->clone(items[i]));
        }
    } catch (const std::bad_alloc&) {
        complete = false;
    }
    if (!complete) {
        object->Release();
        return E_OUTOFMEMORY;
    }
    *out = object;
    return S_OK;
}

ItemDataObject::ItemDataObject(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator, bool cut)
    : folder_(folder), allocator_(std::move(allocator)), dragLoopFormat_(registered(formats::IN_DRAG_LOOP)),
      descriptorFormat_(registered(formats::FILE_GROUP_DESCRIPTOR)), contentsFormat_(registered(formats::FILE_CONTENTS)),
      idListFormat_(registered(formats::SHELL_ID_LIST)), deviceItemsFormat_(registered(formats::DEVICE_ITEMS)),
      cut_(cut) {
    folder_->AddRef();
    formats_[0] = offered(descriptorFormat_, TYMED_HGLOBAL);
    formats_[1] = offered(contentsFormat_, TYMED_ISTREAM);
    formats_[2] = offered(idListFormat_, TYMED_HGLOBAL);
    formats_[3] = offered(deviceItemsFormat_, TYMED_HGLOBAL);
}

ItemDataObject::~ItemDataObject() {
    entries_.clear();
    folder_->Release();
}

bool ItemDataObject::append(LPITEMIDLIST entry) {
    if (entry == nullptr) return false;
    entries_.push_back(allocator_->own(entry));
    return appendContents(entries_.back().get());
}

bool ItemDataObject::appendContents(LPCITEMIDLIST folderEntry) {
    const ItemView last(reinterpret_cast<const uint8_t*>(IdAllocator::last(folderEntry)));
    if (!(last.attributes() & FILE_ATTRIBUTE_DIRECTORY)) return true;
    IShellFolder* below = nullptr;
    if (FAILED(folder_->BindToObject(folderEntry, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&below))))
        return true;
    IEnumIDList* children = nullptr;
    const HRESULT listed = below->EnumObjects(nullptr, EXPANSION_FLAGS, &children);
    below->Release();
    if (FAILED(listed) || children == nullptr) return true;
    bool complete = true;
    LPITEMIDLIST child = nullptr;
    while (complete && children->Next(1, &child, nullptr) == S_OK) {
        LPITEMIDLIST entry = allocator_->concatenate(folderEntry, child);
        allocator_->free(child);
        complete = append(entry);
    }
    children->Release();
    return complete;
}

std::vector<LPCITEMIDLIST> ItemDataObject::entryLists() const {
    std::vector<LPCITEMIDLIST> lists;
    lists.reserve(entries_.size());
    for (const auto& entry : entries_) lists.push_back(entry.get());
    return lists;
}

std::vector<LPCITEMIDLIST> ItemDataObject::givenLists() const {
    std::vector<LPCITEMIDLIST> lists;
    lists.reserve(given_.size());
    for (size_t index : given_) lists.push_back(entries_[index].get());
    return lists;
}

HRESULT ItemDataObject::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("ItemDataObject::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

ULONG ItemDataObject::AddRef() { return ++references_; }

ULONG ItemDataObject::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ItemDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    SHX_TRACE("ItemDataObject::GetData(%p,%p)\n", static_cast<void*>(format), static_cast<void*>(medium));
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    const CLIPFORMAT asked = format->cfFormat;
    if (asked == registered(formats::PREFERRED_DROP_EFFECT))
        return hglobalMedium(valueBlock(cut_ ? DROPEFFECT_MOVE : DROPEFFECT_COPY), medium);
    if (asked == idListFormat_) return hglobalMedium(idListArrayBlock(folder_->absoluteId(), entryLists()), medium);
    if (asked == descriptorFormat_) return hglobalMedium(fileGroupDescriptorBlock(entryLists()), medium);
    if (asked == contentsFormat_) return fileContents(format->lindex, medium);
    if (asked == dragLoopFormat_) return hglobalMedium(valueBlock(1), medium);
    if (asked == deviceItemsFormat_) {
        const auto given = givenLists();
        return hglobalMedium(
            deviceItemsBlock(folder_->absoluteId(), given.data(), static_cast<UINT>(given.size()), cut_), medium);
    }
    return E_INVALIDARG;
}

HRESULT ItemDataObject::fileContents(LONG index, STGMEDIUM* medium) const {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return DV_E_LINDEX;
    DeviceFileStream* stream = DeviceFileStream::create(folder_->device());
    if (stream == nullptr) return E_OUTOFMEMORY;
    const HRESULT opened = stream->open(folder_->fullPathOf(entries_[index].get()).text, OPEN_FOR_STREAM);
    if (FAILED(opened)) {
        stream->Release();
        return E_OUTOFMEMORY;
    }
    medium->tymed = TYMED_ISTREAM;
    medium->pstm = stream;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT ItemDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) {
    SHX_TRACE("ItemDataObject::GetDataHere\n");
    return E_NOTIMPL;
}

HRESULT ItemDataObject::QueryGetData(FORMATETC* format) {
    SHX_TRACE("ItemDataObject::QueryGetData(%p)\n", static_cast<void*>(format));
    if (format == nullptr) return E_INVALIDARG;
    if (!(format->dwAspect & DVASPECT_CONTENT)) return DV_E_DVASPECT;
    for (const FORMATETC& record : formats_)
        if (record.cfFormat == format->cfFormat && (record.tymed & format->tymed)) return S_OK;
    return DV_E_TYMED;
}

HRESULT ItemDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    SHX_TRACE("ItemDataObject::GetCanonicalFormatEtc(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_INVALIDARG;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT ItemDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    SHX_TRACE("ItemDataObject::SetData(%p,%p,%d)\n", static_cast<void*>(format), static_cast<void*>(medium), release);
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    const CLIPFORMAT given = format->cfFormat;
    const bool performed = given == registered(formats::PERFORMED_DROP_EFFECT);
    const bool pasted =
        given == registered(formats::PASTE_SUCCEEDED) || given == registered(formats::LOGICAL_PERFORMED_DROP_EFFECT);
    if (!performed && !pasted) return E_NOTIMPL;
    if (performed)
        mediumValue(*medium, &performedEffect_);
    else
        takeDropEffect(given, *medium);
    if (release) ReleaseStgMedium(medium);
    return S_OK;
}

HRESULT ItemDataObject::takeDropEffect(CLIPFORMAT, const STGMEDIUM& medium) {
    DWORD effect = DROPEFFECT_NONE;
    if (!mediumValue(medium, &effect) || effect != DROPEFFECT_MOVE || performedEffect_ != DROPEFFECT_MOVE)
        return S_FALSE;
    // The sources of the move are the items the object was made for; what
    // lies below a folder item goes with it.
    std::vector<LPCITEMIDLIST> sources = givenLists();
    const HRESULT deleted = folder_->DeleteItems(sources.data(), static_cast<UINT>(sources.size()));
    if (OleIsCurrentClipboard(this) == S_OK) OleSetClipboard(nullptr);
    return deleted;
}

HRESULT ItemDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    SHX_TRACE("ItemDataObject::EnumFormatEtc(%lu,%p)\n", direction, static_cast<void*>(out));
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    return FAILED(FormatEnumerator::create(formats_.data(), OFFERED_FORMATS, 0, out)) ? E_NOTIMPL : S_OK;
}

HRESULT ItemDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }
HRESULT ItemDataObject::DUnadvise(DWORD) { return E_NOTIMPL; }
HRESULT ItemDataObject::EnumDAdvise(IEnumSTATDATA**) { return E_NOTIMPL; }

}  // namespace kestrel::shellext
