// The file of the loaded module (executable or shared library) that holds a
// given address, and the path separator of the platform.
#pragma once

#include <string>

namespace kestrel::platform {

inline constexpr char PATH_SEPARATOR =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// Full path of the module containing `address`; empty when unknown.
std::string moduleFilePath(const void* address);

// The folder of that module, without a trailing separator.
std::string moduleFolder(const void* address);

}  // namespace kestrel::platform
