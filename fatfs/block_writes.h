// The bytes that are to go into one logical block: whole or partial
// sectors, each laid over what its sector holds when it reaches the card
// (its old contents, or an erased sector's 0xFF). Writes gathered here go
// to the card together, in one block copy or programmed in place.
#pragma once

#include "fatfs/volume.h"

#include <cstdint>
#include <vector>

namespace kestrel::fatfs {

class BlockWrites {
public:
    BlockWrites() = default;

    // Starts gathering for logical block `block` of `sectorsPerBlock`
    // sectors, dropping what was gathered before. Throws std::bad_alloc.
    void start(uint32_t block, uint32_t sectorsPerBlock);
    // Nothing gathered (also after clear()).
    bool empty() const { return firstTouched_ == NONE; }
    void clear();
    uint32_t block() const { return block_; }

    // Lays `length` bytes at byte `offset` of the block over what was
    // gathered before; bytes beyond the block are left out.
    void add(uint32_t offset, const uint8_t* data, uint32_t length);
    bool touches(uint32_t sector) const { return sector < touched_.size() && touched_[sector]; }
    // True when every byte of `sector` was gathered: its old contents are
    // not needed.
    bool covers(uint32_t sector) const;
    // True when a sector from `first` to `last` is touched.
    bool touchesAny(uint32_t first, uint32_t last) const;
    // Lays the gathered bytes of `sector` over `bytes512`.
    void applyTo(uint32_t sector, uint8_t* bytes512) const;
    // Lays the gathered bytes that fall into [offset, offset + length) of
    // the block over `buffer`, which holds that range.
    void overlay(uint32_t offset, uint8_t* buffer, uint32_t length) const;

private:
    static constexpr uint32_t NONE = 0xFFFFFFFF;
    uint32_t block_ = NONE;
    uint32_t firstTouched_ = NONE;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> mask_;  // 0xFF where a byte was gathered
    std::vector<bool> touched_;
};

}  // namespace kestrel::fatfs
