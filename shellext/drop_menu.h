// The menu of a drop made with the right mouse button, as Explorer shows
// it: "&Copy here", "&Move here" (when the source allows a move) and
// "Cancel"; Copy here is the default.
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

// The effect the user chose in the menu shown at `at` (screen coordinates)
// for `owner`, a window of this thread: DROPEFFECT_COPY or DROPEFFECT_MOVE;
// DROPEFFECT_NONE for Cancel, for a menu dismissed without a choice, or
// when no menu can be shown.
[[nodiscard]] DWORD chooseDropEffectFromMenu(HWND owner, POINT at, DWORD allowed);

}  // namespace kestrel::shellext
