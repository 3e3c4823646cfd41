#include "fatfs/cluster_io.h"

#include "fatfs/fs_results.h"
#include "media/media_errors.h"

#include <algorithm>
#include <new>
#include <vector>

namespace kestrel::fatfs {

namespace {

constexpr uint8_t CARD = 0;

}  // namespace

uint32_t ClusterIo::sectorsPerBlock() const {
    const media::CardGeometry* row = nullptr;
    return const_cast<media::BlockMap&>(maps_).smGetGeometry(CARD, &row) == 0 ? row->sectorsPerBlock : 1;
}

RegionStart ClusterIo::regionBefore(uint32_t bytes) const {
    const uint32_t clusterBytes = volume_.clusterBytes();
    const uint32_t clusters = (bytes + clusterBytes - 1) / clusterBytes;
    return {2u - clusters, (clusterBytes - bytes % clusterBytes) % clusterBytes};
}

uint32_t ClusterIo::read(uint32_t cluster, uint32_t offset, uint8_t* buffer, uint32_t length) {
    return forEachBlockPiece(cluster, offset, buffer, length, &ClusterIo::readPiece);
}

uint32_t ClusterIo::write(uint32_t cluster, uint32_t offset, const uint8_t* data, uint32_t length) {
    ++writes_;
    // The pieces are only read from on the write path.
    return forEachBlockPiece(cluster, offset, const_cast<uint8_t*>(data), length, &ClusterIo::writePiece);
}

uint32_t ClusterIo::fill(uint32_t cluster, uint8_t value) {
    std::vector<uint8_t> bytes;
    try {
        bytes.assign(volume_.clusterBytes(), value);
    } catch (const std::bad_alloc&) {
        return FS_NO_MEMORY;
    }
    return write(cluster, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

uint32_t ClusterIo::forEachBlockPiece(uint32_t cluster, uint32_t offset, uint8_t* data, uint32_t length,
                                      BlockOp op) {
    const uint32_t k = sectorsPerBlock();
    // Wrapping arithmetic: clusters 1 and below land before the data area.
    uint32_t sector = volume_.dataStart + volume_.boot.sectorsPerCluster * (cluster - 2u) + offset / SECTOR;
    uint32_t inSector = offset % SECTOR;
    while (length > 0) {
        const uint32_t block = sector / k;
        const uint32_t blockOffset = (sector % k) * SECTOR + inSector;
        const uint32_t piece = std::min(length, k * SECTOR - blockOffset);
        if (const uint32_t error = (this->*op)(block, blockOffset, data, piece)) return error;
        data += piece;
        length -= piece;
        sector = (block + 1) * k;
        inSector = 0;
    }
    return FS_OK;
}

uint32_t ClusterIo::readPiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length) {
    return maps_.smReadLogBlock(CARD, block, offset, data, length);
}

uint32_t ClusterIo::writePiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length) {
    return writeInBlock(block, offset, data, length);
}

uint32_t ClusterIo::writeInBlock(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length) {
    ++writes_;
    auto sector = pool_.take();
    if (!sector) return FS_NO_MEMORY;
    if (maps_.smIsRangeErased(CARD, block, offset, length)) return writeInPlace(block, offset, data, length, sector.data());
    return copyOnWrite(block, offset, data, length, sector.data());
}

uint32_t ClusterIo::writeInPlace(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length,
                                 uint8_t* sector) {
    const uint32_t first = offset / SECTOR;
    const uint32_t last = (offset + length - 1) / SECTOR;
    for (uint32_t i = first; i <= last; ++i) {
        // Unwritten sectors hold no data: the bytes around the range stay
        // as an erased sector has them.
        std::fill_n(sector, SECTOR, 0xFF);
        const uint32_t from = std::max(offset, i * SECTOR);
        const uint32_t to = std::min(offset + length, (i + 1) * SECTOR);
        std::copy(data + (from - offset), data + (to - offset), sector + (from - i * SECTOR));
        if (const uint32_t error = maps_.smWriteLogBlock(CARD, block, i * SECTOR, sector, SECTOR)) return error;
    }
    return FS_OK;
}

uint32_t ClusterIo::copyOnWrite(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length,
                                uint8_t* sector) {
    uint32_t old = 0;
    if (const uint32_t error = maps_.smAssignBlock(CARD, block, &old)) return error;
    const uint32_t k = sectorsPerBlock();
    const uint32_t first = offset / SECTOR;
    const uint32_t last = (offset + length - 1) / SECTOR;
    uint32_t result = FS_OK;
    for (uint32_t i = 0; i < k && result == FS_OK; ++i) {
        const bool touched = i >= first && i <= last;
        const bool written = old != 0 && !maps_.smIsSectorErased(CARD, old, i);
        // Sectors unwritten before and not written now stay unwritten (so
        // that later writes can program them in place); the first sector is
        // always written, as the next map scan finds the block by it.
        if (!touched && !written && i != 0) continue;
        std::fill_n(sector, SECTOR, 0xFF);
        if (written) {
            const uint32_t read = maps_.smReadPhysBlock(CARD, old, i * SECTOR, sector, SECTOR);
            if (read != FS_OK && read != media::MEDIA_UNCORRECTABLE) result = read;
        }
        if (result != FS_OK) break;
        if (touched) {
            const uint32_t from = std::max(offset, i * SECTOR);
            const uint32_t to = std::min(offset + length, (i + 1) * SECTOR);
            std::copy(data + (from - offset), data + (to - offset), sector + (from - i * SECTOR));
        }
        result = maps_.smWriteLogBlock(CARD, block, i * SECTOR, sector, SECTOR);
    }
    if (result != FS_OK) {
        // The old block still holds the data: map it again and drop the
        // partial copy.
        maps_.smRestoreBlock(CARD, block, old);
        return result;
    }
    if (old != 0) (void)maps_.smReleaseBlock(CARD, old);
    return FS_OK;
}

}  // namespace kestrel::fatfs
