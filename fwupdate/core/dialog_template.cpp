#include "fwupdate/core/dialog_template.h"

#include "platform/byte_order.h"

#include <cstddef>

namespace kestrel::fwupdate {

namespace {

struct Layout {
    size_t style;
    size_t x;
    size_t y;
};

// Extended templates begin with the words 1 (version) and 0xFFFF.
constexpr Layout EXTENDED{12, 18, 20};
constexpr Layout PLAIN{0, 10, 12};

bool isExtended(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 4 && loadLe16(&bytes[0]) == 1 && loadLe16(&bytes[2]) == 0xFFFF;
}

}  // namespace

bool patchChildDialogTemplate(std::vector<uint8_t>& dialogTemplate) {
    const Layout layout = isExtended(dialogTemplate) ? EXTENDED : PLAIN;
    if (dialogTemplate.size() < layout.y + 2) return false;
    const uint32_t style = loadLe32(&dialogTemplate[layout.style]);
    storeLe32(&dialogTemplate[layout.style], (style & CHILD_STYLE_MASK) | CHILD_STYLE_BITS);
    storeLe16(&dialogTemplate[layout.x], 0);
    storeLe16(&dialogTemplate[layout.y], 0);
    return true;
}

}  // namespace kestrel::fwupdate
