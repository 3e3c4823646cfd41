#include "fatfs/dir_sector_cache.h"

#include <algorithm>

namespace kestrel::fatfs {

void DirSectorCache::validate(uint64_t writes) {
    if (writes == writes_) return;
    sectors_.clear();
    writes_ = writes;
}

bool DirSectorCache::lookup(uint32_t cluster, uint32_t offset, uint8_t* out) const {
    const auto found = sectors_.find(key(cluster, offset));
    if (found == sectors_.end()) return false;
    std::copy(found->second.begin(), found->second.end(), out);
    return true;
}

void DirSectorCache::store(uint32_t cluster, uint32_t offset, const uint8_t* data) {
    if (sectors_.size() >= MAX_SECTORS) sectors_.clear();
    auto& sector = sectors_[key(cluster, offset)];
    std::copy_n(data, SECTOR, sector.begin());
}

}  // namespace kestrel::fatfs
