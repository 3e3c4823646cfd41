#include "shellext/context_menu_block.h"

#include "platform/byte_order.h"
#include "shellext/global_block.h"
#include "shellext/id_allocator.h"

#include <cstring>

namespace kestrel::shellext {

namespace {

constexpr size_t HEADER = 12;

// The element bytes of `list`, without its terminator.
size_t elementBytes(LPCITEMIDLIST list) {
    const uint32_t size = IdAllocator::size(list);
    return size >= item_layout::TERMINATOR ? size - item_layout::TERMINATOR : 0;
}

// Copies the elements of `list` to `at`; the zeroed block supplies the
// terminator. The offset after it.
size_t putList(uint8_t* block, size_t at, LPCITEMIDLIST list) {
    const size_t bytes = elementBytes(list);
    if (bytes > 0) std::memcpy(block + at, list, bytes);
    return at + bytes + item_layout::TERMINATOR;
}

}  // namespace

size_t blockListBytes(LPCITEMIDLIST list) { return elementBytes(list) + item_layout::TERMINATOR; }

HGLOBAL deviceItemsBlock(LPCITEMIDLIST folderAbsolute, LPCITEMIDLIST const* items, UINT count, bool cut) {
    size_t total = HEADER + 4 * size_t{count} + blockListBytes(folderAbsolute);
    for (UINT i = 0; i < count; ++i) total += blockListBytes(items[i]);
    GlobalBlock block(total + 1);
    if (!block.valid()) return nullptr;
    {
        LockedBlock locked(block.get());
        uint8_t* bytes = locked.bytes();
        if (bytes == nullptr) return nullptr;
        storeLe32(bytes, cut ? 1 : 0);
        storeLe32(bytes + 4, count);
        size_t at = HEADER + 4 * size_t{count};
        storeLe32(bytes + 8, static_cast<uint32_t>(at));
        at = putList(bytes, at, folderAbsolute);
        for (UINT i = 0; i < count; ++i) {
            storeLe32(bytes + HEADER + 4 * size_t{i}, static_cast<uint32_t>(at));
            at = putList(bytes, at, items[i]);
        }
    }
    return block.release();
}

}  // namespace kestrel::shellext
