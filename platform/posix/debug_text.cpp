#include "platform/debug_text.h"

#include <cstdio>
#include <cstdlib>

namespace kestrel::platform {

void debugText(const char* text) {
    if (text == nullptr || std::getenv("KESTREL_DEBUG") == nullptr) return;
    std::fputs(text, stderr);
}

}  // namespace kestrel::platform
