// ItemId: one element of the extension's item identifier lists, byte for
// byte (all integers little-endian, no padding; N is the name's length with
// its terminating zero, T the type text's length without one):
//
//   0   2  cb           total size of the element: 33 + N + T
//   2   4  type         ItemType
//   6   4  size         file size in bytes
//   10  4  attributes   0x01 read-only, 0x02 hidden, 0x04 system,
//                       0x10 directory, 0x20 archive
//   14  4  time         MS-DOS time
//   18  4  date         MS-DOS date
//   22  4  name length  N
//   26  4  type length  T
//   30  N  name         with its terminating zero
//   30+N T type text
//   30+N+T 3 padding    zero
//
// A list ends with a two-byte zero size and one more zero byte. A newly
// built element is a one-element list: the element, the three-byte
// terminator and three more zero bytes (39 + N + T bytes, all zero before
// the fields are written).
//
// Lists come back from the shell and may have been stored, so the reading
// side trusts nothing: an element whose fields do not add up to its cb, or
// whose name lacks its zero, reads as no element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::shellext {

enum class ItemType : uint32_t {
    Disk = 0,    // a folder in the device root
    Folder = 1,  // a folder below the root
    File = 2,
    None = 4,    // no element (or one that is not ours)
};

namespace item_layout {
inline constexpr size_t CB = 0;
inline constexpr size_t TYPE = 2;
inline constexpr size_t SIZE = 6;
inline constexpr size_t ATTRIBUTES = 10;
inline constexpr size_t TIME = 14;
inline constexpr size_t DATE = 18;
inline constexpr size_t NAME_LENGTH = 22;
inline constexpr size_t TYPE_LENGTH = 26;
inline constexpr size_t NAME = 30;
inline constexpr size_t FIXED = 33;       // cb without name and type text
inline constexpr size_t TERMINATOR = 3;   // a list's end
inline constexpr size_t NEW_ITEM_EXTRA = FIXED + 2 * TERMINATOR;  // 39
// Names are taken from the 276-byte name field of a directory entry.
inline constexpr size_t MAX_NAME = 275;
inline constexpr size_t MAX_TYPE_TEXT = 255;
}  // namespace item_layout

struct ItemFields {
    ItemType type = ItemType::File;
    uint32_t size = 0;
    uint32_t attributes = 0;
    uint32_t dosTime = 0;
    uint32_t dosDate = 0;
    std::string name;      // at most MAX_NAME bytes, no zero byte
    std::string typeText;  // at most MAX_TYPE_TEXT bytes
};

// Bytes of a new one-element list for these fields: 39 + N + T.
size_t newItemBytes(const ItemFields& fields);
// Writes the one-element list into `out` (newItemBytes zeroed bytes).
void encodeItem(uint8_t* out, const ItemFields& fields);

// The cb field of the element at `element` (0 at a list's end).
uint16_t elementSize(const uint8_t* element);
// An element of our layout (see above).
bool wellFormed(const uint8_t* element);

// Reads a well-formed element; every accessor of an element that is not
// well formed (or null) gives the empty value and ItemType::None.
class ItemView {
public:
    explicit ItemView(const uint8_t* element) : element_(element != nullptr && wellFormed(element) ? element : nullptr) {}
    bool valid() const { return element_ != nullptr; }
    ItemType type() const;
    uint32_t size() const;
    uint32_t attributes() const;
    uint32_t dosTime() const;
    uint32_t dosDate() const;
    uint32_t nameLength() const;  // N
    std::string_view name() const;  // without the terminating zero
    std::string_view typeText() const;
    bool folderLike() const { return type() == ItemType::Disk || type() == ItemType::Folder; }

private:
    const uint8_t* element_;
};

}  // namespace kestrel::shellext
