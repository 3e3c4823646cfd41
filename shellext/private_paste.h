// The drop of device items ("qlxshlextDataFormat") onto a device folder:
// the items' source folder is bound from the Desktop and the items are
// copied (or moved) with the target's MoveCopyItems. Items dropped onto
// their own folder stay as they are.
//
// The block comes from another process through the clipboard or a drag and
// is read with bounds checks: cut flag, count C, the offset of the source
// folder's absolute identifier, C offsets of the item lists, all 32-bit
// little-endian, each list within the block and ending with its terminator.
#pragma once

#include "shellext/id_allocator.h"
#include "shellext/shell_api.h"

#include <optional>
#include <vector>

namespace kestrel::shellext {

class DeviceFolder;

struct DeviceItemsBlock {
    bool cut = false;
    std::vector<uint8_t> folder;               // the source folder's absolute identifier
    std::vector<std::vector<uint8_t>> items;   // each item list with its terminator
};

// The block's contents; none when the block does not hold what it claims.
std::optional<DeviceItemsBlock> readDeviceItems(const uint8_t* bytes, size_t size);

// S_OK (also when the items are already in `target`'s folder), S_FALSE
// when the block is unreadable or the source folder cannot be bound,
// otherwise MoveCopyItems' result.
HRESULT pastePrivateData(DeviceFolder* target, HGLOBAL block, bool move);

}  // namespace kestrel::shellext
