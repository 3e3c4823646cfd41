#include "fatfs/held_dir_sectors.h"

#include <algorithm>

namespace kestrel::fatfs {

bool HeldDirSectors::lookup(uint32_t number, uint8_t* out) const {
    const auto found = sectors_.find(number);
    if (found == sectors_.end()) return false;
    std::copy(found->second.bytes.begin(), found->second.bytes.end(), out);
    return true;
}

void HeldDirSectors::store(uint32_t number, uint32_t cluster, uint32_t offset, const uint8_t* bytes512) {
    HeldSector& held = sectors_[number];
    held.cluster = cluster;
    held.offset = offset;
    std::copy_n(bytes512, SECTOR, held.bytes.begin());
}

std::vector<HeldSector> HeldDirSectors::inOrder() const {
    std::vector<HeldSector> out;
    out.reserve(sectors_.size());
    for (const auto& [number, held] : sectors_) out.push_back(held);
    return out;
}

}  // namespace kestrel::fatfs
