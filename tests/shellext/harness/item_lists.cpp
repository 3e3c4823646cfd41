#include "tests/shellext/harness/item_lists.h"

#include "platform/byte_order.h"
#include "shellext/clsid.h"

#include <cstring>

namespace kestrel::shellext::test {

TestItem diskItem(const std::string& name) { return {TYPE_DISK, name, "Disk", 0, 0x10, 0, 0}; }
TestItem folderItem(const std::string& name) { return {TYPE_FOLDER, name, "Folder", 0, 0x10, 0, 0}; }
TestItem fileItem(const std::string& name, uint32_t size, const std::string& typeText) {
    return {TYPE_FILE, name, typeText, size, 0x20, 0, 0};
}

std::vector<uint8_t> elementBytes(const TestItem& item) {
    const auto n = static_cast<uint32_t>(item.name.size() + 1);
    const auto t = static_cast<uint32_t>(item.typeText.size());
    std::vector<uint8_t> out(33 + n + t, 0);
    storeLe16(&out[0], static_cast<uint16_t>(out.size()));
    storeLe32(&out[2], item.type);
    storeLe32(&out[6], item.size);
    storeLe32(&out[10], item.attributes);
    storeLe32(&out[14], item.dosTime);
    storeLe32(&out[18], item.dosDate);
    storeLe32(&out[22], n);
    storeLe32(&out[26], t);
    std::memcpy(&out[30], item.name.data(), item.name.size());
    std::memcpy(&out[30 + n], item.typeText.data(), t);
    return out;
}

TestList::TestList(std::vector<TestItem> items) {
    for (const auto& item : items) {
        const auto element = elementBytes(item);
        bytes_.insert(bytes_.end(), element.begin(), element.end());
    }
    bytes_.insert(bytes_.end(), 3, 0);
}

ReadItem readItem(LPCITEMIDLIST element) {
    ReadItem item;
    if (element == nullptr) return item;
    const auto* b = reinterpret_cast<const uint8_t*>(element);
    item.cb = loadLe16(b);
    if (item.cb < 33) return item;
    item.type = loadLe32(b + 2);
    item.size = loadLe32(b + 6);
    item.attributes = loadLe32(b + 10);
    item.dosTime = loadLe32(b + 14);
    item.dosDate = loadLe32(b + 18);
    item.nameLength = loadLe32(b + 22);
    item.typeLength = loadLe32(b + 26);
    if (33 + item.nameLength + item.typeLength != item.cb || item.nameLength == 0) return item;
    item.name.assign(reinterpret_cast<const char*>(b + 30), item.nameLength - 1);
    item.typeText.assign(reinterpret_cast<const char*>(b + 30 + item.nameLength), item.typeLength);
    const uint8_t* padding = b + 30 + item.nameLength + item.typeLength;
    item.paddingZero = padding[0] == 0 && padding[1] == 0 && padding[2] == 0;
    return item;
}

std::vector<ReadItem> readList(LPCITEMIDLIST list) {
    std::vector<ReadItem> items;
    if (list == nullptr) return items;
    const auto* at = reinterpret_cast<const uint8_t*>(list);
    while (loadLe16(at) != 0) {
        items.push_back(readItem(reinterpret_cast<LPCITEMIDLIST>(at)));
        at += loadLe16(at);
    }
    return items;
}

std::vector<std::string> namesOf(const std::vector<ReadItem>& items) {
    std::vector<std::string> names;
    for (const auto& item : items) names.push_back(item.name);
    return names;
}

ShellList deviceRootIdentifier() {
    LPITEMIDLIST computer = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer))) return nullptr;
    const UINT computerBytes = ILGetSize(computer) - 2;
    uint8_t element[20] = {};
    storeLe16(element, sizeof element);
    element[2] = 0x2E;  // a class item below My Computer
    std::memcpy(element + 4, &CLSID_DeviceFolder, sizeof(CLSID));
    auto* out = static_cast<uint8_t*>(CoTaskMemAlloc(computerBytes + sizeof element + 2));
    std::memcpy(out, computer, computerBytes);
    std::memcpy(out + computerBytes, element, sizeof element);
    out[computerBytes + sizeof element] = 0;
    out[computerBytes + sizeof element + 1] = 0;
    CoTaskMemFree(computer);
    return ShellList(reinterpret_cast<LPITEMIDLIST>(out));
}

std::vector<uint8_t> deviceItemsBlock(bool cut, LPCITEMIDLIST folder, const std::vector<LPCITEMIDLIST>& items) {
    const auto count = static_cast<uint32_t>(items.size());
    std::vector<uint8_t> block(12 + 4 * count, 0);
    storeLe32(block.data(), cut ? 1 : 0);
    storeLe32(block.data() + 4, count);
    auto append = [&](LPCITEMIDLIST list) {
        const auto offset = static_cast<uint32_t>(block.size());
        const auto* start = reinterpret_cast<const uint8_t*>(list);
        size_t size = 0;
        while (const uint16_t cb = loadLe16(start + size)) size += cb;
        block.insert(block.end(), start, start + size);
        block.insert(block.end(), 3, 0);
        return offset;
    };
    storeLe32(block.data() + 8, append(folder));
    for (uint32_t i = 0; i < count; ++i) storeLe32(block.data() + 12 + 4 * i, append(items[i]));
    block.push_back(0);
    return block;
}

}  // namespace kestrel::shellext::test
