// Paths of device folders and items. A folder's device path is its place
// below the device root without a leading "/" ("", "Music", "Music/Live");
// the full device path of an item is what the filex operations take
// ("/Music/b.txt"; the root itself is the empty text).
//
// Device paths travel in 260-byte buffers, so a path has at most 259
// characters. A longer one is cut where the system cuts it (the device path
// of a child folder), but it is marked: a cut path may name another entry,
// so nothing is ever listed or opened through it.
#pragma once

#include <cstddef>
#include <string>

namespace kestrel::shellext {

inline constexpr size_t MAX_DEVICE_PATH = 259;

struct DevicePath {
    std::string text;
    bool complete = true;  // false once the path had to be cut
};

// The device path of a child folder: the parent's path, a "/" when that is
// not empty, and the child's relative path (its names joined with "/"),
// cut to 259 characters.
DevicePath childDevicePath(const DevicePath& parent, const std::string& relativePath);

// The full device path of an item (relative path `itemPath`, or the folder
// itself when `hasItem` is false) in a folder: "/" and the folder's path;
// then, for an item, a "/" unless the text ends with one, and the item's
// path; finally one trailing "/" is removed. Complete only when the
// folder's path is and the result has at most 259 characters; the text is
// never cut.
DevicePath fullDevicePath(const DevicePath& folder, bool hasItem, const std::string& itemPath = {});

}  // namespace kestrel::shellext
