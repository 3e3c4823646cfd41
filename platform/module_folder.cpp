#include "platform/module.h"

namespace kestrel::platform {

std::string moduleFolder(const void* address) {
    const std::string path = moduleFilePath(address);
#ifdef _WIN32
    const size_t cut = path.find_last_of("\\/");
#else
    const size_t cut = path.rfind(PATH_SEPARATOR);
#endif
    if (cut == std::string::npos) return {};
    return path.substr(0, cut == 0 ? 1 : cut);
}

}  // namespace kestrel::platform
