#include "platform/file_replace.h"

#include "platform/win32/win32.h"

namespace kestrel::platform {

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace kestrel::platform
