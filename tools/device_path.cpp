#include "tools/device_path.h"

#include <algorithm>

namespace kestrel::cli {

namespace {

constexpr size_t BASE_MAX = 8;
constexpr size_t EXTENSION_MAX = 3;
constexpr std::string_view NEVER_IN_NAMES = "\"*:<>?|\\";
constexpr std::string_view DOS_SPECIALS = "!#$%&'()-@^_`{}~";

bool isDosNameChar(char c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    return letter || digit || DOS_SPECIALS.find(c) != std::string_view::npos;
}

bool allDosNameChars(std::string_view part) { return std::all_of(part.begin(), part.end(), isDosNameChar); }

char upperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Why `component` cannot name a directory entry; empty when it can.
std::string componentProblem(std::string_view component) {
    if (component == "." || component == "..") return "'.' and '..' are not supported in device paths";
    if (component.size() > LONG_NAME_MAX) {
        return "'" + std::string(component) + "' is longer than " + std::to_string(LONG_NAME_MAX) + " characters";
    }
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) return "'" + std::string(component) + "' holds a non-ASCII or control character";
        if (NEVER_IN_NAMES.find(c) != std::string_view::npos) {
            return "'" + std::string(component) + "' holds the character " + std::string(1, c) +
                   ", which no name on the device can hold";
        }
    }
    return {};
}

}  // namespace

const std::string& DevicePath::name() const {
    static const std::string root;
    return components_.empty() ? root : components_.back();
}

DevicePath DevicePath::child(const std::string& name) const {
    auto components = components_;
    components.push_back(name);
    return DevicePath(std::move(components));
}

std::string DevicePath::text() const {
    if (components_.empty()) return "/";
    std::string text;
    for (const auto& component : components_) text += "/" + component;
    return text;
}

std::optional<DevicePath> parseDevicePath(std::string_view text, std::string* error) {
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('/', start), text.size());
        const std::string_view component = text.substr(start, end - start);
        if (!component.empty()) {
            if (const std::string problem = componentProblem(component); !problem.empty()) {
                if (error) *error = problem;
                return std::nullopt;
            }
            components.emplace_back(component);
        }
        start = end + 1;
    }
    return DevicePath(std::move(components));
}

bool isShortName(std::string_view name) {
    const size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    if (base.empty() || base.size() > BASE_MAX || !allDosNameChars(base)) return false;
    if (dot == std::string_view::npos) return true;
    const std::string_view extension = name.substr(dot + 1);
    return !extension.empty() && extension.size() <= EXTENSION_MAX && allDosNameChars(extension);
}

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), upperChar);
    return upper;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upperChar(x) == upperChar(y); });
}

std::optional<std::string> oryxPathOf(const std::vector<std::string>& shortNames) {
    std::string path = ORYX_ROOT;
    for (size_t i = 0; i < shortNames.size(); ++i) {
        if (i != 0) path += '\\';
        path += upperAscii(shortNames[i]);
    }
    if (path.size() > ORYX_PATH_MAX) return std::nullopt;
    return path;
}

}  // namespace kestrel::cli
