// Directory sectors read from the card during one mount, so that lookups
// and listings that come back to a directory do not read it again. The
// cache is only as good as its check: it holds sectors read while the
// cluster layer's write count had one value, and is emptied as soon as
// that count moves (any write, by anyone: entries, file data, the FAT) or
// the owner drops it (mount, format, unmount, reset).
#pragma once

#include "fatfs/volume.h"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace kestrel::fatfs {

class DirSectorCache {
public:
    // Enough for a directory of 8,192 entries and then some; beyond it the
    // cache starts over (a listing larger than that reads as before).
    static constexpr size_t MAX_SECTORS = 1024;

    // Empties the cache when `writes` differs from the count its sectors
    // were read under.
    void validate(uint64_t writes);
    // Copies the cached 512 bytes at (cluster, offset) to `out`; false when
    // they are not cached.
    [[nodiscard]] bool lookup(uint32_t cluster, uint32_t offset, uint8_t* out) const;
    void store(uint32_t cluster, uint32_t offset, const uint8_t* data);
    void clear() { sectors_.clear(); }
    size_t size() const { return sectors_.size(); }

private:
    static uint64_t key(uint32_t cluster, uint32_t offset) { return (uint64_t{cluster} << 32) | offset; }

    std::unordered_map<uint64_t, std::array<uint8_t, SECTOR>> sectors_;
    uint64_t writes_ = 0;
};

}  // namespace kestrel::fatfs
