// The five columns of the folder view's details mode and the texts they
// show for an item: Name, Size (files only, as StrFormatByteSize gives it),
// Modified ("%02d.%02d.%04d  %02d:%02d:%02d" from the MS-DOS date and time;
// empty for Disk items), Attributes (the letters R, H, S and A) and Type.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <string>

namespace kestrel::shellext {

struct ColumnSpec {
    const char* title;
    int width;
    int format;  // LVCFMT_LEFT or LVCFMT_RIGHT
};

inline constexpr int COLUMN_COUNT = 5;
inline constexpr ColumnSpec COLUMNS[COLUMN_COUNT] = {
    {"Name", 200, LVCFMT_LEFT},       {"Size", 100, LVCFMT_RIGHT}, {"Modified", 160, LVCFMT_LEFT},
    {"Attributes", 80, LVCFMT_LEFT},  {"Type", 160, LVCFMT_LEFT},
};

// The size as the system writes byte sizes ("1.5 KB"), in the ANSI code page.
std::string sizeText(uint32_t bytes);
// Day, month, year, hour, minute and second (the stored value x 2).
std::string modifiedText(uint32_t dosDate, uint32_t dosTime);
// "R" (0x01), "H" (0x02), "S" (0x04), "A" (0x20) for the bits that are set.
std::string attributeText(uint32_t attributes);

// The text of column 1 to 4 for the element `item`; empty for other columns.
std::string columnText(int column, LPCITEMIDLIST item);

}  // namespace kestrel::shellext
