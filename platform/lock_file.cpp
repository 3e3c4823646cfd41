// The platform-neutral part of lock files: their names.
#include "platform/lock_file.h"

namespace kestrel::platform::detail {

std::string lockFileName(std::string_view name) {
    std::string file = "kestrel-";
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        file += plain ? c : '_';
    }
    return file + ".lock";
}

}  // namespace kestrel::platform::detail
