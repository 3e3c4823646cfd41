// The block of the extension's own clipboard format ("qlxshlextDataFormat")
// that Copy and Cut put on the clipboard: one global memory block
// (GMEM_MOVEABLE, GMEM_ZEROINIT, GMEM_DDESHARE), integers 32-bit
// little-endian:
//
//   0        4      cut flag: 1 cut, 0 copy
//   4        4      item count C
//   8        4      offset of the source folder's absolute identifier: 12 + 4C
//   12       4C     offset of each item's list from the block start
//   12 + 4C  ...    the folder's absolute identifier, then each item list,
//                   each with a three-byte terminator, back to back
//
// followed by one zero byte.
#pragma once

#include "shellext/shell_api.h"

#include <cstddef>

namespace kestrel::shellext {

// The bytes `list` takes in the block: its elements and three zero bytes
// (a null list counts as an empty one).
size_t blockListBytes(LPCITEMIDLIST list);

// The block for `count` items of the folder `folderAbsolute`; null when
// memory cannot be had. The caller owns it.
HGLOBAL deviceItemsBlock(LPCITEMIDLIST folderAbsolute, LPCITEMIDLIST const* items, UINT count, bool cut);

}  // namespace kestrel::shellext
