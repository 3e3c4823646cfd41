#include "fatfs/fat_table.h"

#include "fatfs/fs_results.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kestrel::fatfs {

namespace {

constexpr uint8_t CARD = 0;

uint16_t normalise16(uint16_t value) { return value >= 0xFFF8 ? FAT_END : value; }

uint16_t normalise12(uint16_t value) {
    if (value >= 0xFF8) return FAT_END;
    if (value == 0xFF7) return FAT_BAD;
    return value;
}

bool beginsLikeAFat(const uint8_t* sector) { return sector[0] == 0xF8 && sector[1] == 0xFF && sector[2] == 0xFF; }

}  // namespace

uint32_t FatTable::readSector(uint32_t sector, uint8_t* buffer) {
    return maps_.smReadLogSector(CARD, sector, 0, buffer, SECTOR) == 0 ? FS_OK : FS_DEVICE_FAILED;
}

void FatTable::rememberLoaded(uint32_t sector, const uint8_t* bytes) {
    // The store addresses the copies from the end of the region before the
    // data area; a sector read here is remembered only where both agree.
    const uint32_t copies = volume_.boot.fatCount;
    const uint32_t regionBytes = copies * volume_.sectorsPerFat * SECTOR + volume_.boot.rootEntries * DIR_ENTRY;
    if (regionBytes % SECTOR != 0 || volume_.dataStart < regionBytes / SECTOR) return;
    const uint32_t regionStart = volume_.dataStart - regionBytes / SECTOR;
    if (sector < regionStart || sector - regionStart >= copies * volume_.sectorsPerFat) return;
    const size_t total = static_cast<size_t>(copies) * volume_.sectorsPerFat;
    if (onCard_.sectors() != total) onCard_.reset(total);
    onCard_.remember(sector - regionStart, bytes);
}

uint32_t FatTable::load() {
    onCard_.forget();
    std::array<uint8_t, SECTOR> sector{};
    for (uint32_t copy = 0; copy < volume_.boot.fatCount; ++copy) {
        const uint32_t first = volume_.fatStart + copy * volume_.sectorsPerFat;
        if (readSector(first, sector.data()) != FS_OK) return FS_DEVICE_FAILED;
        if (!beginsLikeAFat(sector.data())) continue;
        return volume_.fat16() ? loadFat16(first) : loadFat12(first);
    }
    return FS_NO_FAT_COPY;
}

uint32_t FatTable::loadFat16(uint32_t firstSector) {
    FatImage& fat = volume_.fat;
    std::array<uint8_t, SECTOR> sector{};
    uint32_t index = 0;
    for (uint32_t s = 0; s < volume_.sectorsPerFat && index < fat.count(); ++s) {
        if (readSector(firstSector + s, sector.data()) != FS_OK) return FS_DEVICE_FAILED;
        rememberLoaded(firstSector + s, sector.data());
        for (uint32_t at = 0; at < SECTOR && index < fat.count(); at += 2, ++index) {
            const uint16_t value = loadLe16(sector.data() + at);
            fat.set(index, index >= 2 ? normalise16(value) : value);
        }
    }
    return FS_OK;
}

uint32_t FatTable::loadFat12(uint32_t firstSector) {
    FatImage& fat = volume_.fat;
    std::array<uint8_t, SECTOR + 2> bytes{};  // up to two bytes carried from the sector before
    uint32_t carried = 0;
    uint32_t index = 0;
    for (uint32_t s = 0; s < volume_.sectorsPerFat && index < fat.count(); ++s) {
        if (readSector(firstSector + s, bytes.data() + carried) != FS_OK) return FS_DEVICE_FAILED;
        rememberLoaded(firstSector + s, bytes.data() + carried);
        const uint32_t available = carried + SECTOR;
        uint32_t at = 0;
        for (; at + 3 <= available && index < fat.count(); at += 3) {
            const uint16_t a = static_cast<uint16_t>(bytes[at] | ((bytes[at + 1] & 0x0F) << 8));
            const uint16_t b = static_cast<uint16_t>((bytes[at + 1] >> 4) | (bytes[at + 2] << 4));
            fat.set(index, index >= 2 ? normalise12(a) : a);
            ++index;
            if (index < fat.count()) fat.set(index, index >= 2 ? normalise12(b) : b);
            ++index;
        }
        carried = available - at;
        std::copy_n(bytes.begin() + at, carried, bytes.begin());
    }
    return FS_OK;
}

void FatTable::packImage(std::vector<uint8_t>& bytes) const {
    const FatImage& fat = volume_.fat;
    bytes.assign(static_cast<size_t>(volume_.sectorsPerFat) * SECTOR, 0);
    if (volume_.fat16()) {
        for (uint32_t i = 0; i < fat.count() && 2 * i + 1 < bytes.size(); ++i) storeLe16(&bytes[2 * i], fat.get(i));
        return;
    }
    for (uint32_t i = 0; i < fat.count(); i += 2) {
        const size_t at = i / 2 * 3;
        if (at + 2 >= bytes.size()) break;
        const uint16_t a = fat.get(i);
        const uint16_t b = fat.get(i + 1);  // 0 beyond the image
        bytes[at] = static_cast<uint8_t>(a & 0xFF);
        bytes[at + 1] = static_cast<uint8_t>(((a >> 8) & 0x0F) | ((b << 4) & 0xF0));
        bytes[at + 2] = static_cast<uint8_t>(b >> 4);
    }
}

uint32_t FatTable::store() {
    if (deferred_) return FS_OK;
    std::vector<uint8_t> bytes;
    packImage(bytes);
    const uint32_t copies = volume_.boot.fatCount;
    const size_t total = static_cast<size_t>(copies) * volume_.sectorsPerFat;
    if (onCard_.sectors() != total) onCard_.reset(total);
    const RegionStart region = io_.regionBefore(copies * volume_.sectorsPerFat * SECTOR +
                                                volume_.boot.rootEntries * DIR_ENTRY);
    // Copy after copy, so that the changed sectors of one copy that share
    // an erase block reach the card in one block copy.
    WriteBatch batch(io_);
    for (uint32_t copy = 0; copy < copies; ++copy) {
        for (uint32_t s = 0; s < volume_.sectorsPerFat; ++s) {
            const uint32_t index = copy * volume_.sectorsPerFat + s;
            const uint8_t* image = bytes.data() + static_cast<size_t>(s) * SECTOR;
            const uint32_t offset = region.offset + index * SECTOR;
            if (!onCard_.known(index)) {
                std::array<uint8_t, SECTOR> card{};
                if (io_.read(region.cluster, offset, card.data(), SECTOR) == FS_OK) onCard_.remember(index, card.data());
            }
            if (onCard_.holds(index, image)) continue;
            if (const uint32_t error = io_.write(region.cluster, offset, image, SECTOR)) {
                onCard_.forget();
                return batch.finish(error);
            }
            onCard_.remember(index, image);
        }
    }
    const uint32_t result = batch.finish(FS_OK);
    if (result != FS_OK) onCard_.forget();
    return result;
}

uint32_t FatTable::scanLimit() const {
    // 16-bit arithmetic, as the cluster numbers are; and never a cluster
    // beyond the end of the partition (volumes made elsewhere may have
    // fewer data clusters than that count suggests).
    const BootSectorFields& b = volume_.boot;
    const uint32_t limit = static_cast<uint16_t>(b.totalSectors / b.sectorsPerCluster);
    const uint32_t end = volume_.partition.startLba + b.totalSectors;
    const uint32_t dataClusters = end > volume_.dataStart ? (end - volume_.dataStart) / b.sectorsPerCluster : 0;
    return std::min(limit, dataClusters + 2);
}

uint32_t FatTable::findFree() const {
    const uint32_t limit = scanLimit();
    if (limit < 3) return 0;
    for (uint32_t c = 2; c < limit; ++c) {
        if (volume_.fat.get(c) == FAT_FREE) return c;
    }
    return 0;
}

FreeRun FatTable::findRun(uint32_t count) const {
    FreeRun run;
    const uint32_t limit = scanLimit();
    uint32_t start = 0, length = 0;
    for (uint32_t c = 2; c < limit; ++c) {
        if (volume_.fat.get(c) != FAT_FREE) {
            length = 0;
            continue;
        }
        if (length++ == 0) start = c;
        run.longest = std::max(run.longest, length);
        if (length >= count) {
            run.first = start;
            return run;
        }
    }
    return run;
}

uint32_t FatTable::extendContiguous(uint32_t after, uint32_t count) {
    while (count > 0) {
        FreeRun run = findRun(count);
        uint32_t length = count;
        if (run.first == 0) {
            if (run.longest == 0) return FS_DISK_FULL;
            length = run.longest;
            run = findRun(length);
            if (run.first == 0) return FS_DEVICE_FAILED;
        }
        volume_.fat.set(after, static_cast<uint16_t>(run.first));
        for (uint32_t i = 0; i + 1 < length; ++i) volume_.fat.set(run.first + i, static_cast<uint16_t>(run.first + i + 1));
        const uint32_t last = run.first + length - 1;
        volume_.fat.set(last, FAT_END);
        if (const uint32_t error = eraseWholeBlocks(run.first, length)) return error;
        count -= length;
        after = last;
    }
    return FS_OK;
}

uint32_t FatTable::eraseWholeBlocks(uint32_t firstCluster, uint32_t count) {
    // Gathered writes reach the card before blocks are exchanged under them.
    if (const uint32_t error = io_.flushPending()) return error;
    const media::CardGeometry* row = nullptr;
    if (const uint32_t error = maps_.smGetGeometry(CARD, &row)) return error;
    const uint32_t k = row->sectorsPerBlock;
    const uint32_t spc = volume_.boot.sectorsPerCluster;
    const uint32_t firstSector = volume_.dataStart + (firstCluster - 2) * spc;
    const uint32_t endSector = firstSector + count * spc;
    // Only blocks that lie wholly inside the clusters: a block shared with
    // other clusters (volumes whose clusters are smaller than a block, or
    // not aligned to one) holds other files' data.
    for (uint32_t block = (firstSector + k - 1) / k; (block + 1) * k <= endSector; ++block) {
        uint32_t old = 0;
        if (const uint32_t error = maps_.smAssignBlock(CARD, block, &old)) return error;
        if (old != 0) {
            if (const uint32_t error = maps_.smReleaseBlock(CARD, old)) return error;
        }
    }
    return FS_OK;
}

uint32_t FatTable::linkNew(uint32_t previous, uint32_t* added) {
    const uint32_t cluster = findFree();
    if (cluster == 0) return FS_DISK_FULL;
    volume_.fat.set(previous, static_cast<uint16_t>(cluster));
    volume_.fat.set(cluster, FAT_END);
    *added = cluster;
    return FS_OK;
}

uint32_t FatTable::clusterLimit() const {
    const BootSectorFields& b = volume_.boot;
    if (b.sectorsPerCluster == 0) return 0;
    const uint64_t end = uint64_t{volume_.partition.startLba} + b.totalSectors;
    const uint64_t dataClusters = end > volume_.dataStart ? (end - volume_.dataStart) / b.sectorsPerCluster : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(volume_.fat.count(), dataClusters + 2));
}

bool FatTable::isDataCluster(uint32_t cluster) const { return cluster >= 2 && cluster < clusterLimit(); }

uint32_t FatTable::nextLink(uint32_t cluster, uint32_t* next) const {
    const uint16_t link = volume_.fat.get(cluster);
    if (link != FAT_END && !isDataCluster(link)) return FS_BROKEN_CHAIN;
    *next = link;
    return FS_OK;
}

uint32_t FatTable::checkChain(uint32_t first, uint32_t* length) const {
    if (!isDataCluster(first)) return FS_BROKEN_CHAIN;
    // How often each cluster is named as a link: a cluster of a sound
    // chain is named once, by the cluster before it, its first one never.
    const uint32_t limit = clusterLimit();
    std::vector<uint8_t> linkedFrom(limit, 0);
    for (uint32_t c = 2; c < limit; ++c) {
        const uint16_t link = volume_.fat.get(c);
        if (link >= 2 && link < limit && linkedFrom[link] < 2) ++linkedFrom[link];
    }
    if (linkedFrom[first] != 0) return FS_BROKEN_CHAIN;
    VisitedClusters visited(limit);
    uint32_t count = 0;
    for (uint32_t cluster = first; cluster != FAT_END;) {
        if (!visited.enter(cluster) || (cluster != first && linkedFrom[cluster] > 1)) return FS_BROKEN_CHAIN;
        ++count;
        if (const uint32_t error = nextLink(cluster, &cluster)) return error;
    }
    if (length != nullptr) *length = count;
    return FS_OK;
}

uint32_t FatTable::freeChain(uint32_t first) {
    if (const uint32_t error = checkChain(first)) return error;
    for (uint32_t cluster = first; cluster != FAT_END;) {
        const uint16_t next = volume_.fat.get(cluster);
        volume_.fat.set(cluster, FAT_FREE);
        cluster = next;
    }
    return FS_OK;
}

void FatTable::truncate(uint32_t first, uint32_t size) {
    if (!isDataCluster(first)) return;
    const uint32_t clusterBytes = volume_.clusterBytes();
    VisitedClusters visited(volume_.fat.count());
    visited.enter(first);
    uint32_t last = first;
    for (uint64_t total = clusterBytes; total < size; total += clusterBytes) {
        uint32_t next = 0;
        if (nextLink(last, &next) != FS_OK || next == FAT_END || !visited.enter(next)) break;
        last = next;
    }
    uint32_t rest = 0;
    const bool restIsChain = nextLink(last, &rest) == FS_OK;
    volume_.fat.set(last, FAT_END);
    // The clusters behind the new end are freed as far as they form a
    // sound chain; a damaged tail is left for a disk check.
    while (restIsChain && rest != FAT_END && visited.enter(rest)) {
        uint32_t next = 0;
        const bool more = nextLink(rest, &next) == FS_OK;
        volume_.fat.set(rest, FAT_FREE);
        if (!more) break;
        rest = next;
    }
    // Inside a write batch the unwritten sectors after the data stay
    // unwritten: they read as the fill would leave them (0xFF), and the
    // fill's programs would cost more than the file's own data.
    if (deferred_) return;
    const media::CardGeometry* row = nullptr;
    if (io_.flushPending() != FS_OK || maps_.smGetGeometry(CARD, &row) != 0) return;
    const uint32_t sector =
        volume_.dataStart + (last - 2) * volume_.boot.sectorsPerCluster + (size % clusterBytes) / SECTOR;
    (void)maps_.smFillBlock(CARD, sector / row->sectorsPerBlock);
}

}  // namespace kestrel::fatfs
