#include "shellext/device_items_block.h"

#include "platform/byte_order.h"

namespace kestrel::shellext {

namespace {

// The list at `offset`, elements and a terminator of two zero bytes (a third
// is added); none when it runs past the block.
std::optional<std::vector<uint8_t>> listAt(const uint8_t* bytes, size_t size, uint32_t offset) {
    size_t at = offset;
    for (;;) {
        if (at > size || size - at < 2) return std::nullopt;
        const uint16_t cb = loadLe16(bytes + at);
        if (cb == 0) break;
        if (cb < 2 || size - at < cb) return std::nullopt;
        at += cb;
    }
    std::vector<uint8_t> list(bytes + offset, bytes + at);
    list.insert(list.end(), 3, 0);
    return list;
}

}  // namespace

std::optional<DeviceItemsBlock> readDeviceItems(const uint8_t* bytes, size_t size) {
    if (bytes == nullptr || size < 12) return std::nullopt;
    DeviceItemsBlock block;
    block.cut = loadLe32(bytes) != 0;
    const uint32_t count = loadLe32(bytes + 4);
    if (count > (size - 12) / 4) return std::nullopt;
    auto folder = listAt(bytes, size, loadLe32(bytes + 8));
    if (!folder) return std::nullopt;
    block.folder = std::move(*folder);
    for (uint32_t i = 0; i < count; ++i) {
        auto item = listAt(bytes, size, loadLe32(bytes + 12 + 4 * i));
        if (!item) return std::nullopt;
        block.items.push_back(std::move(*item));
    }
    return block;
}

}  // namespace kestrel::shellext
