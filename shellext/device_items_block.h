// The block of device items ("qlxshlextDataFormat") as it comes from
// another process through the clipboard or a drag: cut flag, count C, the
// offset of the source folder's absolute identifier, C offsets of the item
// lists, all 32-bit little-endian, each list within the block and ending
// with its terminator. Read with bounds checks; no Windows calls, so that
// it builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel::shellext {

struct DeviceItemsBlock {
    bool cut = false;
    std::vector<uint8_t> folder;               // the source folder's absolute identifier
    std::vector<std::vector<uint8_t>> items;   // each item list with its terminator
};

// The block's contents; none when the block does not hold what it claims.
std::optional<DeviceItemsBlock> readDeviceItems(const uint8_t* bytes, size_t size);

}  // namespace kestrel::shellext
