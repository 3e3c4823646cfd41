#include "mount/names.h"

#include <cerrno>

namespace kestrel::mount {

namespace {

constexpr std::string_view FORBIDDEN = "\"*/:<>?\\|";

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int32_t checkNewName(std::string_view name) {
    if (name.size() > NAME_MAX_LENGTH) return -ENAMETOOLONG;
    if (name.empty() || name == "." || name == "..") return -EINVAL;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || FORBIDDEN.find(c) != std::string_view::npos) return -EINVAL;
    }
    if (name.back() == '.' || name.back() == ' ') return -EINVAL;
    return 0;
}

int32_t splitPath(std::string_view text, NodePath& path) {
    path.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t slash = text.find('/', at);
        const size_t end = slash == std::string_view::npos ? text.size() : slash;
        if (end > at) {
            if (end - at > NAME_MAX_LENGTH) return -ENAMETOOLONG;
            path.emplace_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return 0;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool samePath(const NodePath& a, const NodePath& b) { return a.size() == b.size() && isWithin(a, b); }

bool isWithin(const NodePath& inner, const NodePath& outer) {
    if (inner.size() < outer.size()) return false;
    for (size_t i = 0; i < outer.size(); ++i) {
        if (!sameName(inner[i], outer[i])) return false;
    }
    return true;
}

std::string pathText(const NodePath& path) {
    if (path.empty()) return "/";
    std::string text;
    for (const auto& component : path) text += "/" + component;
    return text;
}

}  // namespace kestrel::mount
