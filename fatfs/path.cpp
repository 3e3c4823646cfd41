#include "fatfs/path.h"

#include "fatfs/fs_results.h"

#include <algorithm>
#include <vector>

namespace kestrel::fatfs {

namespace {

std::string_view withoutTrailingSeparator(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

// Follows an entry of a path. `entered` holds the directories of the path
// so far: "." stays, ".." steps back, and any other directory must be one
// of its own, not the root or a directory the path is already in (a loop
// on a damaged volume).
uint32_t enterDirectory(Directory& directory, const DirEntry& entry, std::vector<uint32_t>& entered, uint32_t* next) {
    const uint32_t cluster = entry.firstCluster();
    const bool dotName = entry.isDot() && entry.isDirectory();
    if (dotName && entry.name()[1] == '.' && entered.size() > 1) entered.pop_back();
    if (entry.isDirectory() && !dotName) {
        if (!directory.fat().isDataCluster(cluster)) return FS_BROKEN_CHAIN;
        if (std::find(entered.begin(), entered.end(), cluster) != entered.end()) return FS_BROKEN_CHAIN;
        entered.push_back(cluster);
    }
    *next = cluster;
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
    // A trailing "\" adds nothing: "a\" names a as "a" does.
    std::string_view rest = withoutTrailingSeparator(path.substr(colon + 2));
    if (rest.empty() && mode == PathMode::Parent) return FS_INVALID;

    uint32_t current = 0;
    std::vector<uint32_t> entered{0};
    for (size_t separator = rest.find('\\'); separator != std::string_view::npos; separator = rest.find('\\')) {
        const std::string_view component = rest.substr(0, separator);
        if (component.size() > MAX_COMPONENT) return FS_INVALID;
        FoundEntry found;
        if (const uint32_t error = directory.findByName(current, component, &found)) return error;
        if (const uint32_t error = enterDirectory(directory, found.entry, entered, &current)) return error;
        rest = rest.substr(separator + 1);
    }
    if (rest.size() > MAX_COMPONENT) return FS_INVALID;
    if (mode == PathMode::Parent || rest.empty()) {
        *cluster = current;
        return FS_OK;
    }
    FoundEntry found;
    if (const uint32_t error = directory.findByName(current, rest, &found)) return error;
    if (found.entry.isDirectory()) return enterDirectory(directory, found.entry, entered, cluster);
    *cluster = found.entry.firstCluster();
    return FS_OK;
}

}  // namespace kestrel::fatfs
