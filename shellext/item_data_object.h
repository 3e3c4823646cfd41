// ItemDataObject: device items of a folder offered to Explorer, on the
// clipboard and in a drag. At creation the given items are expanded depth
// first (a folder item is followed by everything below it). It offers
// "FileGroupDescriptor", "FileContents" (a DeviceFileStream per entry) and
// "Shell IDList Array" and the extension's own "qlxshlextDataFormat" (the
// items with the cut flag, which a device folder takes on a paste or a
// drop), serves "Preferred DropEffect" and "InShellDragLoop" as well, and takes the shell's "Performed DropEffect", "Paste Succeeded"
// and "Logical Performed DropEffect": after a performed move the items it
// was made for are deleted from the device.
#pragma once

#include "shellext/id_allocator.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <array>
#include <memory>
#include <vector>

namespace kestrel::shellext {

class DeviceFolder;

class ItemDataObject final : public IDataObject, LiveObject {
public:
    static constexpr ULONG OFFERED_FORMATS = 4;

    // E_OUTOFMEMORY (and null) when it cannot be made.
    static HRESULT create(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut,
                          ItemDataObject** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override;

private:
    ItemDataObject(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator, bool cut);
    ~ItemDataObject();
    // Appends `entry` (owned from now on) and, for a folder, everything
    // below it; false when memory ran out.
    bool append(LPITEMIDLIST entry);
    bool appendContents(LPCITEMIDLIST folderEntry);
    std::vector<LPCITEMIDLIST> entryLists() const;
    // The lists of the items the object was made for.
    std::vector<LPCITEMIDLIST> givenLists() const;
    HRESULT fileContents(LONG index, STGMEDIUM* medium) const;
    HRESULT takeDropEffect(CLIPFORMAT format, const STGMEDIUM& medium);

    ULONG references_ = 1;
    DeviceFolder* folder_;  // holds a reference
    std::unique_ptr<IdAllocator> allocator_;
    std::vector<OwnedItemList> entries_;
    std::vector<size_t> given_;  // the entries of the items the object was made for
    std::array<FORMATETC, OFFERED_FORMATS> formats_{};
    CLIPFORMAT dragLoopFormat_;
    CLIPFORMAT descriptorFormat_;
    CLIPFORMAT contentsFormat_;
    CLIPFORMAT idListFormat_;
    CLIPFORMAT deviceItemsFormat_;
    bool cut_;
    DWORD performedEffect_ = DROPEFFECT_NONE;
};

}  // namespace kestrel::shellext
