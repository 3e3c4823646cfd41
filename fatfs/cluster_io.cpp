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
    const bool gathered = !pending_.empty() && pending_.block() == block;
    const uint32_t result = maps_.smReadLogBlock(CARD, block, offset, data, length);
    if (!gathered) return result;
    if (result != FS_OK && result != media::MEDIA_UNCORRECTABLE) {
        // The card cannot answer for the block as it is (not yet mapped,
        // say): it is read as it will be once the gathered bytes are there.
        if (const uint32_t error = flushPending()) return error;
        return maps_.smReadLogBlock(CARD, block, offset, data, length);
    }
    pending_.overlay(offset, data, length);
    return result;
}

uint32_t ClusterIo::writePiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length) {
    return writeInBlock(block, offset, data, length);
}

uint32_t ClusterIo::writeInBlock(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length) {
    ++writes_;
    if (const uint32_t error = gather(block, offset, data, length)) return error;
    return batching() ? FS_OK : flushPending();
}

uint32_t ClusterIo::gather(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length) {
    if (!pending_.empty() && pending_.block() != block) {
        if (const uint32_t error = flushPending()) return error;
    }
    if (pending_.empty()) {
        try {
            pending_.start(block, sectorsPerBlock());
        } catch (const std::bad_alloc&) {
            return FS_NO_MEMORY;
        }
    }
    pending_.add(offset, data, length);
    return FS_OK;
}

uint32_t ClusterIo::endBatch() {
    if (batchDepth_ == 0) return FS_OK;
    return --batchDepth_ == 0 ? flushPending() : FS_OK;
}

uint32_t ClusterIo::flushPending() {
    if (pending_.empty()) return FS_OK;
    // Counted again: when the flush fails, what was read with the gathered
    // bytes laid over it is not what the card holds.
    ++writes_;
    const uint32_t result = writeGathered(pending_);
    pending_.clear();
    return result;
}

uint32_t ClusterIo::writeGathered(const BlockWrites& writes) {
    auto sector = pool_.take();
    if (!sector) return FS_NO_MEMORY;
    const uint32_t k = sectorsPerBlock();
    bool allErased = true;
    for (uint32_t i = 0; i < k && allErased; ++i) {
        if (writes.touches(i)) allErased = maps_.smIsRangeErased(CARD, writes.block(), i * SECTOR, SECTOR) != 0;
    }
    if (allErased) return writeInPlace(writes, sector.data());
    return copyOnWrite(writes, sector.data());
}

uint32_t ClusterIo::writeInPlace(const BlockWrites& writes, uint8_t* sector) {
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        if (!writes.touches(i)) continue;
        // Unwritten sectors hold no data: the bytes around the range stay
        // as an erased sector has them.
        std::fill_n(sector, SECTOR, 0xFF);
        writes.applyTo(i, sector);
        if (const uint32_t error = maps_.smWriteLogBlock(CARD, writes.block(), i * SECTOR, sector, SECTOR)) return error;
    }
    return FS_OK;
}

uint32_t ClusterIo::copyOnWrite(const BlockWrites& writes, uint8_t* sector) {
    const uint32_t block = writes.block();
    uint32_t old = 0;
    if (const uint32_t error = maps_.smAssignBlock(CARD, block, &old)) return error;
    const uint32_t k = sectorsPerBlock();
    uint32_t result = FS_OK;
    for (uint32_t i = 0; i < k && result == FS_OK; ++i) {
        const bool touched = writes.touches(i);
        const bool written = old != 0 && !maps_.smIsSectorErased(CARD, old, i);
        // Sectors unwritten before and not written now stay unwritten (so
        // that later writes can program them in place); the first sector is
        // always written, as the next map scan finds the block by it.
        if (!touched && !written && i != 0) continue;
        std::fill_n(sector, SECTOR, 0xFF);
        if (written) {
            const uint32_t read = maps_.smReadPhysBlock(CARD, old, i * SECTOR, sector, SECTOR);
            // A sector that fails its ECC cannot be copied with a fresh ECC
            // (its damage would read as good data): the write is refused and
            // the old block, damage and all, stays mapped. Only a write that
            // replaces the whole sector needs none of its bytes.
            if (read != FS_OK && !(read == media::MEDIA_UNCORRECTABLE && writes.covers(i))) result = read;
        }
        if (result != FS_OK) break;
        if (touched) writes.applyTo(i, sector);
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
