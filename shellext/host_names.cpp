#include "shellext/host_names.h"

#ifdef _WIN32
#include "shellext/shell_api.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kestrel::shellext {

namespace {

#ifndef _WIN32
// Native builds (the fuzz targets) have no ANSI code page: they take a
// double-byte one, lead bytes 0x81 to 0xFE, so the character-boundary rules
// below are exercised too.
using BYTE = unsigned char;
bool IsDBCSLeadByte(BYTE c) { return c >= 0x81 && c <= 0xFE; }
#endif

bool forbidden(unsigned char c) { return c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr; }

// Replaces trailing dots and spaces: the host would drop them.
void guardEnd(std::string& name) {
    for (auto at = name.rbegin(); at != name.rend() && (*at == '.' || *at == ' '); ++at) *at = '_';
}

bool reservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// The length of `text` cut to at most `limit` bytes without splitting a
// double-byte character of the ANSI code page.
size_t boundaryCut(const std::string& text, size_t limit) {
    size_t at = 0;
    while (at < text.size()) {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < text.size() ? 2 : 1;
        if (at + step > limit) break;
        at += step;
    }
    return at;
}

}  // namespace

std::string hostComponent(const std::string& name) {
    std::string clean = name;
    for (size_t at = 0; at < clean.size(); ++at) {
        const auto c = static_cast<unsigned char>(clean[at]);
        // A trail byte is 0x40 or above: a lead byte followed by "/", ":" or a
        // control character is no character, and those bytes are checked as
        // themselves.
        if (IsDBCSLeadByte(c) && at + 1 < clean.size() && static_cast<unsigned char>(clean[at + 1]) >= 0x40) {
            ++at;  // the trail byte belongs to the character
            continue;
        }
        if (forbidden(c)) clean[at] = '_';
    }
    guardEnd(clean);
    if (clean.empty()) clean = "_";
    if (reservedDeviceName(clean)) clean.insert(clean.begin(), '_');
    return clean;
}

std::string hostRelativePath(const std::vector<std::string>& components) {
    std::string path;
    for (const std::string& component : components) {
        if (!path.empty()) path += '/';
        path += hostComponent(component);
    }
    if (path.size() < HOST_NAME_FIELD) return path;
    path.resize(boundaryCut(path, HOST_NAME_FIELD - 1));
    if (!path.empty() && path.back() == '/') path.back() = '_';
    const size_t lastSlash = path.rfind('/');
    std::string last = path.substr(lastSlash == std::string::npos ? 0 : lastSlash + 1);
    guardEnd(last);
    path.replace(lastSlash == std::string::npos ? 0 : lastSlash + 1, std::string::npos, last);
    return path;
}

std::string hostLeafName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kestrel::shellext
