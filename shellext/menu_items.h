// Building menus from the library's string table: string items, submenus
// and separators inserted by position (MIIM_ID, MIIM_TYPE, MIIM_STATE), and
// the separator check that keeps groups of entries apart without doubling
// a separator that is already there.
#pragma once

#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext {

// String resource `id` of the library; empty when it is missing.
std::string loadResourceString(UINT id);

// Inserts the string `textId` at `position` with command `command` and
// `state` (MFS_ENABLED, MFS_GRAYED, MFS_DEFAULT...); with a submenu when
// `submenu` is given (the menu then owns it).
bool insertStringItem(HMENU menu, UINT position, UINT command, UINT textId, UINT state = MFS_ENABLED,
                      HMENU submenu = nullptr);
bool insertSeparator(HMENU menu, UINT position, UINT command = 0);
// The separator check at `position`: when the menu has items and the one at
// `position` is not a separator, a separator is inserted there; `position`
// moves past the separator either way. Nothing for an empty menu.
void separatorCheck(HMENU menu, UINT& position);

// The submenu of the item with command `command`; null when there is none.
HMENU submenuOf(HMENU menu, UINT command);
// The state bits (MFS_*) of the item with command `command`; ~0u when the
// menu has no such item.
UINT itemState(HMENU menu, UINT command);

}  // namespace kestrel::shellext
