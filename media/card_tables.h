// The SmartMedia card family: the two makers, the device codes of each card
// size, and the geometry row of each size.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace kestrel::media {

inline constexpr uint32_t SIZE_COUNT = 8;
inline constexpr uint32_t SECTOR_BYTES = 512;
inline constexpr uint32_t HALF_BYTES = 256;
inline constexpr uint32_t SPARE_BYTES = 16;  // spare area of one sector

// One read-only row per size index; the ten fields in this order.
struct CardGeometry {
    uint32_t cylinders;
    uint32_t heads;
    uint32_t sectorsPerTrack;
    uint32_t totalSectors;
    uint32_t bytesPerSector;
    uint32_t physicalBlocks;
    uint32_t logicalBlocks;
    uint32_t sectorsPerBlock;
    uint32_t pagesPerBlock;
    uint32_t pageSize;
};
static_assert(sizeof(CardGeometry) == 40);

const CardGeometry& geometryRow(uint32_t sizeIndex);

// 0 for 0xEC, 1 for 0x98; nullopt for any other maker.
std::optional<uint32_t> makerIndexOf(uint8_t maker);

// The first size index whose two device codes for the maker include
// `deviceCode` (unused places hold 0x00 and compare like any other code).
std::optional<uint32_t> sizeIndexOf(uint32_t makerIndex, uint8_t deviceCode);

// 256 for the two smallest sizes, 512 for the others.
uint32_t pageSizeOf(uint32_t sizeIndex);

// The device codes listed for a maker and size (for tests and tools).
std::array<uint8_t, 2> deviceCodesOf(uint32_t makerIndex, uint32_t sizeIndex);

}  // namespace kestrel::media
