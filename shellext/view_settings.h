// The shell settings the folder view follows: the list-view style of a view
// mode and the extended style of the user's click setting.
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

// The list-view type bits of a view mode: LVS_ICON (1 large icons),
// LVS_SMALLICON (2), LVS_LIST (3), LVS_REPORT (any other).
DWORD listTypeStyle(UINT viewMode);
// The view-mode command (14 to 17) of a view mode; details for any mode
// other than 1 to 3.
UINT viewModeCommand(UINT viewMode);

// The extended list-view style: none when SHGetSettings (looked up by name
// in shell32.dll) reports double-click in web view or the classic shell, or
// is missing; otherwise the single-click style (LVS_EX_TRACKSELECT,
// LVS_EX_ONECLICKACTIVATE, LVS_EX_UNDERLINEHOT).
DWORD clickExtendedStyle();

}  // namespace kestrel::shellext
