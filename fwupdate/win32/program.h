// The window program from start to end (WinMain's body).
#pragma once

#include "platform/win32/win32.h"

namespace kestrel::fwupdate::win32 {

int runProgram(HINSTANCE instance, HINSTANCE previous, const char* commandLine, int show);

}  // namespace kestrel::fwupdate::win32
