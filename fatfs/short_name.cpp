// Short forms of names: upper-cased 8.3 with spaces and surplus dots
// dropped, and a numeric tail (~1 to ~4, then four random hex digits and
// ~1) when something had to be dropped.
#include "fatfs/directory.h"

#include "fatfs/fs_results.h"

#include <cstdio>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t BASE_LENGTH = 8;
constexpr uint32_t EXTENSION_LENGTH = 3;
constexpr uint32_t RANDOM_TAIL_TRIES = 65536;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

struct Converted {
    ShortName name;
    uint32_t baseKept = 0;
    bool lossy = false;
};

Converted convert(std::string_view name) {
    Converted out;
    out.name.fill(' ');
    // Leading dots are dropped: ".profile" is PROFIL~1, never a blank base
    // with the extension PRO.
    const size_t named = name.find_first_not_of('.');
    if (named != 0) {
        out.lossy = true;
        name = named == std::string_view::npos ? std::string_view{} : name.substr(named);
    }
    const size_t dot = name.rfind('.');
    const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    if (dot != std::string_view::npos) {
        uint32_t kept = 0;
        for (char c : name.substr(dot + 1)) {
            if (c == ' ') {
                out.lossy = true;
            } else if (kept < EXTENSION_LENGTH) {
                out.name[BASE_LENGTH + kept++] = static_cast<uint8_t>(upper(c));
            }
        }
    }
    uint32_t eligible = 0;
    for (char c : base) {
        if (c == ' ' || c == '.') {
            out.lossy = true;
            continue;
        }
        if (eligible++ < BASE_LENGTH) out.name[out.baseKept++] = static_cast<uint8_t>(upper(c));
    }
    if (eligible > BASE_LENGTH) out.lossy = true;
    if (out.name[0] == ENTRY_DELETED) out.name[0] = ENTRY_E5_STORED;
    return out;
}

}  // namespace

uint32_t Directory::shortForm(uint32_t directory, std::string_view name, ShortName* out) {
    if (name == "." || name == "..") {
        out->fill(' ');
        std::copy(name.begin(), name.end(), out->begin());
        return FS_OK;
    }
    Converted converted = convert(name);
    *out = converted.name;
    if (!converted.lossy) return FS_OK;

    const auto taken = [&](const ShortName& candidate, uint32_t* error) {
        FoundEntry found;
        const uint32_t result = search(directory, SearchMode::ShortNameEquals, {candidate, 0}, &found);
        *error = (result == FS_OK || result == FS_NOT_FOUND) ? FS_OK : result;
        return result == FS_OK;
    };
    const uint32_t i = std::min<uint32_t>(converted.baseKept, 6);
    for (uint32_t t = 1; t <= 4; ++t) {
        ShortName candidate = converted.name;
        candidate[i] = '~';
        candidate[i + 1] = static_cast<uint8_t>('0' + t);
        uint32_t error = FS_OK;
        const bool used = taken(candidate, &error);
        if (error != FS_OK) return error;
        if (!used) {
            *out = candidate;
            return FS_OK;
        }
    }
    const uint32_t j = std::min<uint32_t>(converted.baseKept, 2);
    for (uint32_t attempt = 0; attempt < RANDOM_TAIL_TRIES; ++attempt) {
        ShortName candidate = converted.name;
        char hex[5];
        std::snprintf(hex, sizeof hex, "%04X", random_() % 32768u);
        for (uint32_t d = 0; d < 4; ++d) candidate[j + d] = static_cast<uint8_t>(hex[d]);
        candidate[j + 4] = '~';
        candidate[j + 5] = '1';
        uint32_t error = FS_OK;
        const bool used = taken(candidate, &error);
        if (error != FS_OK) return error;
        if (!used) {
            *out = candidate;
            return FS_OK;
        }
    }
    return FS_EXISTS;
}

}  // namespace kestrel::fatfs
