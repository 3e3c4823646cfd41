// CreateChildDialog: a dialog template of the program's resources created as
// a modeless child at its parent's origin, the parent sized around it.
#pragma once

#include "platform/win32/win32.h"

namespace kestrel::fwupdate::win32 {

// The dialog, shown; null when the parent is no window or the template
// cannot be loaded or created. The dialog procedure receives the parent's
// handle as its creation parameter.
HWND CreateChildDialog(const char* templateName, HINSTANCE instance, DLGPROC procedure, HWND parent);

}  // namespace kestrel::fwupdate::win32
