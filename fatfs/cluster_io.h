// Bytes between memory and the card, addressed by (cluster, byte offset)
// relative to the data area: cluster c begins at sector data start +
// (c - 2) x sectors per cluster, so cluster numbers of 1 and below (pseudo
// clusters) reach the FAT copies and the root directory before it. Ranges
// are split at erase-block boundaries; writes program unwritten sectors in
// place and move a block that already holds data to a fresh one
// (copy-on-write).
#pragma once

#include "fatfs/volume.h"
#include "media/block_map.h"
#include "media/sector_pool.h"

#include <cstdint>

namespace kestrel::fatfs {

// A region before the data area, as pseudo cluster and byte offset.
struct RegionStart {
    uint32_t cluster;
    uint32_t offset;
};

class ClusterIo {
public:
    ClusterIo(media::BlockMap& maps, media::SectorBufferPool& pool, const Volume& volume)
        : maps_(maps), pool_(pool), volume_(volume) {}

    uint32_t read(uint32_t cluster, uint32_t offset, uint8_t* buffer, uint32_t length);
    uint32_t write(uint32_t cluster, uint32_t offset, const uint8_t* data, uint32_t length);
    // The whole cluster set to `value` in one write.
    uint32_t fill(uint32_t cluster, uint8_t value);

    // The region of `bytes` that ends where the data area begins.
    RegionStart regionBefore(uint32_t bytes) const;
    RegionStart rootStart() const { return regionBefore(volume_.boot.rootEntries * DIR_ENTRY); }

    // Writes `length` bytes at byte `offset` of logical block `block`:
    // in place when every sector touched is unwritten, else into a fresh
    // block together with the old block's written sectors.
    uint32_t writeInBlock(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length);

    // Counts the writes begun through this object (whatever their result):
    // what was read before a change of the count may be stale. Directory
    // keeps directory sectors only while the count stands still, so every
    // way of writing through this object must count.
    uint64_t writeCount() const { return writes_; }

private:
    using BlockOp = uint32_t (ClusterIo::*)(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t forEachBlockPiece(uint32_t cluster, uint32_t offset, uint8_t* data, uint32_t length, BlockOp op);
    uint32_t readPiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t writePiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t writeInPlace(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length, uint8_t* sector);
    uint32_t copyOnWrite(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length, uint8_t* sector);
    uint32_t sectorsPerBlock() const;

    media::BlockMap& maps_;
    media::SectorBufferPool& pool_;
    const Volume& volume_;
    uint64_t writes_ = 0;
};

}  // namespace kestrel::fatfs
