// RAII owners of global memory blocks, the medium of clipboard and drag
// data: GlobalBlock owns a block until it is handed over (to a storage
// medium), LockedBlock holds a block locked for reading or writing.
#pragma once

#include "shellext/shell_api.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kestrel::shellext {

class GlobalBlock {
public:
    // A moveable, zeroed, shareable block; invalid when it cannot be had.
    explicit GlobalBlock(size_t size) : block_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size)) {}
    ~GlobalBlock() {
        if (block_ != nullptr) GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    bool valid() const { return block_ != nullptr; }
    HGLOBAL get() const { return block_; }
    // Gives the block away; the receiver frees it.
    HGLOBAL release() { return std::exchange(block_, nullptr); }

private:
    HGLOBAL block_;
};

class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block)
        : block_(block), bytes_(block == nullptr ? nullptr : static_cast<uint8_t*>(GlobalLock(block))),
          size_(bytes_ == nullptr ? 0 : GlobalSize(block)) {}
    ~LockedBlock() {
        if (bytes_ != nullptr) GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    uint8_t* bytes() const { return bytes_; }
    size_t size() const { return size_; }

private:
    HGLOBAL block_;
    uint8_t* bytes_;
    size_t size_;
};

// A 4-byte block holding `value` (drop effects, flags); null when the block
// cannot be had.
inline HGLOBAL valueBlock(uint32_t value) {
    GlobalBlock block(sizeof value);
    if (!block.valid()) return nullptr;
    {
        LockedBlock locked(block.get());
        if (locked.bytes() == nullptr) return nullptr;
        for (int i = 0; i < 4; ++i) locked.bytes()[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return block.release();
}

}  // namespace kestrel::shellext
