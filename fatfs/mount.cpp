// The mount: partition table, boot sector, the placement of FATs, root
// directory and data area, and the FAT image.
#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"
#include "media/media_errors.h"
#include "platform/byte_order.h"

#include <array>
#include <cstring>
#include <new>

namespace kestrel::fatfs {

namespace {

constexpr uint8_t CARD = 0;
constexpr uint32_t PARTITION_ENTRY = 446;
constexpr uint8_t MEDIA_DESCRIPTOR = 0xF8;
// Entries of a FAT image, clusters 0 and 1 included: cluster numbers end
// below the bad-cluster marks (0xFF7, 0xFFF7).
constexpr uint32_t MAX_FAT12_ENTRIES = 0xFF7;
constexpr uint32_t MAX_FAT16_ENTRIES = 0xFFF7;

bool signed55AA(const uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

// Cylinder bits 8-9 come from bits 6-7 of the sector byte.
void loadChs(const uint8_t* at, uint32_t& cylinder, uint32_t& head, uint32_t& sector) {
    head = at[0];
    sector = static_cast<uint32_t>(at[1] & 0x3F) - 1;
    cylinder = at[2] | (static_cast<uint32_t>(at[1] & 0xC0) << 2);
}

}  // namespace

uint32_t FileSystem::readPartition(uint8_t* sector) {
    const uint32_t read = media_.maps().smReadLogSector(CARD, 0, 0, sector, SECTOR);
    if (read == media::MEDIA_BAD_BLOCK_NUMBER) return FS_VOLUME_UNUSABLE;
    if (read != FS_OK) return read;
    PartitionEntry& p = volume_.partition;
    const uint8_t* entry = sector + PARTITION_ENTRY;
    p.bootIndicator = entry[0];
    loadChs(entry + 1, p.startCylinder, p.startHead, p.startSector);
    p.systemId = entry[4];
    loadChs(entry + 5, p.endCylinder, p.endHead, p.endSector);
    p.startLba = loadLe32(entry + 8);
    p.sizeSectors = loadLe32(entry + 12);
    p.signature = loadLe16(sector + 510);
    const media::CardGeometry* row = nullptr;
    if (const uint32_t error = media_.maps().smGetGeometry(CARD, &row)) return error;
    if (!signed55AA(sector) || p.startLba >= row->totalSectors) return FS_BAD_PARTITION_TABLE;
    return FS_OK;
}

uint32_t FileSystem::readBootSector(uint8_t* sector) {
    if (const uint32_t error = media_.maps().smReadLogSector(CARD, volume_.partition.startLba, 0, sector, SECTOR)) {
        return error;
    }
    BootSectorFields& b = volume_.boot;
    b.oemName.assign(reinterpret_cast<const char*>(sector + 3), strnlen(reinterpret_cast<const char*>(sector + 3), 8));
    b.bytesPerSector = loadLe16(sector + 11);
    b.sectorsPerCluster = sector[13];
    b.reservedSectors = loadLe16(sector + 14);
    b.fatCount = sector[16];
    b.rootEntries = loadLe16(sector + 17);
    b.totalSectors = loadLe16(sector + 19);
    b.media = sector[21];
    b.sectorsPerFatStored = loadLe16(sector + 22);
    b.sectorsPerTrack = loadLe16(sector + 24);
    b.heads = loadLe16(sector + 26);
    b.hiddenSectors = loadLe32(sector + 28);
    b.totalSectors32 = loadLe32(sector + 32);
    b.driveNumber = sector[36];
    b.reserved = sector[37];
    b.extendedSignature = sector[38];
    b.serialNumber = loadLe32(sector + 39);
    b.label.assign(reinterpret_cast<const char*>(sector + 43), 11);
    b.signature = loadLe16(sector + 510);
    if (std::memcmp(sector + 54, "FAT12   ", 8) == 0) {
        b.fatType = FatType::Fat12;
    } else if (std::memcmp(sector + 54, "FAT16   ", 8) == 0) {
        b.fatType = FatType::Fat16;
    } else {
        b.fatType = FatType::Unknown;
        return FS_BAD_BOOT_SECTOR;
    }
    // A cluster size of 0 would divide by zero below.
    if (!signed55AA(sector) || b.bytesPerSector != SECTOR || (b.fatCount != 1 && b.fatCount != 2) ||
        b.rootEntries == 0 || b.media != MEDIA_DESCRIPTOR || b.sectorsPerCluster == 0) {
        return FS_BAD_BOOT_SECTOR;
    }
    if (b.totalSectors == 0) b.totalSectors = b.totalSectors32;
    return FS_OK;
}

// The FATs follow the reserved sectors, each as long as the boot sector
// says. Volumes written by this library agree with the computed sizes;
// volumes made elsewhere are read where their boot sector puts the FATs,
// unless its FAT size could not hold the entries.
void FileSystem::placeFats(uint32_t entries) {
    const BootSectorFields& b = volume_.boot;
    const uint32_t bytes = volume_.fat16() ? entries * 2 : entries * 3 / 2;
    const uint32_t computed = (bytes + SECTOR - bytes % SECTOR) / SECTOR;
    volume_.sectorsPerFat = b.sectorsPerFatStored * SECTOR >= bytes ? b.sectorsPerFatStored : computed;
    volume_.fatStart = volume_.partition.startLba + (b.reservedSectors >= 1 ? b.reservedSectors : 1);
}

// The boot sector's counts against the card and against each other, before
// anything is allocated for them: the partition must lie on the card, the
// cluster count must suit the FAT type, and the FATs and the root directory
// must leave room for a data area inside the partition. A boot sector that
// fails gives 7 (the card is not read further, so a retry costs two sector
// reads).
uint32_t FileSystem::placeVolume(uint32_t entries) {
    const BootSectorFields& b = volume_.boot;
    const media::CardGeometry* row = nullptr;
    if (const uint32_t error = media_.maps().smGetGeometry(CARD, &row)) return error;
    const uint64_t partitionEnd = uint64_t{volume_.partition.startLba} + b.totalSectors;
    const bool powerOfTwo = (b.sectorsPerCluster & (b.sectorsPerCluster - 1)) == 0;
    const uint32_t maxEntries = volume_.fat16() ? MAX_FAT16_ENTRIES : MAX_FAT12_ENTRIES;
    if (b.totalSectors == 0 || partitionEnd > row->totalSectors || !powerOfTwo || entries > maxEntries) {
        return FS_BAD_BOOT_SECTOR;
    }
    placeFats(entries);
    const uint64_t rootStart = uint64_t{volume_.fatStart} + uint64_t{b.fatCount} * volume_.sectorsPerFat;
    const uint64_t dataStart = rootStart + (uint64_t{b.rootEntries} * DIR_ENTRY + SECTOR - 1) / SECTOR;
    if (dataStart + b.sectorsPerCluster > partitionEnd) return FS_BAD_BOOT_SECTOR;
    volume_.rootStart = static_cast<uint32_t>(rootStart);
    volume_.dataStart = static_cast<uint32_t>(dataStart);
    return FS_OK;
}

uint32_t FileSystem::mount() {
    volume_.mounted = 0;
    files_.clear();
    auto buffer = media_.pool().take();
    if (!buffer) return FS_NO_MEMORY;
    if (const uint32_t error = readPartition(buffer.data())) return error;
    if (const uint32_t error = readBootSector(buffer.data())) return error;
    buffer.release();

    const uint32_t entries = volume_.boot.totalSectors / volume_.boot.sectorsPerCluster + 2;
    if (const uint32_t error = placeVolume(entries)) return error;
    try {
        volume_.fat.clear();
        volume_.fat.reset(entries);
    } catch (const std::bad_alloc&) {
        return FS_DEVICE_FAILED;
    }
    if (const uint32_t error = fat_.load()) return error;
    volume_.writeBufferSize = SECTOR;
    volume_.mounted = Volume::MOUNTED;
    removeDoubledEntries();
    reserveNamedClusters();
    return FS_OK;
}

}  // namespace kestrel::fatfs
