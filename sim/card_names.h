// Names of the entries the card backend creates. The file system stores a
// long name only when a name does not fit 8.3 by its lengths (case
// aside); a name that fits but is not written as its short form shows
// ("notes.txt", "a b.txt") would be listed as that short form
// ("NOTES.TXT", "AB~1.TXT"). Such a name gets its long-name entry here,
// as case-keeping FAT systems write it: one long-name entry in front of
// the short entry. Entries without one (cards written before, or by the
// update tool) keep listing by their short names.
#pragma once

#include "fatfs/file_system.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::sim {

// Gives the entry at `cardPath` ("dev0:\DIR\NOTES.TXT", by its short name)
// `name` as its long name unless the short name shows `name` as it is. A
// file-system result (0 when done).
uint32_t nameEntry(fatfs::FileSystem& fs, const std::string& cardPath, std::string_view name);

}  // namespace kestrel::sim
