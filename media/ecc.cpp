#include "media/ecc.h"

#include "media/media_errors.h"
#include "platform/byte_order.h"

#include <array>
#include <bit>

namespace kestrel::media {

namespace {

constexpr uint32_t DATA_BYTES = 256;
constexpr uint32_t SINGLE_BIT_ERROR_BITS = 11;  // one per line and column parity pair

// Bit masks of the bit positions each column parity covers (CP0..CP5).
constexpr std::array<uint8_t, 6> COLUMN_MASKS = {0x55, 0xAA, 0x33, 0xCC, 0x0F, 0xF0};

// Per byte value: its column parities in bits 0-5, its own parity in bit 6.
constexpr std::array<uint8_t, 256> makeByteTable() {
    std::array<uint8_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value) {
        uint8_t entry = 0;
        for (uint32_t cp = 0; cp < COLUMN_MASKS.size(); ++cp) {
            if (std::popcount(value & COLUMN_MASKS[cp]) & 1) entry |= static_cast<uint8_t>(1u << cp);
        }
        if (std::popcount(value) & 1) entry |= 0x40;
        table[value] = entry;
    }
    return table;
}

constexpr auto BYTE_TABLE = makeByteTable();

// Bits 0-3 of `nibble` moved to bits 0, 2, 4, 6.
constexpr uint32_t spread(uint32_t nibble) {
    nibble = (nibble | (nibble << 2)) & 0x33u;
    return (nibble | (nibble << 1)) & 0x55u;
}

// Interleaves two nibbles: even bits from `even`, odd bits from `odd`.
constexpr uint8_t interleave(uint32_t even, uint32_t odd) {
    return static_cast<uint8_t>(spread(even & 0x0Fu) | (spread(odd & 0x0Fu) << 1));
}

// The 22 parity bits of a stored ECC, un-inverted: LP00..LP15 in bits
// 0-15, CP0..CP5 in bits 16-21.
uint32_t parityBits(const uint8_t* ecc3) {
    const uint32_t lines = static_cast<uint8_t>(~ecc3[0]) | (static_cast<uint8_t>(~ecc3[1]) << 8);
    const uint32_t columns = static_cast<uint8_t>(~ecc3[2]) >> 2;
    return lines | (columns << 16);
}

// Always inlined: a call per word would cost more than the word's work.
[[gnu::always_inline]] inline uint64_t loadLe64(const uint8_t* p) {
    return loadLe32(p) | (static_cast<uint64_t>(loadLe32(p + 4)) << 32);
}

// The XOR of the eight bytes of `word`.
uint8_t foldToByte(uint64_t word) {
    word ^= word >> 32;
    word ^= word >> 16;
    word ^= word >> 8;
    return static_cast<uint8_t>(word);
}

uint32_t parity64(uint64_t word) { return BYTE_TABLE[foldToByte(word)] >> 6; }

// All-ones when bit `k` of `value` is set, else zero.
constexpr uint64_t maskOfBit(uint32_t value, uint32_t k) { return 0 - static_cast<uint64_t>((value >> k) & 1u); }

// Bits 1, 3, 5, ... of `value`, packed.
uint32_t oddBits(uint32_t value, uint32_t count) {
    uint32_t out = 0;
    for (uint32_t m = 0; m < count; ++m) out |= ((value >> (2 * m + 1)) & 1u) << m;
    return out;
}

}  // namespace

// Works on the 32 little-endian 64-bit words of the block. Parity is
// linear, so a line parity over the bytes whose index has bit k set is the
// parity of the XOR of those bytes: the XOR of all words carries the column
// parities and the line parities of the byte position within a word (index
// bits 0-2), and five more XORs, each over the words whose index has one
// bit set, carry those of the word index (index bits 3-7). Words go four at
// a time, so the two low word-index bits are fixed positions within a group
// and the three high ones are masks per group: no branch, no table in the
// loop, and one parity per accumulator at the end.
void smCalcEcc(const uint8_t* data256, uint8_t* ecc3) {
    uint64_t all = 0, set3 = 0, set4 = 0, set5 = 0, set6 = 0, set7 = 0;  // setK: index bit K set
    for (uint32_t group = 0; group < DATA_BYTES / 32; ++group) {
        const uint8_t* p = data256 + 32 * group;
        const uint64_t w0 = loadLe64(p), w1 = loadLe64(p + 8), w2 = loadLe64(p + 16), w3 = loadLe64(p + 24);
        const uint64_t groupXor = (w0 ^ w1) ^ (w2 ^ w3);
        all ^= groupXor;
        set3 ^= w1 ^ w3;
        set4 ^= w2 ^ w3;
        set5 ^= groupXor & maskOfBit(group, 0);
        set6 ^= groupXor & maskOfBit(group, 1);
        set7 ^= groupXor & maskOfBit(group, 2);
    }
    const uint32_t indexSet = parity64(all & 0xFF00FF00FF00FF00ull) | (parity64(all & 0xFFFF0000FFFF0000ull) << 1) |
                              (parity64(all & 0xFFFFFFFF00000000ull) << 2) | (parity64(set3) << 3) |
                              (parity64(set4) << 4) | (parity64(set5) << 5) | (parity64(set6) << 6) |
                              (parity64(set7) << 7);
    // Bytes with index bit k clear hold the rest of the total parity.
    const uint32_t indexClear = indexSet ^ (parity64(all) ? 0xFFu : 0u);
    const uint32_t columns = BYTE_TABLE[foldToByte(all)] & 0x3Fu;
    ecc3[0] = static_cast<uint8_t>(~interleave(indexClear & 0x0F, indexSet & 0x0F));
    ecc3[1] = static_cast<uint8_t>(~interleave((indexClear >> 4) & 0x0F, (indexSet >> 4) & 0x0F));
    ecc3[2] = static_cast<uint8_t>(~(columns << 2));
}

uint32_t smCorrectEcc(const uint8_t* data256, const uint8_t* storedEcc3, const uint8_t* computedEcc3,
                      uint32_t* byteIndex, uint8_t* byteValue) {
    const uint32_t difference = parityBits(storedEcc3) ^ parityBits(computedEcc3);
    const int differing = std::popcount(difference);
    if (differing <= 1) return MEDIA_OK;
    if (differing != static_cast<int>(SINGLE_BIT_ERROR_BITS)) return MEDIA_UNCORRECTABLE;
    const uint32_t index = oddBits(difference & 0xFFFF, 8);
    const uint32_t bit = oddBits(difference >> 16, 3);
    *byteIndex = index;
    *byteValue = static_cast<uint8_t>(data256[index] ^ (1u << bit));
    return MEDIA_CORRECTED;
}

uint32_t smCheckHalf(uint8_t* data256, const uint8_t* storedEcc3) {
    uint8_t computed[ECC_BYTES];
    smCalcEcc(data256, computed);
    if (computed[0] == storedEcc3[0] && computed[1] == storedEcc3[1] && computed[2] == storedEcc3[2]) {
        return MEDIA_OK;
    }
    uint32_t index = 0;
    uint8_t value = 0;
    switch (smCorrectEcc(data256, storedEcc3, computed, &index, &value)) {
    case MEDIA_CORRECTED: data256[index] = value; return MEDIA_OK;
    case MEDIA_UNCORRECTABLE: return MEDIA_UNCORRECTABLE;
    default: return MEDIA_OK;
    }
}

}  // namespace kestrel::media
