// The Windows headers of the namespace extension: the one wrapper of the
// code base (platform/win32/win32.h) followed by COM, OLE, the shell and
// the common controls. Every file of the extension includes this, never a
// Windows header of its own.
#pragma once

#include "platform/win32/win32.h"

#include <objbase.h>
#include <ole2.h>
#include <olectl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <commctrl.h>
