// The type description an item carries: "Disk" and "Folder" for the
// folder-like types; for a file, the system's type name of the part of its
// name from the first "." on, or that part in upper case followed by
// " File" when the system has no name for it (a.xyz gives ".XYZ File").
#pragma once

#include "shellext/item_id.h"

#include <string>

namespace kestrel::shellext {

// The system's type name for a name part such as ".txt" (empty when it has
// none).
using TypeNameLookup = std::string (*)(const std::string& extension);

// SHGetFileInfo with FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES and
// SHGFI_TYPENAME.
std::string shellTypeName(const std::string& extension);

std::string itemTypeText(ItemType type, const std::string& name, TypeNameLookup lookup = shellTypeName);

}  // namespace kestrel::shellext
