#include "fatfs/path.h"

#include "fatfs/fs_results.h"

namespace kestrel::fatfs {

namespace {

std::string_view withoutTrailingSeparator(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

// Steps from the directory `*current` into its subdirectory `name`: a
// file or a volume label on the way is no directory (23), whatever its
// data holds.
uint32_t enterDirectory(Directory& directory, std::string_view name, uint32_t* current) {
    FoundEntry found;
    if (const uint32_t error = directory.findByName(*current, name, &found)) return error;
    if (!found.entry.isDirectory() || found.entry.isVolumeLabel()) return FS_NOT_FOUND;
    *current = found.entry.firstCluster();
    return FS_OK;
}

}  // namespace

std::string_view finalComponent(std::string_view path) {
    path = withoutTrailingSeparator(path);
    const size_t separator = path.rfind('\\');
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string_view directoryText(std::string_view path) {
    path = withoutTrailingSeparator(path);
    const size_t separator = path.rfind('\\');
    return separator == std::string_view::npos ? std::string_view{} : path.substr(0, separator + 1);
}

uint32_t resolvePath(Directory& directory, std::string_view path, PathMode mode, uint32_t* cluster) {
    const size_t colon = path.find(':');
    if (colon == std::string_view::npos || path.size() > MAX_PATH_LENGTH) return FS_INVALID;
    if (colon + 1 >= path.size() || path[colon + 1] != '\\') return FS_INVALID;
    // A trailing "\" adds nothing: "a\" names a as "a" does, as long as a
    // is a directory.
    const std::string_view named = path.substr(colon + 2);
    std::string_view rest = withoutTrailingSeparator(named);
    const bool trailingSeparator = rest.size() != named.size();
    if (rest.empty() && mode == PathMode::Parent) return FS_INVALID;

    uint32_t current = 0;
    for (size_t separator = rest.find('\\'); separator != std::string_view::npos; separator = rest.find('\\')) {
        const std::string_view component = rest.substr(0, separator);
        if (component.size() > MAX_COMPONENT) return FS_INVALID;
        if (const uint32_t error = enterDirectory(directory, component, &current)) return error;
        rest = rest.substr(separator + 1);
    }
    if (rest.size() > MAX_COMPONENT) return FS_INVALID;
    if (mode == PathMode::Parent || rest.empty()) {
        *cluster = current;
        return FS_OK;
    }
    if (trailingSeparator) {
        if (const uint32_t error = enterDirectory(directory, rest, &current)) return error;
        *cluster = current;
        return FS_OK;
    }
    FoundEntry found;
    if (const uint32_t error = directory.findByName(current, rest, &found)) return error;
    *cluster = found.entry.firstCluster();
    return FS_OK;
}

}  // namespace kestrel::fatfs
