// Two physical blocks of one zone claiming the same logical block. That is
// what a copy-on-write or a relocation leaves when it is cut short: the new
// block is written first and the old one given up (erased, or marked bad)
// only once the new one is complete. The card keeps no sequence number, so
// the choice is made from what each copy holds:
//
//   1. a copy that carries a bad-block mark in any sector was being given
//      up: the other one wins;
//   2. a copy lacking sectors the other one holds (erased where the other
//      is written) was still being filled, or was being erased: the copy
//      lacking fewer sectors wins;
//   3. a copy with fewer sectors that fail their ECC wins (a sector cut
//      short while being programmed or erased fails it);
//   4. the copy with more written sectors wins: a copy only grows;
//   5. still equal: both are complete, and the higher-numbered block wins,
//      as it always did.
//
// The same card contents always give the same choice.
#include "media/block_map.h"

#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace kestrel::media {

namespace {

enum class SectorKind : uint8_t { Erased, Written, Damaged };

bool allErased(const uint8_t* bytes, size_t length) {
    return std::all_of(bytes, bytes + length, [](uint8_t b) { return b == ERASED_BYTE; });
}

}  // namespace

struct BlockMap::CopyCensus {
    std::vector<SectorKind> sectors;
    bool givenUp = false;
    uint32_t written = 0;
    uint32_t damaged = 0;
};

uint32_t BlockMap::takeCensus(uint8_t card, uint32_t block, CopyCensus& census) {
    census.sectors.assign(sectorsPerBlock(), SectorKind::Erased);
    std::array<uint8_t, SECTOR_BYTES> data{};
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        Spare spare{};
        if (const uint32_t error = card_.smReadSectorSpare(card, firstSector(block) + i, spare.data())) return error;
        const uint32_t read = card_.smReadPhysBlock(card, block, i * SECTOR_BYTES, data.data(), SECTOR_BYTES);
        if (read != MEDIA_OK && read != MEDIA_UNCORRECTABLE) return read;
        const bool spareErased = allErased(spare.data(), spare.size());
        SectorKind kind = SectorKind::Written;
        if (read == MEDIA_UNCORRECTABLE) {
            kind = SectorKind::Damaged;
        } else if (spareErased) {
            // Data without a spare area: a program cut short.
            kind = allErased(data.data(), data.size()) ? SectorKind::Erased : SectorKind::Damaged;
        }
        census.sectors[i] = kind;
        if (kind != SectorKind::Erased) ++census.written;
        if (kind == SectorKind::Damaged) ++census.damaged;
        if (blockStatusBad(spare[SPARE_BLOCK_STATUS], SCAN_GOOD_STATUS_MIN_ONE_BITS)) census.givenUp = true;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::chooseCopy(uint8_t card, uint32_t lower, uint32_t higher, uint32_t* winner) {
    CopyCensus low;
    CopyCensus high;
    if (const uint32_t error = takeCensus(card, lower, low)) return error;
    if (const uint32_t error = takeCensus(card, higher, high)) return error;
    const auto lacking = [](const CopyCensus& copy, const CopyCensus& other) {
        uint32_t count = 0;
        for (size_t i = 0; i < copy.sectors.size(); ++i) {
            if (copy.sectors[i] == SectorKind::Erased && other.sectors[i] != SectorKind::Erased) ++count;
        }
        return count;
    };
    // Smaller is better, field by field.
    const auto rank = [&](const CopyCensus& copy, const CopyCensus& other) {
        return std::make_tuple(copy.givenUp, lacking(copy, other), copy.damaged, sectorsPerBlock() - copy.written);
    };
    *winner = rank(high, low) <= rank(low, high) ? higher : lower;
    return MEDIA_OK;
}

}  // namespace kestrel::media
