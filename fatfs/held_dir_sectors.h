// Directory sectors changed while a write batch of the file system is open
// (FileSystem::beginBatch): kept in memory, read in place of the card's
// copies, and written out together at the batch's end, in the order of
// their sectors so that the sectors of one erase block reach the card in
// one block copy.
#pragma once

#include "fatfs/volume.h"

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace kestrel::fatfs {

struct HeldSector {
    uint32_t cluster = 0;  // the cluster layer's address of the sector
    uint32_t offset = 0;
    std::array<uint8_t, SECTOR> bytes{};
};

class HeldDirSectors {
public:
    bool holding() const { return holding_; }
    void setHolding(bool on) { holding_ = on; }
    bool empty() const { return sectors_.empty(); }
    size_t size() const { return sectors_.size(); }

    // Copies the held sector `number` to `out`; false when it is not held.
    [[nodiscard]] bool lookup(uint32_t number, uint8_t* out) const;
    // Holds `bytes512` as sector `number`, reached at (cluster, offset).
    // Throws std::bad_alloc.
    void store(uint32_t number, uint32_t cluster, uint32_t offset, const uint8_t* bytes512);
    // The held sectors in ascending sector order.
    std::vector<HeldSector> inOrder() const;
    void clear() { sectors_.clear(); }

private:
    bool holding_ = false;
    std::map<uint32_t, HeldSector> sectors_;  // by card sector number
};

}  // namespace kestrel::fatfs
