// Names on the card as the mount takes them from programs: paths split into
// components, and the names a FAT directory entry can carry. A name is
// never changed to fit: what the card cannot hold is refused.
#pragma once

#include "mount/backend.h"

#include <cstdint>
#include <string_view>

namespace kestrel::mount {

// The longest name an entry carries (its long name, in characters).
inline constexpr size_t NAME_MAX_LENGTH = 39;

// 0 when an entry may be given `name`; -ENAMETOOLONG beyond 39
// characters; -EINVAL for an empty name, "." and "..", characters outside
// printable ASCII, the characters " * / : < > ? \ |, and a trailing dot or
// space (which FAT systems drop from a name).
[[nodiscard]] int32_t checkNewName(std::string_view name);

// Splits a mount path ("/", "/A/b.txt") into components; -ENAMETOOLONG
// for a component longer than any entry's name. Lookups of names that
// checkNewName would refuse are left to fail as missing (-ENOENT).
[[nodiscard]] int32_t splitPath(std::string_view text, NodePath& path);

// ASCII comparison without regard to case, as the card looks names up.
bool sameName(std::string_view a, std::string_view b);

// Whether two paths name the same entry (compared without regard to case).
bool samePath(const NodePath& a, const NodePath& b);
// Whether `inner` lies inside `outer` (or is it).
bool isWithin(const NodePath& inner, const NodePath& outer);

// "/A/b.txt" for messages and keys; "/" for the root.
std::string pathText(const NodePath& path);

}  // namespace kestrel::mount
