#include "usblink/trace_hook.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kestrel::usblink {

int TraceHook::operator()(const char* format, ...) {
    if (!listener_) return 0;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        listener_(std::string(text.data(), static_cast<size_t>(length)));
    }
    va_end(args);
    return 0;
}

}  // namespace kestrel::usblink
