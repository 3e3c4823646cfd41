// Where a FAT12/FAT16 volume behind a master boot record lies, read the way
// the library's mount reads it, and which sectors of a disk image such a
// volume uses: the boot record itself, the volume's boot sector, FATs and
// root directory, and the sectors of every cluster that a FAT copy marks
// as taken. A restore may leave the other sectors' blocks unwritten when
// they hold only zeros: nothing reads them, and new data then goes into
// erased blocks, as after a format.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kestrel::cli {

// Reads one 512-byte sector; false when it cannot.
using SectorReader = std::function<bool(uint32_t sector, uint8_t* data)>;

struct VolumePlacement {
    uint32_t partitionStart = 0;
    uint32_t fatStart = 0;
    uint32_t fatSectors = 0;  // of one copy
    uint32_t fatCount = 0;
    uint32_t dataStart = 0;
    uint32_t sectorsPerCluster = 0;
    bool fat16 = false;
};

// Nullopt for a disk whose volume the library would not mount, or would
// place differently from what its boot sector says.
std::optional<VolumePlacement> readVolumePlacement(const SectorReader& read, uint32_t totalSectors);

class ImageLayout {
public:
    // An image whose volume is not understood uses every sector.
    static ImageLayout analyse(const SectorReader& read, uint32_t totalSectors);

    bool understood() const { return placement_.has_value(); }
    bool sectorInUse(uint32_t sector) const;
    bool anySectorInUse(uint32_t first, uint32_t count) const;

private:
    std::optional<VolumePlacement> placement_;
    std::vector<bool> taken_;  // by cluster number
};

}  // namespace kestrel::cli
