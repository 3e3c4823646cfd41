// ItemEnumerator: the IEnumIDList of one device folder. It lists the folder
// once, at creation (directory listings of all processes run one at a time
// under the named mutex "qlxCreateEnumListMutex"), and hands out copies of
// the items: in the device root every folder is a Disk item, below it a
// Folder item; volume labels and the entries "." and ".." are never listed;
// SHCONTF_FOLDERS and SHCONTF_NONFOLDERS choose folders and files. Reset
// rewinds; a clone lists the device afresh.
#pragma once

#include "shellext/device_files.h"
#include "shellext/device_paths.h"
#include "shellext/id_allocator.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext {

inline constexpr const char* ENUM_LIST_MUTEX = "qlxCreateEnumListMutex";

class ItemEnumerator final : public IEnumIDList, LiveObject {
public:
    // Lists `path` (empty: the device root "/"; else a full device path
    // such as "/Music/Live") with the SHCONTF `flags`. E_OUTOFMEMORY (and
    // null) when the enumerator or its allocator cannot be made; a folder
    // that cannot be opened gives an empty list and S_OK, and so does a path
    // that had to be cut (it could name another folder) or that is longer
    // than the device's 259 characters.
    static HRESULT create(DeviceFiles& device, const DevicePath& path, DWORD flags, ItemEnumerator** out);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IEnumIDList
    HRESULT STDMETHODCALLTYPE Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumIDList** out) override;

private:
    ItemEnumerator(DeviceFiles& device, DevicePath path, DWORD flags, std::unique_ptr<IdAllocator> allocator);
    ~ItemEnumerator();
    void fill();
    void readEntries(int32_t dir, bool root);

    ULONG references_ = 1;
    DeviceFiles& device_;
    const DevicePath path_;
    const DWORD flags_;
    std::unique_ptr<IdAllocator> allocator_;
    std::vector<LPITEMIDLIST> items_;
    size_t position_ = 0;
};

}  // namespace kestrel::shellext
