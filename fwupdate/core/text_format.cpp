#include "fwupdate/core/text_format.h"

#include <cstdio>
#include <vector>

namespace kestrel::fwupdate {

std::string formatTextV(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<size_t>(length));
}

std::string formatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatTextV(format, arguments);
    va_end(arguments);
    return text;
}

std::string percentText(uint32_t percent) { return formatText("%3d%%", static_cast<int>(percent)); }

}  // namespace kestrel::fwupdate
