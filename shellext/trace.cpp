#include "shellext/trace.h"

#include "filex/debug_trace.h"

#include <cstdarg>

namespace kestrel::shellext {

std::string guidText(REFGUID guid) {
    wchar_t wide[64] = {};
    if (StringFromGUID2(guid, wide, 64) == 0) return {};
    char text[64] = {};
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr) == 0) return {};
    return text;
}

void traceLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    filex::DebugTraceV(format, arguments);
    va_end(arguments);
}

}  // namespace kestrel::shellext
