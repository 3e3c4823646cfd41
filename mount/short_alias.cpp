#include "mount/short_alias.h"

#include "mount/names.h"

#include <string>

namespace kestrel::mount {

namespace {

constexpr std::string_view DOS_SPECIALS = "!#$%&'()-@^_`{}~";
constexpr size_t BASE_MAX = 8;
constexpr size_t EXTENSION_MAX = 3;
constexpr unsigned ALIAS_NUMBER_LIMIT = 999999;

bool isDosCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           DOS_SPECIALS.find(c) != std::string_view::npos;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool allDos(std::string_view part) {
    for (char c : part) {
        if (!isDosCharacter(c)) return false;
    }
    return true;
}

// The characters of `part` that a short name can hold, in capitals; other
// characters (spaces and dots dropped, + , ; = [ ] as "_").
std::string dosCharacters(std::string_view part) {
    std::string out;
    for (char c : part) {
        if (isDosCharacter(c)) {
            out += upper(c);
        } else if (std::string_view("+,;=[]").find(c) != std::string_view::npos) {
            out += '_';
        }
    }
    return out;
}

bool taken(const std::string& candidate, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (sameName(candidate, name)) return true;
    }
    return false;
}

std::string upperText(std::string_view text) {
    std::string out;
    for (char c : text) out += upper(c);
    return out;
}

}  // namespace

bool isShortForm(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return !name.empty() && name.size() <= BASE_MAX && allDos(name);
    const std::string_view base = name.substr(0, dot);
    const std::string_view extension = name.substr(dot + 1);
    return !base.empty() && base.size() <= BASE_MAX && !extension.empty() && extension.size() <= EXTENSION_MAX &&
           allDos(base) && allDos(extension);
}

bool libraryWouldChange(std::string_view name) {
    const size_t n = name.size();
    const size_t dot = name.rfind('.');
    const size_t extension = dot == std::string_view::npos ? 0 : n - dot - 1;
    const bool fitsLengths =
        dot == std::string_view::npos ? n >= 1 && n <= BASE_MAX : n < 12 && extension <= EXTENSION_MAX && n - extension - 1 <= BASE_MAX;
    return fitsLengths && !(isShortForm(name) && upperText(name) == name);
}

bool libraryWouldOnlyCapitalise(std::string_view name) {
    return libraryWouldChange(name) && isShortForm(name);
}

std::string shortAliasFor(std::string_view name, const std::vector<std::string>& names) {
    if (isShortForm(name) && !taken(upperText(name), names)) return upperText(name);
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot != 0;
    std::string base = dosCharacters(hasExtension ? name.substr(0, dot) : name);
    std::string extension = hasExtension ? dosCharacters(name.substr(dot + 1)) : "";
    if (base.empty()) base = "_";
    if (extension.size() > EXTENSION_MAX) extension.resize(EXTENSION_MAX);
    const std::string suffix = extension.empty() ? "" : "." + extension;
    for (unsigned n = 1; n <= ALIAS_NUMBER_LIMIT; ++n) {
        const std::string tail = "~" + std::to_string(n);
        const std::string candidate = base.substr(0, BASE_MAX - tail.size()) + tail + suffix;
        if (!taken(candidate, names)) return candidate;
    }
    return {};
}

}  // namespace kestrel::mount
