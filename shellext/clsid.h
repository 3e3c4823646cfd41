// The class identifier of the extension's folder class.
#pragma once

#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext {

// {6B2E91D4-0C7A-4F53-A1E8-35D09C4B7F62}
inline constexpr CLSID CLSID_DeviceFolder = {0x6B2E91D4, 0x0C7A, 0x4F53, {0xA1, 0xE8, 0x35, 0xD0, 0x9C, 0x4B, 0x7F, 0x62}};

// Its text form: StringFromIID (upper-case hexadecimal in braces) in the
// ANSI code page; empty when it cannot be made.
std::string clsidText();

}  // namespace kestrel::shellext
