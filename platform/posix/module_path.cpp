#include "platform/module.h"

#include "platform/process.h"

#include <dlfcn.h>
#include <link.h>

namespace kestrel::platform {

std::string moduleFilePath(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (address == nullptr || dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr)
        return {};
    // The main program's entry carries no name (dladdr would report argv[0],
    // which may be relative or a bare name found through PATH).
    if (module->l_name == nullptr || module->l_name[0] == '\0') return currentExecutablePath();
    return module->l_name;
}

}  // namespace kestrel::platform
