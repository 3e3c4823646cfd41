#include "shellext/item_id.h"

#include "platform/byte_order.h"

#include <cstring>

namespace kestrel::shellext {

using namespace item_layout;

size_t newItemBytes(const ItemFields& fields) {
    return NEW_ITEM_EXTRA + fields.name.size() + 1 + fields.typeText.size();
}

void encodeItem(uint8_t* out, const ItemFields& fields) {
    const auto n = static_cast<uint32_t>(fields.name.size() + 1);
    const auto t = static_cast<uint32_t>(fields.typeText.size());
    storeLe16(out + CB, static_cast<uint16_t>(FIXED + n + t));
    storeLe32(out + TYPE, static_cast<uint32_t>(fields.type));
    storeLe32(out + SIZE, fields.size);
    storeLe32(out + ATTRIBUTES, fields.attributes);
    storeLe32(out + TIME, fields.dosTime);
    storeLe32(out + DATE, fields.dosDate);
    storeLe32(out + NAME_LENGTH, n);
    storeLe32(out + TYPE_LENGTH, t);
    std::memcpy(out + NAME, fields.name.data(), fields.name.size());
    std::memcpy(out + NAME + n, fields.typeText.data(), t);
}

uint16_t elementSize(const uint8_t* element) { return loadLe16(element + CB); }

bool wellFormed(const uint8_t* element) {
    const uint32_t cb = elementSize(element);
    if (cb < FIXED + 1) return false;
    const uint64_t n = loadLe32(element + NAME_LENGTH);
    const uint64_t t = loadLe32(element + TYPE_LENGTH);
    if (n == 0 || FIXED + n + t != cb) return false;
    return element[NAME + n - 1] == 0;
}

ItemType ItemView::type() const {
    return element_ ? static_cast<ItemType>(loadLe32(element_ + TYPE)) : ItemType::None;
}
uint32_t ItemView::size() const { return element_ ? loadLe32(element_ + SIZE) : 0; }
uint32_t ItemView::attributes() const { return element_ ? loadLe32(element_ + ATTRIBUTES) : 0; }
uint32_t ItemView::dosTime() const { return element_ ? loadLe32(element_ + TIME) : 0; }
uint32_t ItemView::dosDate() const { return element_ ? loadLe32(element_ + DATE) : 0; }
uint32_t ItemView::nameLength() const { return element_ ? loadLe32(element_ + NAME_LENGTH) : 0; }

std::string_view ItemView::name() const {
    if (!element_) return {};
    const char* text = reinterpret_cast<const char*>(element_ + NAME);
    return std::string_view(text, std::strlen(text));  // the zero at N - 1 is checked
}

std::string_view ItemView::typeText() const {
    if (!element_) return {};
    const uint32_t n = nameLength();
    return std::string_view(reinterpret_cast<const char*>(element_ + NAME + n), loadLe32(element_ + TYPE_LENGTH));
}

}  // namespace kestrel::shellext
