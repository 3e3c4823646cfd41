// The state of the mounted volume: the partition entry and boot sector
// fields as read by the mount, the values derived from them, and the FAT
// image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::fatfs {

inline constexpr uint32_t SECTOR = 512;
inline constexpr uint32_t DIR_ENTRY = 32;
inline constexpr uint16_t FAT_FREE = 0;
inline constexpr uint16_t FAT_END = 0xFFFF;
inline constexpr uint16_t FAT_BAD = 0xFFF7;

enum class FatType : uint32_t { Unknown = 0, Fat12 = 1, Fat16 = 2 };

struct PartitionEntry {
    uint8_t bootIndicator = 0;
    uint32_t startCylinder = 0, startHead = 0, startSector = 0;  // sector: on-disk value - 1
    uint8_t systemId = 0;
    uint32_t endCylinder = 0, endHead = 0, endSector = 0;
    uint32_t startLba = 0;
    uint32_t sizeSectors = 0;
    uint16_t signature = 0;
};

struct BootSectorFields {
    std::string oemName;
    uint32_t bytesPerSector = 0, sectorsPerCluster = 0, reservedSectors = 0, fatCount = 0, rootEntries = 0;
    uint32_t totalSectors = 0;  // the 16-bit field, or the 32-bit one when that is 0
    uint32_t media = 0, sectorsPerFatStored = 0, sectorsPerTrack = 0, heads = 0, hiddenSectors = 0;
    uint32_t totalSectors32 = 0, driveNumber = 0, reserved = 0, extendedSignature = 0, serialNumber = 0;
    std::string label;
    FatType fatType = FatType::Unknown;
    uint32_t signature = 0;
};

// The FAT as 16-bit entries, one per cluster number. Reads beyond the
// entries give 0 (free); writes beyond them are dropped.
class FatImage {
public:
    void reset(uint32_t count) { entries_.assign(count, FAT_FREE); }
    void clear() { entries_ = {}; }
    uint32_t count() const { return static_cast<uint32_t>(entries_.size()); }
    uint16_t get(uint32_t cluster) const { return cluster < entries_.size() ? entries_[cluster] : FAT_FREE; }
    void set(uint32_t cluster, uint16_t value) {
        if (cluster < entries_.size()) entries_[cluster] = value;
    }
    bool contains(uint32_t cluster) const { return cluster < entries_.size(); }

private:
    std::vector<uint16_t> entries_;
};

struct Volume {
    static constexpr uint32_t MOUNTED = 10;
    uint32_t mounted = 0;
    PartitionEntry partition;
    BootSectorFields boot;
    uint32_t fatStart = 0;
    uint32_t sectorsPerFat = 0;  // computed from the entry count
    uint32_t rootStart = 0;
    uint32_t dataStart = 0;
    uint32_t writeBufferSize = 0;
    FatImage fat;

    bool isMounted() const { return mounted == MOUNTED; }
    uint32_t clusterBytes() const { return boot.sectorsPerCluster * SECTOR; }
    bool fat16() const { return boot.fatType == FatType::Fat16; }
};

}  // namespace kestrel::fatfs
