#include "shellext/view_columns.h"

#include "shellext/item_id.h"

#include <cstdio>

namespace kestrel::shellext {

std::string sizeText(uint32_t bytes) {
    WCHAR wide[64] = {};
    if (StrFormatByteSizeW(bytes, wide, 64) == nullptr) return {};
    char text[128] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return length > 0 ? std::string(text) : std::string();
}

std::string modifiedText(uint32_t dosDate, uint32_t dosTime) {
    char text[64];
    std::snprintf(text, sizeof text, "%02u.%02u.%04u  %02u:%02u:%02u", dosDate & 0x1F, (dosDate >> 5) & 0x0F,
                  ((dosDate >> 9) & 0x7F) + 1980, (dosTime >> 11) & 0x1F, (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2);
    return text;
}

std::string attributeText(uint32_t attributes) {
    std::string text;
    if (attributes & 0x01) text += 'R';
    if (attributes & 0x02) text += 'H';
    if (attributes & 0x04) text += 'S';
    if (attributes & 0x20) text += 'A';
    return text;
}

std::string columnText(int column, LPCITEMIDLIST item) {
    const ItemView view(reinterpret_cast<const uint8_t*>(item));
    if (!view.valid()) return {};
    switch (column) {
    case 1: return view.type() == ItemType::File ? sizeText(view.size()) : std::string();
    case 2: return view.type() == ItemType::Disk ? std::string() : modifiedText(view.dosDate(), view.dosTime());
    case 3: return attributeText(view.attributes());
    case 4: return std::string(view.typeText());
    default: return {};
    }
}

}  // namespace kestrel::shellext
