#include "tools/image_layout.h"

#include "platform/byte_order.h"

#include <array>
#include <cstring>

namespace kestrel::cli {

namespace {

constexpr uint32_t SECTOR = 512;
constexpr uint32_t PARTITION_START = 454;
constexpr uint32_t DIR_ENTRY = 32;
constexpr uint32_t FIRST_CLUSTER = 2;

using Sector = std::array<uint8_t, SECTOR>;

bool signed55AA(const Sector& s) { return s[510] == 0x55 && s[511] == 0xAA; }

uint32_t fatEntry(const std::vector<uint8_t>& fat, uint32_t cluster, bool fat16) {
    if (fat16) return loadLe16(fat.data() + size_t{cluster} * 2);
    const uint32_t pair = loadLe16(fat.data() + size_t{cluster} * 3 / 2);
    return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
}

}  // namespace

std::optional<VolumePlacement> readVolumePlacement(const SectorReader& read, uint32_t totalSectors) {
    Sector s{};
    if (!read(0, s.data()) || !signed55AA(s)) return std::nullopt;
    VolumePlacement v;
    v.partitionStart = loadLe32(s.data() + PARTITION_START);
    if (v.partitionStart == 0 || v.partitionStart >= totalSectors || !read(v.partitionStart, s.data())) {
        return std::nullopt;
    }
    if (std::memcmp(s.data() + 54, "FAT16   ", 8) == 0) {
        v.fat16 = true;
    } else if (std::memcmp(s.data() + 54, "FAT12   ", 8) != 0) {
        return std::nullopt;
    }
    v.sectorsPerCluster = s[13];
    const uint32_t reserved = loadLe16(s.data() + 14);
    v.fatCount = s[16];
    const uint32_t rootEntries = loadLe16(s.data() + 17);
    uint32_t volumeSectors = loadLe16(s.data() + 19);
    if (volumeSectors == 0) volumeSectors = loadLe32(s.data() + 32);
    v.fatSectors = loadLe16(s.data() + 22);
    // The checks of the mount, and the cases where it would not take the
    // boot sector's placement (no reserved sector, a FAT too small).
    if (!signed55AA(s) || loadLe16(s.data() + 11) != SECTOR || v.sectorsPerCluster == 0 || reserved == 0 ||
        (v.fatCount != 1 && v.fatCount != 2) || rootEntries == 0 || s[21] != 0xF8) {
        return std::nullopt;
    }
    const uint32_t entries = volumeSectors / v.sectorsPerCluster + FIRST_CLUSTER;
    if (v.fatSectors * SECTOR < (v.fat16 ? entries * 2 : entries * 3 / 2)) return std::nullopt;
    v.fatStart = v.partitionStart + reserved;
    v.dataStart = v.fatStart + v.fatCount * v.fatSectors + (rootEntries * DIR_ENTRY + SECTOR - 1) / SECTOR;
    if (v.dataStart >= totalSectors) return std::nullopt;
    return v;
}

ImageLayout ImageLayout::analyse(const SectorReader& read, uint32_t totalSectors) {
    ImageLayout layout;
    const auto v = readVolumePlacement(read, totalSectors);
    if (!v) return layout;
    const uint32_t entryCount = v->fatSectors * SECTOR * 8 / (v->fat16 ? 16 : 12);
    std::vector<bool> taken(entryCount, false);
    std::vector<uint8_t> fat(size_t{v->fatSectors} * SECTOR + 1, 0);
    for (uint32_t copy = 0; copy < v->fatCount; ++copy) {
        for (uint32_t i = 0; i < v->fatSectors; ++i) {
            if (!read(v->fatStart + copy * v->fatSectors + i, fat.data() + size_t{i} * SECTOR)) return layout;
        }
        for (uint32_t cluster = FIRST_CLUSTER; cluster < entryCount; ++cluster) {
            if (fatEntry(fat, cluster, v->fat16) != 0) taken[cluster] = true;
        }
    }
    layout.placement_ = v;
    layout.taken_ = std::move(taken);
    return layout;
}

bool ImageLayout::sectorInUse(uint32_t sector) const {
    if (!placement_ || sector == 0) return true;
    if (sector < placement_->partitionStart) return false;
    if (sector < placement_->dataStart) return true;
    const uint32_t cluster = (sector - placement_->dataStart) / placement_->sectorsPerCluster + FIRST_CLUSTER;
    return cluster < taken_.size() && taken_[cluster];
}

bool ImageLayout::anySectorInUse(uint32_t first, uint32_t count) const {
    for (uint32_t i = 0; i < count; ++i) {
        if (sectorInUse(first + i)) return true;
    }
    return false;
}

}  // namespace kestrel::cli
