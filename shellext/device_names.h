// Names of device entries as the actions that change the device take them.
// The names come from the device's file server (or from item identifiers
// that were built from them) and are not trusted: a name that could reach
// another entry than the one listed ("x/..", "..", "a\b") or that a FAT
// directory cannot hold is never turned into a path for a delete, write,
// move or rename.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::shellext {

// A FAT directory holds at most 65,536 entries: a listing that delivers
// more is a damaged card going round in circles, and is ended there.
inline constexpr uint32_t MAX_LISTED_ENTRIES = 65536;

// True when `name` names exactly one entry of its folder: not empty, not
// "." or "..", without "/" or "\", and without the characters a FAT name
// cannot hold (control characters and " * : < > ? |).
[[nodiscard]] bool isActionableName(std::string_view name);

// The path of the entry `name` in the device folder `folder` (a full device
// path, "" for the root): `folder` + "/" + `name`; none when the name is
// not actionable or the path is longer than a device path can be (259).
[[nodiscard]] std::optional<std::string> deviceChildPath(const std::string& folder, std::string_view name);

// The last name of a full device path ("/Music/a.mp3": "a.mp3").
std::string deviceLeafName(const std::string& path);

// True when `path` is a full device path of at most 259 characters whose
// every name is actionable ("/a/b"; not "", "/", "//a", "/a/", "/a/../b").
[[nodiscard]] bool isActionablePath(std::string_view path);

// True when `path` is an actionable path strictly inside the device folder
// `folder` ("" for the root): `folder`, a "/", and at least one name.
[[nodiscard]] bool isPathInside(std::string_view folder, std::string_view path);

}  // namespace kestrel::shellext
