#include "shellext/device_names.h"

#include "shellext/device_paths.h"

namespace kestrel::shellext {

namespace {

bool fatCanHold(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
    case '"': case '*': case ':': case '<': case '>': case '?': case '|': case '/': case '\\': return false;
    default: return true;
    }
}

}  // namespace

bool isActionableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name)
        if (!fatCanHold(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<std::string> deviceChildPath(const std::string& folder, std::string_view name) {
    if (!isActionableName(name)) return std::nullopt;
    if (!folder.empty() && !isActionablePath(folder)) return std::nullopt;
    std::string path = folder;
    path += '/';
    path += name;
    if (path.size() > MAX_DEVICE_PATH) return std::nullopt;
    return path;
}

std::string deviceLeafName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isActionablePath(std::string_view path) {
    if (path.size() < 2 || path.size() > MAX_DEVICE_PATH || path.front() != '/') return false;
    size_t start = 1;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string_view name = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (!isActionableName(name)) return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool isPathInside(std::string_view folder, std::string_view path) {
    if (!folder.empty() && !isActionablePath(folder)) return false;
    if (!isActionablePath(path)) return false;
    return path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder && path[folder.size()] == '/';
}

}  // namespace kestrel::shellext
