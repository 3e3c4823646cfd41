// The drop or paste of device items ("qlxshlextDataFormat") onto a device
// folder, the one way device items reach another device folder:
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

// S_FALSE when the block is unreadable, the source folder cannot be bound
// or the items are already in `target`'s folder (nothing was done, so a
// cut stays on the clipboard and a move is not reported), otherwise
// MoveCopyItems' result.
HRESULT pastePrivateData(DeviceFolder* target, HGLOBAL block, bool move);
// The same for a block already read.
HRESULT pasteDeviceItems(DeviceFolder* target, const DeviceItemsBlock& block, bool move);

}  // namespace kestrel::shellext
