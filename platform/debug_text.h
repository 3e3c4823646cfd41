// Diagnostic text: OutputDebugString on Windows; standard error on POSIX when
// KESTREL_DEBUG is set (and nothing otherwise).
#pragma once

namespace kestrel::platform {

void debugText(const char* text);

}  // namespace kestrel::platform
