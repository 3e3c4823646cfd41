#include "shellext/item_blocks.h"

#include "platform/byte_order.h"
#include "shellext/global_block.h"
#include "shellext/host_names.h"
#include "shellext/id_allocator.h"

#include <cstring>

namespace kestrel::shellext {

namespace {

constexpr uint32_t KEPT_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

FILETIME fileTimeOf(const ItemView& item) {
    FILETIME local{};
    FILETIME universal{};
    if (!CoDosDateTimeToFileTime(static_cast<WORD>(item.dosDate()), static_cast<WORD>(item.dosTime()), &local))
        return universal;
    LocalFileTimeToFileTime(&local, &universal);
    return universal;
}

}  // namespace

FILEDESCRIPTORA descriptorOf(LPCITEMIDLIST entry) {
    FILEDESCRIPTORA record{};
    std::vector<std::string> names;
    const uint8_t* last = nullptr;
    for (LPCITEMIDLIST at = entry; at != nullptr && elementSize(reinterpret_cast<const uint8_t*>(at)) != 0;
         at = IdAllocator::next(at)) {
        const ItemView item(reinterpret_cast<const uint8_t*>(at));
        if (!item.valid()) return FILEDESCRIPTORA{};
        names.emplace_back(item.name());
        last = reinterpret_cast<const uint8_t*>(at);
    }
    if (last == nullptr) return record;
    const ItemView item(last);
    const std::string path = hostRelativePath(names);
    std::memcpy(record.cFileName, path.c_str(), path.size() + 1);
    record.dwFlags = DESCRIPTOR_FLAGS;
    record.dwFileAttributes = FILE_ATTRIBUTE_NORMAL | (item.attributes() & KEPT_ATTRIBUTES);
    record.nFileSizeLow = item.size();
    record.nFileSizeHigh = 0;
    record.ftCreationTime = record.ftLastAccessTime = record.ftLastWriteTime = fileTimeOf(item);
    return record;
}

HGLOBAL fileGroupDescriptorBlock(const std::vector<LPCITEMIDLIST>& entries) {
    GlobalBlock block(4 + entries.size() * sizeof(FILEDESCRIPTORA));
    if (!block.valid()) return nullptr;
    {
        LockedBlock locked(block.get());
        if (locked.bytes() == nullptr) return nullptr;
        storeLe32(locked.bytes(), static_cast<uint32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            const FILEDESCRIPTORA record = descriptorOf(entries[i]);
            std::memcpy(locked.bytes() + 4 + i * sizeof record, &record, sizeof record);
        }
    }
    return block.release();
}

HGLOBAL idListArrayBlock(LPCITEMIDLIST folder, const std::vector<LPCITEMIDLIST>& entries) {
    const auto count = static_cast<uint32_t>(entries.size());
    const uint32_t head = 8 + 4 * count;
    size_t total = head + IdAllocator::size(folder);
    for (LPCITEMIDLIST entry : entries) total += IdAllocator::size(entry);
    GlobalBlock block(total + 1);
    if (!block.valid()) return nullptr;
    {
        LockedBlock locked(block.get());
        if (locked.bytes() == nullptr) return nullptr;
        uint8_t* bytes = locked.bytes();
        storeLe32(bytes, count);
        uint32_t at = head;
        auto place = [&](uint32_t slot, LPCITEMIDLIST list) {
            storeLe32(bytes + 4 + 4 * slot, at);
            // the elements; the block is zeroed, so the terminator is there
            const uint32_t size = IdAllocator::size(list);
            if (size > 0) std::memcpy(bytes + at, list, size - 3);
            at += size;
        };
        place(0, folder);
        for (uint32_t i = 0; i < count; ++i) place(i + 1, entries[i]);
    }
    return block.release();
}

}  // namespace kestrel::shellext
