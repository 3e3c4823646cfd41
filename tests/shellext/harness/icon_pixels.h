// The picture of an icon, for comparing icons: its colour bits as 32-bit
// pixels and its mask bits, with the size.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <vector>

namespace kestrel::shellext::test {

struct IconPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colour;
    std::vector<uint32_t> mask;
    bool operator==(const IconPixels&) const = default;
};

// Empty (width 0) for a null or unreadable icon.
IconPixels iconPixels(HICON icon);

}  // namespace kestrel::shellext::test
