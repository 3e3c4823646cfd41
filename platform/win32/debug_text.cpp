#include "platform/debug_text.h"

#include "platform/win32/win32.h"

namespace kestrel::platform {

void debugText(const char* text) {
    if (text != nullptr) OutputDebugStringA(text);
}

}  // namespace kestrel::platform
