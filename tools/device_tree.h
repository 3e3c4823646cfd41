// The device's directories as the tool sees them: listings through
// mt_smGetListNumDir and mt_smReadDirEx, and paths resolved component by
// component to the short names the library looks up, matching a component
// against an entry's short name or its long name (ignoring ASCII case).
#pragma once

#include "oryx/oryx.h"
#include "tools/device_path.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrel::cli {

inline constexpr uint32_t ATTRIBUTE_VOLUME_LABEL = 0x08;
inline constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10;

struct DeviceEntry {
    std::string shortName;  // "A.MP3"
    std::string longName;   // UTF-8; empty when the entry has none
    std::u16string longNameUnits;  // the same as stored, without the terminating 0
    oryx_stat stat{};

    bool isDirectory() const { return (stat.attributes & ATTRIBUTE_DIRECTORY) != 0; }
    // The long name when there is one, else the short name.
    const std::string& displayName() const { return longName.empty() ? shortName : longName; }
    // True when `component` names this entry.
    bool answersTo(const std::string& component) const;
};

// A device path with its components turned into short names.
struct ResolvedPath {
    DevicePath path;                      // as it was asked for
    std::vector<std::string> shortNames;  // the parents', and the final one when known
    std::optional<DeviceEntry> entry;     // the final entry; none for the root or a missing name

    bool isRoot() const { return path.isRoot(); }
    bool exists() const { return isRoot() || entry.has_value(); }
    bool isDirectory() const { return isRoot() || (entry && entry->isDirectory()); }
    // The library path of the entry. For a name that does not exist yet the
    // final component must be an 8.3 name (a usage error otherwise).
    std::string oryxPath() const;
};

class DeviceTree {
public:
    // The entries of a directory, without "." and ".." and without the
    // volume label. `shownAs` names the directory in messages.
    std::vector<DeviceEntry> list(const std::string& oryxDirectory, const std::string& shownAs);

    // Resolves every component; the parents must exist and be directories
    // (a failure otherwise). The final component may be missing.
    ResolvedPath resolve(const DevicePath& path);
    // As resolve(), and the final component must exist.
    ResolvedPath resolveExisting(const DevicePath& path);
};

// UTF-8 of a zero-terminated 16-bit name of at most `capacity` units.
std::string utf8FromUtf16(const uint16_t* units, size_t capacity);

}  // namespace kestrel::cli
