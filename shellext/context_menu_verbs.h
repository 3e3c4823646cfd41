// The commands of the context menu: offsets from the first command
// identifier the caller grants, and the verb table that names some of them.
// The folder view uses the same numbers for its own commands (it asks for
// menus with the first identifier 0).
#pragma once

#include "shellext/resource_ids.h"
#include "shellext/shell_api.h"

#include <cstdint>

namespace kestrel::shellext {

inline constexpr UINT CMD_NONE = 0;
inline constexpr UINT CMD_EXPLORE = 1;
inline constexpr UINT CMD_OPEN = 2;
inline constexpr UINT CMD_NEW_FOLDER = 4;
inline constexpr UINT CMD_NEW_ITEM = 5;
inline constexpr UINT CMD_MODIFY_DATA = 6;
inline constexpr UINT CMD_RENAME = 7;
// CMD_DELETE 8, CMD_COPY 9, CMD_CUT 10 and CMD_PASTE 11: resource_ids.h.
inline constexpr UINT CMD_SEPARATOR = 12;
inline constexpr UINT CMD_VIEW_MENU = 13;
inline constexpr UINT CMD_LARGE_ICONS = 14;
inline constexpr UINT CMD_SMALL_ICONS = 15;
inline constexpr UINT CMD_LIST = 16;
inline constexpr UINT CMD_DETAILS = 17;
// QueryContextMenu always reports this many identifiers used.
inline constexpr UINT COMMAND_COUNT = 18;

inline bool isViewModeCommand(UINT command) { return command >= CMD_LARGE_ICONS && command <= CMD_DETAILS; }

// One record of the verb table: 64 bytes of text and the offset; the table
// ends with an empty verb and offset -1.
struct VerbRecord {
    char verb[64];
    int32_t offset;
};

extern const VerbRecord VERB_TABLE[];

// The offset of `verb` (compared case-insensitively); -1 when the table
// does not hold it.
int32_t verbOffset(const char* verb);
// The verb of `offset`; null when no record has that offset.
const char* verbOf(UINT offset);

}  // namespace kestrel::shellext
