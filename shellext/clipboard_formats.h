// The names of the clipboard formats the data-transfer objects use.
#pragma once

namespace kestrel::shellext::formats {

inline constexpr char FILE_GROUP_DESCRIPTOR[] = "FileGroupDescriptor";
inline constexpr char FILE_CONTENTS[] = "FileContents";
inline constexpr char SHELL_ID_LIST[] = "Shell IDList Array";
inline constexpr char IN_DRAG_LOOP[] = "InShellDragLoop";
inline constexpr char PREFERRED_DROP_EFFECT[] = "Preferred DropEffect";
inline constexpr char PERFORMED_DROP_EFFECT[] = "Performed DropEffect";
inline constexpr char LOGICAL_PERFORMED_DROP_EFFECT[] = "Logical Performed DropEffect";
inline constexpr char PASTE_SUCCEEDED[] = "Paste Succeeded";
// The extension's own: device items of a folder (cut flag, count, offsets,
// the folder's absolute identifier and the item lists).
inline constexpr char DEVICE_ITEMS[] = "qlxshlextDataFormat";

}  // namespace kestrel::shellext::formats
