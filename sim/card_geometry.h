// SmartMedia card geometry: the eight card sizes, the two maker codes and
// the device codes each maker uses for a size.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel::sim {

inline constexpr uint8_t MAKER_EC = 0xEC;
inline constexpr uint8_t MAKER_98 = 0x98;

// Byte of the spare area of a block's first page that tells whether the block
// is good (0xFF) or bad.
inline constexpr uint32_t BLOCK_STATUS_BYTE = 5;
inline constexpr uint8_t FACTORY_BAD_MARK = 0x00;

struct CardGeometry {
    uint32_t sizeMb = 0;
    uint8_t maker = 0;
    uint8_t deviceCode = 0;
    uint32_t pageSize = 0;       // data bytes per page: 256 or 512
    uint32_t spareSize = 0;      // 8 or 16
    uint32_t pagesPerBlock = 0;  // 16 or 32
    uint32_t blocks = 0;

    uint32_t pageBytes() const { return pageSize + spareSize; }
    uint64_t pages() const { return static_cast<uint64_t>(blocks) * pagesPerBlock; }
    uint64_t imageBytes() const { return pages() * pageBytes(); }
};

// The geometry of a card of `sizeMb` megabytes from `maker`, with the first
// non-zero device code listed for them (0x00 when the maker lists none).
// nullopt for a size or maker the card family does not have.
std::optional<CardGeometry> cardGeometry(uint32_t sizeMb, uint8_t maker);

// The card whose ID answer carries `maker` and `deviceCode` (the first size
// that lists the code), nullopt when no card answers so.
std::optional<CardGeometry> identifyCard(uint8_t maker, uint8_t deviceCode);

// "16M", "16MB" or "16" -> 16; nullopt for anything else.
std::optional<uint32_t> parseSizeMb(std::string_view text);

}  // namespace kestrel::sim
