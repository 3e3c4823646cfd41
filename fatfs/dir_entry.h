// The 32-byte directory entry and the records built from it:
//
//   0   8  name, upper case, space padded (0x00 end of directory, 0xE5 deleted)
//   8   3  extension
//   11  1  attributes (0x10 directory, 0x20 archive, 0x0F long-name entry)
//   12 10  zero
//   22  2  time    24  2  date    26  2  first cluster    28  4  size
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrel::fatfs {

inline constexpr uint8_t ATTR_VOLUME_LABEL = 0x08;
inline constexpr uint8_t ATTR_DIRECTORY = 0x10;
inline constexpr uint8_t ATTR_ARCHIVE = 0x20;
inline constexpr uint8_t ATTR_LONG_NAME = 0x0F;
inline constexpr uint8_t ENTRY_END = 0x00;
inline constexpr uint8_t ENTRY_DELETED = 0xE5;
// A name whose first byte really is 0xE5 is stored with 0x05 there, so
// that it does not read as deleted.
inline constexpr uint8_t ENTRY_E5_STORED = 0x05;

using ShortName = std::array<uint8_t, 11>;

struct DirEntry {
    std::array<uint8_t, 32> bytes{};

    ShortName name() const;
    void setName(const ShortName& name);
    uint8_t attributes() const { return bytes[11]; }
    uint16_t time() const;
    uint16_t date() const;
    uint16_t firstCluster() const;
    uint32_t size() const;
    void setTime(uint16_t time);
    void setDate(uint16_t date);
    void setFirstCluster(uint16_t cluster);
    void setSize(uint32_t size);

    bool isEnd() const { return bytes[0] == ENTRY_END; }
    bool isDeleted() const { return bytes[0] == ENTRY_DELETED; }
    bool isLongName() const { return (bytes[11] & 0x0F) == ATTR_LONG_NAME; }
    bool isDirectory() const { return (bytes[11] & ATTR_DIRECTORY) != 0; }
    bool isVolumeLabel() const { return !isLongName() && (bytes[11] & ATTR_VOLUME_LABEL) != 0; }
    bool isDot() const { return bytes[0] == '.'; }
};

// Where an entry lies: the directory's first cluster (0 for the root), the
// cluster holding the entry and the byte offset in it (for the root: the
// offset in the root region).
struct DirPosition {
    uint32_t directory = 0;
    uint32_t cluster = 0;
    uint32_t offset = 0;

    bool operator==(const DirPosition&) const = default;
};

// The 8 name bytes without spaces, then "." and the extension without
// spaces when its first byte is not a space; a stored first byte 0x05
// reads as 0xE5.
std::string shortNameText(const ShortName& name);

// The 20-byte stat record: attributes, first cluster, size (32-bit each),
// year (16-bit), month, day, hour, minute, two-second count, 0.
inline constexpr size_t STAT_RECORD = 20;
void storeStatRecord(const DirEntry& entry, uint8_t* record);

}  // namespace kestrel::fatfs
