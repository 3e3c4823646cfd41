// DeviceFolder::MakeNewName: a name for a new folder or item that no entry
// of the folder has yet: "New Folder", then "New Folder 1", "New Folder 2"
// and so on (names compared case-insensitively).
#include "shellext/device_folder.h"
#include "shellext/trace.h"

#include <cstdio>

namespace kestrel::shellext {

namespace {

// Releases the interface when it goes.
struct HeldEnumerator {
    IEnumIDList* pointer = nullptr;
    ~HeldEnumerator() {
        if (pointer != nullptr) pointer->Release();
    }
};

// True when an entry of `entries` is named `name`: the walk starts afresh.
bool nameTaken(IEnumIDList* entries, IdAllocator& allocator, const char* name) {
    entries->Reset();
    bool taken = false;
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 0;
    while (!taken && entries->Next(1, &item, &fetched) == S_OK && fetched == 1) {
        OwnedItemList owned = allocator.own(item);
        taken = lstrcmpiA(IdAllocator::nameText(IdAllocator::last(owned.get())).c_str(), name) == 0;
    }
    return taken;
}

}  // namespace

HRESULT DeviceFolder::MakeNewName(BOOL isFolder, LPSTR buffer, UINT size) {
    SHX_TRACE("DeviceFolder::MakeNewName(%d,%p,%u)\n", isFolder, static_cast<void*>(buffer), size);
    if (buffer == nullptr || size == 0) return E_INVALIDARG;
    const char* base = isFolder ? "New Folder" : "New Item";
    HeldEnumerator entries;
    const HRESULT listed =
        EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &entries.pointer);
    if (FAILED(listed) || entries.pointer == nullptr) return FAILED(listed) ? listed : E_FAIL;
    lstrcpynA(buffer, base, static_cast<int>(size));
    for (unsigned number = 1; nameTaken(entries.pointer, *allocator_, buffer); ++number) {
        // A buffer too small for the number would repeat a taken name.
        const int length = std::snprintf(buffer, size, "%s %u", base, number);
        if (length < 0 || static_cast<UINT>(length) >= size) return E_FAIL;
    }
    return S_OK;
}

}  // namespace kestrel::shellext
