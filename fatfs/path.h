// Paths: "dev0:\" followed by short-name components separated by "\".
// Parent mode resolves to the directory holding the final component, target
// mode to the final component itself (0 for the root).
#pragma once

#include "fatfs/directory.h"

#include <cstdint>
#include <string_view>

namespace kestrel::fatfs {

inline constexpr size_t MAX_COMPONENT = 40;
inline constexpr size_t MAX_PATH_LENGTH = 259;

enum class PathMode { Parent, Target };

uint32_t resolvePath(Directory& directory, std::string_view path, PathMode mode, uint32_t* cluster);

// The text after the last "\" (a trailing "\" ignored).
std::string_view finalComponent(std::string_view path);

// The text up to and including the last "\" (a trailing "\" ignored).
std::string_view directoryText(std::string_view path);

}  // namespace kestrel::fatfs
