#include "tools/oryx_result.h"

#include "tools/failure.h"

namespace kestrel::cli {

const char* oryxResultMeaning(uint32_t result) {
    switch (result) {
    case 0: return "success";
    case 1: return "program or erase failed";
    case 2: return "card not recognised";
    case 5: return "volume not usable, no FAT file system found; kestrel format makes one";
    case 11: return "invalid argument";
    case 12: return "disk full";
    case 13: return "block not mapped";
    case 14: return "uncorrectable ECC error";
    case 16: return "too many handles of this file";
    case 17: return "name already exists";
    case 18: return "directory not empty";
    case 19: return "end of file or directory";
    case 20: return "handle not open";
    case 21: return "source or destination directory not found";
    case 23: return "not found";
    case 24: return "broken cluster chain";
    case 25: return "not possible on the root directory";
    case 27: return "file not open for writing";
    case 28: return "out of memory or sector buffers";
    case 29: return "root directory full";
    case 31: return "card or device not answering";
    case 32: return "too many open files";
    case 33: return "device failed or file allocation table unreadable";
    default: return "unknown result";
    }
}

std::string describeOryxResult(uint32_t result) {
    return "ORYX result " + std::to_string(result) + " (" + oryxResultMeaning(result) + ")";
}

void checkOryx(uint32_t result, const std::string& what) {
    if (result != 0) fail(what + ": " + describeOryxResult(result));
}

}  // namespace kestrel::cli
