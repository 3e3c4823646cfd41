#include "fatfs/block_writes.h"

#include <algorithm>

namespace kestrel::fatfs {

void BlockWrites::start(uint32_t block, uint32_t sectorsPerBlock) {
    const size_t bytes = static_cast<size_t>(sectorsPerBlock) * SECTOR;
    bytes_.assign(bytes, 0);
    mask_.assign(bytes, 0);
    touched_.assign(sectorsPerBlock, false);
    block_ = block;
    firstTouched_ = NONE;
}

void BlockWrites::clear() {
    block_ = NONE;
    firstTouched_ = NONE;
    std::fill(mask_.begin(), mask_.end(), 0);
    std::fill(touched_.begin(), touched_.end(), false);
}

void BlockWrites::add(uint32_t offset, const uint8_t* data, uint32_t length) {
    // What lies beyond the block is not the block's (the card layer never
    // wrote past a block's last sector either).
    if (offset >= bytes_.size()) return;
    length = static_cast<uint32_t>(std::min<size_t>(length, bytes_.size() - offset));
    if (length == 0) return;
    std::copy_n(data, length, bytes_.begin() + offset);
    std::fill_n(mask_.begin() + offset, length, 0xFF);
    for (uint32_t s = offset / SECTOR; s <= (offset + length - 1) / SECTOR; ++s) touched_[s] = true;
    firstTouched_ = std::min(firstTouched_, offset / SECTOR);
}

bool BlockWrites::covers(uint32_t sector) const {
    if (!touches(sector)) return false;
    const auto first = mask_.begin() + static_cast<std::ptrdiff_t>(sector) * SECTOR;
    return std::all_of(first, first + SECTOR, [](uint8_t gathered) { return gathered != 0; });
}

bool BlockWrites::touchesAny(uint32_t first, uint32_t last) const {
    for (uint32_t s = first; s <= last && s < touched_.size(); ++s) {
        if (touched_[s]) return true;
    }
    return false;
}

void BlockWrites::applyTo(uint32_t sector, uint8_t* bytes512) const {
    if (!touches(sector)) return;
    overlay(sector * SECTOR, bytes512, SECTOR);
}

void BlockWrites::overlay(uint32_t offset, uint8_t* buffer, uint32_t length) const {
    if (empty() || offset >= bytes_.size()) return;
    const uint32_t end = static_cast<uint32_t>(std::min<size_t>(bytes_.size(), size_t{offset} + length));
    for (uint32_t s = offset / SECTOR; s * SECTOR < end; ++s) {
        if (!touched_[s]) continue;
        const uint32_t from = std::max(offset, s * SECTOR);
        const uint32_t to = std::min(end, (s + 1) * SECTOR);
        for (uint32_t i = from; i < to; ++i) {
            if (mask_[i]) buffer[i - offset] = bytes_[i];
        }
    }
}

}  // namespace kestrel::fatfs
