// DeviceFolder: what it answers about its items (attributes, order and
// names) and the device paths of items.
#include "shellext/device_folder.h"
#include "shellext/device_names.h"
#include "shellext/memory_check.h"
#include "shellext/trace.h"

#include <algorithm>

namespace kestrel::shellext {

DevicePath DeviceFolder::fullPathOf(LPCITEMIDLIST list) const {
    return fullDevicePath(devicePath_, list != nullptr, IdAllocator::pathText(list));
}

bool DeviceFolder::allNamesActionable(LPCITEMIDLIST list) {
    if (list == nullptr || IdAllocator::last(list) == nullptr) return false;
    for (LPCITEMIDLIST at = list; elementSize(reinterpret_cast<const uint8_t*>(at)) != 0; at = IdAllocator::next(at))
        if (!isActionableName(IdAllocator::nameText(at))) return false;
    return true;
}

std::optional<std::string> DeviceFolder::actionPathOf(LPCITEMIDLIST list) const {
    if (!actionable_ || !devicePath_.complete || !allNamesActionable(list)) return std::nullopt;
    const DevicePath full = fullPathOf(list);
    if (!full.complete || !isPathInside(fullPathOf(nullptr).text, full.text)) return std::nullopt;
    return full.text;
}

SFGAOF DeviceFolder::attributesOf(UINT count, PCUITEMID_CHILD_ARRAY lists) const {
    SFGAOF attributes = FOLDER_ITSELF_ATTRIBUTES;
    for (UINT i = 0; i < count; ++i)
        attributes = IdAllocator::isFolderLike(IdAllocator::last(lists[i])) ? FOLDER_ITEM_ATTRIBUTES
                                                                             : FILE_ITEM_ATTRIBUTES;
    return attributes;
}

HRESULT DeviceFolder::GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY lists, SFGAOF* attributes) {
    SHX_TRACE("DeviceFolder::GetAttributesOf(%u,%p,%p)\n", count, static_cast<const void*>(lists),
              static_cast<void*>(attributes));
    if (!writableMemory(attributes, sizeof *attributes)) return E_INVALIDARG;
    if (count > 0 && lists == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        if (lists[i] == nullptr) return E_INVALIDARG;
    // Each list overwrites the answer: the caller's bits are not consulted,
    // and the answer is that of the last list.
    *attributes = attributesOf(count, lists);
    return S_OK;
}

HRESULT DeviceFolder::CompareItems(LPCITEMIDLIST element1, LPCITEMIDLIST element2) {
    SHX_TRACE("DeviceFolder::CompareItems(%p,%p)\n", static_cast<const void*>(element1),
              static_cast<const void*>(element2));
    const bool folder1 = IdAllocator::isFolderLike(element1);
    const bool folder2 = IdAllocator::isFolderLike(element2);
    if (folder1 != folder2) return folder1 ? ORDER_FIRST : ORDER_SECOND;
    const std::string name1 = IdAllocator::nameText(element1);
    const std::string name2 = IdAllocator::nameText(element2);
    return static_cast<HRESULT>(static_cast<uint16_t>(lstrcmpiA(name1.c_str(), name2.c_str())));
}

HRESULT DeviceFolder::CompareIDs(LPARAM column, PCUIDLIST_RELATIVE list1, PCUIDLIST_RELATIVE list2) {
    SHX_TRACE("DeviceFolder::CompareIDs(%ld,%p,%p)\n", static_cast<long>(column), static_cast<const void*>(list1),
              static_cast<const void*>(list2));
    auto ended = [](LPCITEMIDLIST at) {
        return at == nullptr || elementSize(reinterpret_cast<const uint8_t*>(at)) == 0;
    };
    LPCITEMIDLIST at1 = list1;
    LPCITEMIDLIST at2 = list2;
    HRESULT last = ORDER_SAME;
    while (!ended(at1) && !ended(at2)) {
        last = CompareItems(at1, at2);
        if ((last & 0xFFFF) != 0) break;
        at1 = IdAllocator::next(at1);
        at2 = IdAllocator::next(at2);
    }
    const bool end1 = ended(at1);
    const bool end2 = ended(at2);
    if (end1 && end2) return ORDER_SAME;
    if (end1) return ORDER_FIRST;
    if (end2) return ORDER_SECOND;
    return last < 0 ? ORDER_SAME : last;
}

HRESULT DeviceFolder::GetDisplayNameOf(PCUITEMID_CHILD list, SHGDNF flags, STRRET* name) {
    SHX_TRACE("DeviceFolder::GetDisplayNameOf(%p,%08lX,%p)\n", static_cast<const void*>(list), flags,
              static_cast<void*>(name));
    if (name == nullptr) return E_INVALIDARG;
    std::string text;
    if (!(flags & SHGDN_FORPARSING))
        text = IdAllocator::nameText(IdAllocator::last(list));
    else if (flags & SHGDN_INFOLDER)
        text = IdAllocator::pathText(list);
    else
        text = fullPathOf(list).text;
    if (text.size() > MAX_DEVICE_PATH) text.resize(MAX_DEVICE_PATH);

    const auto length = static_cast<int>(text.size());
    auto* wide = static_cast<LPWSTR>(allocator_->malloc()->Alloc(2 * text.size() + 2));
    if (wide == nullptr) return E_OUTOFMEMORY;
    const int written = length == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide, length);
    wide[written] = L'\0';
    name->uType = STRRET_WSTR;
    name->pOleStr = wide;
    return S_OK;
}

}  // namespace kestrel::shellext
