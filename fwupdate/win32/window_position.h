// The main window's position, kept in the registry under the subkey
// "Windows position" as four signed 32-bit little-endian integers: left,
// top, right, bottom (right and bottom -1: position only).
#pragma once

#include "fwupdate/win32/monitors.h"

namespace kestrel::fwupdate::win32 {

inline constexpr const char* POSITION_SUBKEY = "Windows position";

// Stores the window's normal-position rectangle; without keepSize, right
// and bottom are stored as -1. 1 when stored, 0 otherwise.
int SaveWindowPosition(HWND window, const char* valueName, bool keepSize);

// Applies a stored position (and size, unless right and bottom are -1),
// then keeps the window on screen. 1 when a stored position was applied.
int RestoreWindowPosition(HWND window, const char* valueName, const MonitorFunctions& monitors);

// Moves a window whose top-left or bottom-right corner is off the screen
// into the work area of the monitor nearest to it, size unchanged.
void KeepOnScreen(HWND window, const MonitorFunctions& monitors);

}  // namespace kestrel::fwupdate::win32
