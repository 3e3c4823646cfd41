#include "fatfs/layout.h"

#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t FAT16_ABOVE_SECTORS = 128000;
constexpr uint8_t MEDIA_DESCRIPTOR = 0xF8;

// Cylinder bits 8-9 go into bits 6-7 of the sector byte.
void storeChs(uint8_t* at, uint32_t cylinder, uint32_t head, uint32_t sector) {
    at[0] = static_cast<uint8_t>(head);
    at[1] = static_cast<uint8_t>((sector & 0x3F) | ((cylinder >> 2) & 0xC0));
    at[2] = static_cast<uint8_t>(cylinder);
}

void storeSignature(SectorBytes& sector) {
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

}  // namespace

Layout layoutFor(const media::CardGeometry& geometry) {
    Layout layout;
    const uint32_t blocks = geometry.logicalBlocks;
    const uint32_t k = geometry.sectorsPerBlock;
    layout.totalSectors = geometry.totalSectors;
    layout.fat16 = geometry.totalSectors > FAT16_ABOVE_SECTORS;
    const uint32_t fatBytesMinusOne = layout.fat16 ? 2 * blocks + 3 : ((blocks + 2) * 3) / 2 - 1;
    layout.sectorsPerFat = fatBytesMinusOne / 512 + 1;
    const uint32_t f = layout.sectorsPerFat;
    layout.hiddenSectors = ((2 * f + 16) / k + 2) * k - (2 * f + 17);
    layout.sectorsPerCluster = k;
    return layout;
}

SectorBytes masterBootRecord(const Layout& layout, const media::CardGeometry& g) {
    SectorBytes mbr{};
    const uint32_t h = layout.hiddenSectors;
    mbr[446] = 0x80;
    storeChs(&mbr[447], h / g.sectorsPerTrack / g.heads, (h / g.sectorsPerTrack) % g.heads, h % g.sectorsPerTrack + 1);
    mbr[450] = 0x01;
    storeChs(&mbr[451], g.cylinders - 1, g.heads - 1, g.sectorsPerTrack);
    storeLe32(&mbr[454], h);
    storeLe32(&mbr[458], layout.totalSectors - h);
    storeSignature(mbr);
    return mbr;
}

SectorBytes bootSector(const Layout& layout, const media::CardGeometry& g, std::string_view label) {
    SectorBytes boot{};
    const uint32_t partitionSectors = layout.totalSectors - layout.hiddenSectors;
    boot[0] = 0xE9;
    std::memcpy(&boot[3], "ORYX1.0", 7);
    storeLe16(&boot[11], static_cast<uint16_t>(g.bytesPerSector));
    boot[13] = static_cast<uint8_t>(layout.sectorsPerCluster);
    storeLe16(&boot[14], 1);
    boot[16] = Layout::FAT_COUNT;
    storeLe16(&boot[17], Layout::ROOT_ENTRIES);
    storeLe16(&boot[19], static_cast<uint16_t>(partitionSectors < 65536 ? partitionSectors : 0));
    boot[21] = MEDIA_DESCRIPTOR;
    storeLe16(&boot[22], static_cast<uint16_t>(layout.sectorsPerFat));
    storeLe16(&boot[24], static_cast<uint16_t>(g.sectorsPerTrack));
    storeLe16(&boot[26], static_cast<uint16_t>(g.heads));
    storeLe32(&boot[28], layout.hiddenSectors);
    storeLe32(&boot[32], partitionSectors > 65535 ? partitionSectors : 0);
    boot[36] = 0x80;
    boot[38] = 0x29;
    std::fill(&boot[43], &boot[54], ' ');
    std::memcpy(&boot[43], label.data(), std::min<size_t>(label.size(), 11));
    std::memcpy(&boot[54], layout.fat16 ? "FAT16   " : "FAT12   ", 8);
    storeSignature(boot);
    return boot;
}

SectorBytes firstFatSector() {
    SectorBytes sector{};
    sector[0] = 0xF8;
    sector[1] = 0xFF;
    sector[2] = 0xFF;
    return sector;
}

}  // namespace kestrel::fatfs
