#include "shellext/user_messages.h"

#include "shellext/shell_api.h"

#include <cstdarg>
#include <cstdio>

namespace kestrel::shellext {

std::string formatText(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return length < 0 ? std::string() : std::string(text);
}

void showError(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), MESSAGE_CAPTION, MB_SYSTEMMODAL | MB_ICONERROR);
}

bool askYesNo(const std::string& text) {
    return MessageBoxA(nullptr, text.c_str(), MESSAGE_CAPTION, MB_SYSTEMMODAL | MB_ICONQUESTION | MB_YESNO) == IDYES;
}

}  // namespace kestrel::shellext
