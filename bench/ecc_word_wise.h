// The SmartMedia ECC as the media layer computed it before its current
// form: one parity per 64-bit word through a byte table. Kept for the
// benchmark's comparison only.
#pragma once

#include "platform/byte_order.h"

#include <array>
#include <bit>
#include <cstdint>

namespace kestrel::bench {

namespace word_wise {

// Per byte value: its column parities in bits 0-5, its own parity in bit 6.
constexpr std::array<uint8_t, 256> makeByteTable() {
    constexpr std::array<uint8_t, 6> columnMasks = {0x55, 0xAA, 0x33, 0xCC, 0x0F, 0xF0};
    std::array<uint8_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value) {
        uint8_t entry = 0;
        for (uint32_t cp = 0; cp < columnMasks.size(); ++cp) {
            if (std::popcount(value & columnMasks[cp]) & 1) entry |= static_cast<uint8_t>(1u << cp);
        }
        if (std::popcount(value) & 1) entry |= 0x40;
        table[value] = entry;
    }
    return table;
}

inline constexpr auto BYTE_TABLE = makeByteTable();

constexpr uint8_t interleave(uint32_t even, uint32_t odd) {
    uint8_t out = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        out |= static_cast<uint8_t>(((even >> k) & 1u) << (2 * k));
        out |= static_cast<uint8_t>(((odd >> k) & 1u) << (2 * k + 1));
    }
    return out;
}

inline uint8_t foldToByte(uint64_t word) {
    word ^= word >> 32;
    word ^= word >> 16;
    word ^= word >> 8;
    return static_cast<uint8_t>(word);
}

inline uint32_t parity64(uint64_t word) { return BYTE_TABLE[foldToByte(word)] >> 6; }

}  // namespace word_wise

inline void wordWiseEcc(const uint8_t* data256, uint8_t* ecc3) {
    using namespace word_wise;
    uint64_t all = 0;
    uint32_t wordIndexSet = 0;
    for (uint32_t j = 0; j < 32; ++j) {
        const uint64_t word = loadLe32(data256 + 8 * j) | (static_cast<uint64_t>(loadLe32(data256 + 8 * j + 4)) << 32);
        all ^= word;
        wordIndexSet ^= j & (0u - parity64(word));
    }
    const uint32_t total = parity64(all);
    const uint32_t indexSet = (parity64(all & 0xFF00FF00FF00FF00ull)) |
                              (parity64(all & 0xFFFF0000FFFF0000ull) << 1) |
                              (parity64(all & 0xFFFFFFFF00000000ull) << 2) | (wordIndexSet << 3);
    const uint32_t indexClear = indexSet ^ (total ? 0xFFu : 0u);
    const uint32_t columns = BYTE_TABLE[foldToByte(all)] & 0x3Fu;
    ecc3[0] = static_cast<uint8_t>(~interleave(indexClear & 0x0F, indexSet & 0x0F));
    ecc3[1] = static_cast<uint8_t>(~interleave((indexClear >> 4) & 0x0F, (indexSet >> 4) & 0x0F));
    ecc3[2] = static_cast<uint8_t>(~(columns << 2));
}

}  // namespace kestrel::bench
