#include "filex/debug_trace.h"

#include "platform/debug_text.h"

#include <cstdio>
#include <memory>
#include <new>

namespace kestrel::filex {

namespace {

// The formatted text in `block` (DEBUG_TRACE_BUFFER bytes); its length.
int formatInto(char* block, const char* format, va_list arguments) {
    const int wanted = std::vsnprintf(block, DEBUG_TRACE_BUFFER, format, arguments);
    if (wanted < 0) {
        block[0] = '\0';
        return 0;
    }
    return wanted < static_cast<int>(DEBUG_TRACE_BUFFER) ? wanted : static_cast<int>(DEBUG_TRACE_BUFFER) - 1;
}

}  // namespace

int DebugTraceV(const char* format, va_list arguments) {
    const std::unique_ptr<char[]> block(new (std::nothrow) char[DEBUG_TRACE_BUFFER]);
    if (!block) {
        platform::debugText("Error in PrintDS\n");
        return 0;
    }
    const int length = formatInto(block.get(), format, arguments);
    platform::debugText(block.get());
    return length;
}

int DebugTrace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = DebugTraceV(format, arguments);
    va_end(arguments);
    return length;
}

bool debugConfiguration() {
#if defined(KESTREL_FILEX_DEBUG_TRACE)
    return true;
#else
    return false;
#endif
}

void FilexTrace::operator()(const char* format, ...) const {
    if (!enabled_) return;
    va_list arguments;
    va_start(arguments, format);
    if (listener_) {
        const std::unique_ptr<char[]> block(new (std::nothrow) char[DEBUG_TRACE_BUFFER]);
        if (block) {
            const int length = formatInto(block.get(), format, arguments);
            listener_(std::string(block.get(), static_cast<size_t>(length)));
        }
    } else {
        DebugTraceV(format, arguments);
    }
    va_end(arguments);
}

}  // namespace kestrel::filex
