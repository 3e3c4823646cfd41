// Bytes between memory and the card, addressed by (cluster, byte offset)
// relative to the data area: cluster c begins at sector data start +
// (c - 2) x sectors per cluster, so cluster numbers of 1 and below (pseudo
// clusters) reach the FAT copies and the root directory before it. Ranges
// are split at erase-block boundaries; writes program unwritten sectors in
// place and move a block that already holds data to a fresh one
// (copy-on-write).
//
// Inside a write batch (WriteBatch) the writes into one logical block are
// gathered and reach the card together when the batch ends or when a write
// goes to another block: one block copy, or programs in place, for all of
// them. Blocks still reach the card in the order in which they were first
// written since the last block change, so the order between blocks that
// the file system relies on stays. Reads see the gathered bytes.
#pragma once

#include "fatfs/block_writes.h"
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
    // block together with the old block's written sectors. Gathered when a
    // batch is open.
    uint32_t writeInBlock(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length);

    // Batches nest; the outermost end writes what is gathered.
    void beginBatch() { ++batchDepth_; }
    [[nodiscard]] uint32_t endBatch();
    // Writes what is gathered now (before the card is changed by other
    // means than this object).
    [[nodiscard]] uint32_t flushPending();
    bool batching() const { return batchDepth_ > 0; }
    // Counts the writes begun through this object (whatever their result):
    // what was read before a change of the count may be stale. Directory
    // keeps directory sectors only while the count stands still, so every
    // way of writing through this object must count.
    uint64_t writeCount() const { return writes_; }
    // Counts a change made beside the card (held in memory) as a write.
    void noteWrite() { ++writes_; }
    // The card sector at the cluster layer's (cluster, offset).
    uint32_t sectorAt(uint32_t cluster, uint32_t offset) const {
        // Wrapping arithmetic, as for the pieces: pseudo clusters lie
        // before the data area.
        return volume_.dataStart + volume_.boot.sectorsPerCluster * (cluster - 2u) + offset / SECTOR;
    }

private:
    using BlockOp = uint32_t (ClusterIo::*)(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t forEachBlockPiece(uint32_t cluster, uint32_t offset, uint8_t* data, uint32_t length, BlockOp op);
    uint32_t readPiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t writePiece(uint32_t block, uint32_t offset, uint8_t* data, uint32_t length);
    uint32_t gather(uint32_t block, uint32_t offset, const uint8_t* data, uint32_t length);
    // One block's gathered writes to the card.
    uint32_t writeGathered(const BlockWrites& writes);
    uint32_t writeInPlace(const BlockWrites& writes, uint8_t* sector);
    uint32_t copyOnWrite(const BlockWrites& writes, uint8_t* sector);
    uint32_t sectorsPerBlock() const;

    media::BlockMap& maps_;
    media::SectorBufferPool& pool_;
    const Volume& volume_;
    BlockWrites pending_;
    uint32_t batchDepth_ = 0;
    uint64_t writes_ = 0;
};

// Gathers the writes of one file-system operation (see ClusterIo) for as
// long as it lives; what is gathered reaches the card at the latest when it
// ends, also on an early return.
class WriteBatch {
public:
    explicit WriteBatch(ClusterIo& io) : io_(io) { io_.beginBatch(); }
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;
    ~WriteBatch() {
        if (!finished_) (void)io_.endBatch();
    }
    // Ends the batch: `result`, or the error of writing what was gathered.
    [[nodiscard]] uint32_t finish(uint32_t result) {
        finished_ = true;
        const uint32_t written = io_.endBatch();
        return result != 0 ? result : written;
    }

private:
    ClusterIo& io_;
    bool finished_ = false;
};

}  // namespace kestrel::fatfs
