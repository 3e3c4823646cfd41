#include "fwupdate/core/operation_log.h"

namespace kestrel::fwupdate {

int OperationLog::vprintf(const char* format, va_list arguments) {
    char line[LINE_BUFFER];
    int length = std::vsnprintf(line, sizeof line, format, arguments);
    if (length < 0) return 0;
    if (static_cast<size_t>(length) >= sizeof line) length = static_cast<int>(sizeof line - 1);

    if (std::FILE* file = std::fopen(path_.c_str(), "a")) {
        std::fwrite(line, 1, static_cast<size_t>(length), file);
        std::fclose(file);
    }
    if (console_ != nullptr) {
        std::fwrite(line, 1, static_cast<size_t>(length), console_);
        std::fflush(console_);
    }
    return length;
}

int OperationLog::printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = vprintf(format, arguments);
    va_end(arguments);
    return length;
}

}  // namespace kestrel::fwupdate
