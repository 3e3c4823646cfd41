// The on-card layout the format writes: master boot record with one
// partition, boot sector, two FAT copies, a 256-entry root directory, and a
// data area starting on an erase-block boundary, one cluster per block.
#pragma once

#include "media/card_tables.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrel::fatfs {

struct Layout {
    bool fat16 = false;
    uint32_t sectorsPerCluster = 0;  // K: sectors per erase block
    uint32_t sectorsPerFat = 0;      // F
    uint32_t hiddenSectors = 0;      // H: the partition's first sector
    uint32_t totalSectors = 0;       // T: the card's
    uint32_t dataStart() const { return hiddenSectors + 1 + 2 * sectorsPerFat + ROOT_SECTORS; }

    static constexpr uint32_t ROOT_ENTRIES = 256;
    static constexpr uint32_t ROOT_SECTORS = 16;
    static constexpr uint32_t FAT_COUNT = 2;
};

Layout layoutFor(const media::CardGeometry& geometry);

using SectorBytes = std::array<uint8_t, 512>;

SectorBytes masterBootRecord(const Layout& layout, const media::CardGeometry& geometry);
// `label`: at most 11 characters are used, padded with spaces.
SectorBytes bootSector(const Layout& layout, const media::CardGeometry& geometry, std::string_view label);
// The first sector of a FAT copy: F8 FF FF, zeros.
SectorBytes firstFatSector();

}  // namespace kestrel::fatfs
