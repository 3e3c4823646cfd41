// The FAT: loading the image from the card, storing it into every FAT copy,
// and the cluster chains built on it (free-cluster search, contiguous runs
// with pre-erased blocks, linking, freeing, truncation). The image is ahead
// of the card between stores.
#pragma once

#include "fatfs/cluster_io.h"
#include "fatfs/fat_sectors_on_card.h"
#include "fatfs/volume.h"
#include "media/block_map.h"
#include "media/sector_pool.h"

#include <cstdint>
#include <vector>

namespace kestrel::fatfs {

// Marks the clusters a walk has passed, so that a chain or a directory
// tree that comes back on itself is noticed at the first revisit.
class VisitedClusters {
public:
    explicit VisitedClusters(uint32_t count) : seen_(count, false) {}
    // False when `cluster` was visited before (or lies outside the image).
    bool enter(uint32_t cluster) {
        if (cluster >= seen_.size() || seen_[cluster]) return false;
        seen_[cluster] = true;
        return true;
    }
    bool contains(uint32_t cluster) const { return cluster < seen_.size() && seen_[cluster]; }

private:
    std::vector<bool> seen_;
};

struct FreeRun {
    uint32_t first = 0;    // 0: no run of the length asked for
    uint32_t longest = 0;  // the longest run seen when there was none
};

class FatTable {
public:
    FatTable(Volume& volume, ClusterIo& io, media::BlockMap& maps, media::SectorBufferPool& pool)
        : volume_(volume), io_(io), maps_(maps), pool_(pool) {}

    // Loads the first FAT copy that begins F8 FF FF: 8 when none does, 33
    // when a read fails.
    uint32_t load();
    // Brings every FAT copy to the image: writes the sectors that differ
    // from what the card holds (as last loaded, stored or read), copy
    // after copy, each erase block's share in one block copy.
    uint32_t store();
    // While deferred, store() leaves the card as it is (the image is
    // brought to the card by the first store after), and truncate() leaves
    // the unwritten sectors of the file's last block unwritten.
    void setDeferred(bool on) { deferred_ = on; }
    bool deferred() const { return deferred_; }

    // The lowest free cluster, 0 when none.
    uint32_t findFree() const;
    FreeRun findRun(uint32_t count) const;
    // Links `count` clusters behind `after`, contiguous where possible, and
    // gives their blocks fresh erased physical blocks.
    uint32_t extendContiguous(uint32_t after, uint32_t count);
    // Takes the first free cluster, links it behind `previous` and ends the
    // chain there: 12 when none.
    uint32_t linkNew(uint32_t previous, uint32_t* added);
    // Every cluster of the chain from `first` gets entry 0. A chain that
    // fails checkChain() is left as it is (24): freeing it would free
    // clusters of other files.
    uint32_t freeChain(uint32_t first);

    uint32_t clusterCount() const { return volume_.fat.count(); }
    // True for the cluster numbers a chain may hold: 2 up to the last
    // cluster of the data area (and of the image).
    bool isDataCluster(uint32_t cluster) const;
    // The link behind `cluster`: FAT_END or a data cluster. 24 for a free
    // entry, 1, a bad-cluster mark or a number beyond the volume.
    [[nodiscard]] uint32_t nextLink(uint32_t cluster, uint32_t* next) const;
    // Follows the chain from `first` to its end: 24 when a link is broken
    // (see nextLink), when the chain comes back to a cluster it passed (a
    // loop), or when it shares clusters with another chain (a cluster of it
    // is linked from two places, or its first cluster from anywhere).
    // `length` receives the number of clusters.
    [[nodiscard]] uint32_t checkChain(uint32_t first, uint32_t* length = nullptr) const;
    // Ends the chain at the cluster holding byte `size` - 1, frees the rest
    // and fills the unwritten sectors of the block where the file ends.
    void truncate(uint32_t first, uint32_t size);
    // Gives the erase blocks that lie wholly inside `count` clusters from
    // `firstCluster` fresh erased physical blocks.
    uint32_t eraseWholeBlocks(uint32_t firstCluster, uint32_t count);

private:
    uint32_t scanLimit() const;
    // One past the highest data cluster.
    uint32_t clusterLimit() const;
    uint32_t loadFat16(uint32_t firstSector);
    uint32_t loadFat12(uint32_t firstSector);
    uint32_t readSector(uint32_t sector, uint8_t* buffer);
    void packImage(std::vector<uint8_t>& bytes) const;
    void rememberLoaded(uint32_t sector, const uint8_t* bytes);

    Volume& volume_;
    ClusterIo& io_;
    media::BlockMap& maps_;
    media::SectorBufferPool& pool_;
    FatSectorsOnCard onCard_;
    bool deferred_ = false;
};

}  // namespace kestrel::fatfs
