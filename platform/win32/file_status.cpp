#include "platform/file_status.h"

#include <sys/stat.h>

namespace kestrel::platform {

std::optional<FileStatus> fileStatus(std::FILE* file) {
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0 || info.st_size < 0) return std::nullopt;
    return FileStatus{static_cast<uint64_t>(info.st_size), static_cast<std::time_t>(info.st_mtime),
                      (info.st_mode & _S_IFMT) == _S_IFREG};
}

}  // namespace kestrel::platform
