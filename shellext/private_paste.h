// The drop of device items ("qlxshlextDataFormat") onto a device folder:
// the items' source folder is bound from the Desktop and the items are
// copied (or moved) with the target's MoveCopyItems. Items dropped onto
// their own folder stay as they are.
//
// The block comes from another process through the clipboard or a drag and
// is read with bounds checks (device_items_block.h).
#pragma once

#include "shellext/device_items_block.h"
#include "shellext/id_allocator.h"
#include "shellext/shell_api.h"

#include <optional>
#include <vector>

namespace kestrel::shellext {

class DeviceFolder;

// S_OK (also when the items are already in `target`'s folder), S_FALSE
// when the block is unreadable or the source folder cannot be bound,
// otherwise MoveCopyItems' result.
HRESULT pastePrivateData(DeviceFolder* target, HGLOBAL block, bool move);

}  // namespace kestrel::shellext
