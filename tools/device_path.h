// Paths on the device as people write them ("/MUSIC/A.MP3") and as the
// library takes them ("dev0:\MUSIC\A.MP3").
//
// A component is a name as stored in a directory entry: an 8.3 short name
// (any case; the library keeps it in capitals) or, for entries that have
// one, a long name of up to 39 printable ASCII characters. The library
// resolves paths through short names only, so long names are turned into
// short ones by looking them up (device_tree.h); new entries must be given
// short names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::cli {

inline constexpr size_t LONG_NAME_MAX = 39;
// The library refuses longer paths, volume prefix included.
inline constexpr size_t ORYX_PATH_MAX = 259;
inline constexpr const char* ORYX_ROOT = "dev0:\\";

class DevicePath {
public:
    DevicePath() = default;  // the root
    explicit DevicePath(std::vector<std::string> components) : components_(std::move(components)) {}

    const std::vector<std::string>& components() const { return components_; }
    bool isRoot() const { return components_.empty(); }
    // The last component; empty for the root.
    const std::string& name() const;
    DevicePath child(const std::string& name) const;
    // "/MUSIC/A.MP3"; "/" for the root.
    std::string text() const;

private:
    std::vector<std::string> components_;
};

// Parses a path written with "/" (the leading "/" may be left out; repeated
// and trailing "/" are ignored). Nullopt with `error` for components that
// no directory entry can carry: ".", "..", "\", non-ASCII or control
// characters, the characters " * : < > ? |, or more than 39 characters.
std::optional<DevicePath> parseDevicePath(std::string_view text, std::string* error);

// True when `name` is an 8.3 short name that the library stores as written
// (apart from case): 1-8 name characters, optionally "." and 1-3 extension
// characters, all from the DOS set (letters, digits, ! # $ % & ' ( ) - @ ^ _
// ` { } ~).
bool isShortName(std::string_view name);

// ASCII upper case.
std::string upperAscii(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// "dev0:\" followed by the short names joined with "\", in capitals.
// Nullopt when the result would be longer than the library accepts.
std::optional<std::string> oryxPathOf(const std::vector<std::string>& shortNames);

}  // namespace kestrel::cli
