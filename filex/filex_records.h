// The records the file server delivers: FilexStat (72 bytes, from _fstat)
// and FilexDirEntry (300 bytes, from _readdir). Each is kept as its bytes,
// exactly as they came off the wire; the fields are read and written through
// the little-endian helpers. Fields the client does not interpret (the
// device's own) are left to the device; the setters serve the device side.
#pragma once

#include "platform/byte_order.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kestrel::filex {

// Attribute bits of a directory entry (low byte of the attributes field).
inline constexpr uint8_t ATTR_READ_ONLY = 0x01;
inline constexpr uint8_t ATTR_HIDDEN = 0x02;
inline constexpr uint8_t ATTR_SYSTEM = 0x04;
inline constexpr uint8_t ATTR_VOLUME_LABEL = 0x08;
inline constexpr uint8_t ATTR_DIRECTORY = 0x10;
inline constexpr uint8_t ATTR_ARCHIVE = 0x20;

struct FilexStat {
    static constexpr uint32_t SIZE = 72;
    static constexpr uint32_t FILE_SIZE = 28;

    std::array<uint8_t, SIZE> bytes{};

    uint32_t fileSize() const { return loadLe32(bytes.data() + FILE_SIZE); }
    void setFileSize(uint32_t size) { storeLe32(bytes.data() + FILE_SIZE, size); }
};

struct FilexDirEntry {
    static constexpr uint32_t SIZE = 300;
    static constexpr uint32_t NAME = 8;
    static constexpr uint32_t NAME_FIELD = 276;  // including the terminating zero
    static constexpr uint32_t ATTRIBUTES = 284;
    static constexpr uint32_t TIME = 288;
    static constexpr uint32_t DATE = 292;
    static constexpr uint32_t FILE_SIZE = 296;

    std::array<uint8_t, SIZE> bytes{};

    // The name up to its terminating zero, never beyond the name field.
    std::string name() const {
        const char* text = reinterpret_cast<const char*>(bytes.data() + NAME);
        size_t length = 0;
        while (length < NAME_FIELD && text[length] != '\0') ++length;
        return std::string(text, length);
    }
    // The zero-terminated name in place (see terminateName()).
    const char* nameText() const { return reinterpret_cast<const char*>(bytes.data() + NAME); }
    uint8_t attributes() const { return static_cast<uint8_t>(loadLe32(bytes.data() + ATTRIBUTES)); }
    bool isDirectory() const { return (attributes() & ATTR_DIRECTORY) != 0; }
    // MS-DOS time (hour * 2048 + minute * 32 + seconds / 2) and date
    // ((year - 1980) * 512 + month * 32 + day).
    uint16_t dosTime() const { return static_cast<uint16_t>(loadLe32(bytes.data() + TIME)); }
    uint16_t dosDate() const { return static_cast<uint16_t>(loadLe32(bytes.data() + DATE)); }
    uint32_t fileSize() const { return loadLe32(bytes.data() + FILE_SIZE); }

    // Forces a zero at the end of the name field, so that the name is
    // terminated whatever the device sent.
    void terminateName() { bytes[NAME + NAME_FIELD - 1] = 0; }

    // Device side. setName truncates a name longer than the field allows.
    void setName(std::string_view name) {
        const size_t length = name.size() < NAME_FIELD - 1 ? name.size() : NAME_FIELD - 1;
        std::memset(bytes.data() + NAME, 0, NAME_FIELD);
        std::memcpy(bytes.data() + NAME, name.data(), length);
    }
    void setAttributes(uint32_t attributes) { storeLe32(bytes.data() + ATTRIBUTES, attributes); }
    void setDosTime(uint16_t time) { storeLe32(bytes.data() + TIME, time); }
    void setDosDate(uint16_t date) { storeLe32(bytes.data() + DATE, date); }
    void setFileSize(uint32_t size) { storeLe32(bytes.data() + FILE_SIZE, size); }
};

// MS-DOS date and time words.
constexpr uint16_t dosTime(unsigned hour, unsigned minute, unsigned second) {
    return static_cast<uint16_t>(hour * 2048 + minute * 32 + second / 2);
}
constexpr uint16_t dosDate(unsigned year, unsigned month, unsigned day) {
    return static_cast<uint16_t>((year - 1980) * 512 + month * 32 + day);
}

}  // namespace kestrel::filex
