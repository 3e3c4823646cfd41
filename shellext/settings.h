// The extension's one per-user value: the width of the folder view's name
// column, kept as "Display Settings" under HKEY_CURRENT_USER\Software\zidorozu
// (REG_BINARY, 4 bytes, little-endian).
#pragma once

#include <cstdint>

namespace kestrel::shellext {

inline constexpr int32_t DEFAULT_NAME_COLUMN_WIDTH = 100;
inline constexpr const char* SETTINGS_KEY = "Software\\zidorozu";
inline constexpr const char* SETTINGS_VALUE = "Display Settings";

// The stored width: a value of exactly 4 bytes, whatever its type, is
// taken; a missing key or value, a longer value (the query fails) or a
// shorter one (it would leave bytes undefined) gives 100.
int32_t loadNameColumnWidth();

// Creates the key if needed and writes the width; failures are ignored.
void saveNameColumnWidth(int32_t width);

}  // namespace kestrel::shellext
