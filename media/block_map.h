// The logical block map of card 0: a scan of the first spare area of every
// physical block builds the physical map (what each block holds) and the
// logical map (which physical block holds each logical block). Free blocks
// are picked zone by zone from a rotating cursor with a random start;
// sectors are written with their block address and ECC; a block whose
// program fails is relocated and marked bad; the card is formatted quick or
// with a write-and-verify test of every block.
//
// The scan takes a block's address from field 1 of its first sector, or
// from field 2 when field 1 fails its parity. When two blocks of a zone
// claim one logical block (a copy or relocation cut short), the rebuild
// keeps the complete, newest copy and releases the other one
// (duplicate_claims.cpp).
//
// Logical blocks form zones of 1000, physical blocks zones of 1024; logical
// block L lives in physical zone L / 1000. Cards with fewer than 1024
// physical blocks are one zone.
//
// Every operation except smFreeMaps builds the maps first when they are not
// built and returns a media error code (media_errors.h). Offsets are byte
// offsets within a block. Not thread-safe: the caller serialises.
#pragma once

#include "media/card.h"
#include "media/sector_pool.h"
#include "media/spare_area.h"

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace kestrel::media {

// Physical map values besides block address fields.
inline constexpr uint16_t MAP_FREE = 0xFFFF;
inline constexpr uint16_t MAP_BAD = 0xFFEE;
inline constexpr uint16_t MAP_CIS = 0x0000;

// A status byte with fewer one bits marks a block bad for the map scan.
inline constexpr int SCAN_GOOD_STATUS_MIN_ONE_BITS = 7;

inline constexpr uint32_t PHYSICAL_ZONE_BLOCKS = 1024;
inline constexpr uint32_t LOGICAL_ZONE_BLOCKS = 1000;

struct MapState {
    static constexpr uint32_t BUILT = 10;
    uint32_t built = 0;
    uint32_t makerIndex = 0;
    uint32_t sizeIndex = 0;
    std::vector<uint16_t> physicalMap;  // one entry per physical block
    std::vector<uint16_t> logicalMap;   // indexed by logical block; 0 = not mapped
    uint32_t freeCursor = 0;
    uint32_t lastMapError = 0;
};

// Progress of a format: the card's physical-block count and the current
// block.
using FormatProgress = std::function<void(uint32_t blocks, uint32_t current)>;

class BlockMap {
public:
    BlockMap(Card& card, SectorBufferPool& pool) : card_(card), pool_(pool) {}
    BlockMap(const BlockMap&) = delete;
    BlockMap& operator=(const BlockMap&) = delete;

    // Seeds the generator behind the free-block cursor.
    void seed(uint32_t value) { random_.seed(value); }
    const MapState& state() const { return state_; }

    uint32_t smGetGeometry(uint8_t card, const CardGeometry** row);
    uint32_t smReadLogBlock(uint8_t card, uint32_t logicalBlock, uint32_t offset, uint8_t* buffer, uint32_t length);
    uint32_t smReadLogSector(uint8_t card, uint32_t logicalSector, uint32_t offset, uint8_t* buffer,
                             uint32_t length);
    uint32_t smReadPhysBlock(uint8_t card, uint32_t block, uint32_t offset, uint8_t* buffer, uint32_t length);
    // Programs whole sectors from `offset` (the last one padded with 0xFF).
    // A write that starts beyond sector 0 of a block whose sector 0 is still
    // unwritten programs sector 0 with 0xFF first: the scan finds a block by
    // its sector 0. When a program fails, the block's other sectors and the
    // write go to a fresh block; the old block is given up only once the
    // fresh one is complete and verified, and stays mapped, as it was, when
    // that cannot be done.
    uint32_t smWriteLogBlock(uint8_t card, uint32_t logicalBlock, uint32_t offset, const uint8_t* buffer,
                             uint32_t length);
    // Gives the logical block a freshly erased physical block; `old` gets the
    // block it had (0 if none), which is not released. On failure the old
    // mapping stays.
    uint32_t smAssignBlock(uint8_t card, uint32_t logicalBlock, uint32_t* old);
    uint32_t smReleaseBlock(uint8_t card, uint32_t block);
    // Undoes an assignment whose copy failed: the logical block gets its
    // old block back and the new one is released. Nothing when `old` is 0.
    void smRestoreBlock(uint8_t card, uint32_t logicalBlock, uint32_t old);
    // 1 when every sector the range touches is unwritten, else 0.
    uint32_t smIsRangeErased(uint8_t card, uint32_t logicalBlock, uint32_t offset, uint32_t length);
    // 1 when the sector's 16 spare bytes are all 0xFF, else 0.
    uint32_t smIsSectorErased(uint8_t card, uint32_t block, uint32_t sectorIndex);
    // Writes 0xFF sectors (with address and ECC) into every unwritten sector.
    uint32_t smFillBlock(uint8_t card, uint32_t logicalBlock);
    // Physical format; `bad` gets the number of bad blocks.
    uint32_t smFormatMedia(uint8_t card, uint32_t full, uint32_t* bad, const FormatProgress& progress);
    void smFreeMaps();

    // Steps of the operations above.
    uint32_t smBuildMaps(uint8_t card);
    uint32_t smFindFreeBlock(uint8_t card, uint32_t logicalBlock, uint32_t* found);
    // Moves a mapped logical block to a fresh block (see smWriteLogBlock).
    uint32_t smRelocateBlock(uint8_t card, uint32_t logicalBlock);
    void smMarkBadBlock(uint8_t card, uint32_t block);
    uint32_t smWriteCis(uint8_t card, uint32_t block);

private:
    uint32_t ensureBuilt(uint8_t card);
    uint32_t finish(uint32_t result) { return state_.lastMapError = result; }
    const CardGeometry& geometry() const { return geometryRow(state_.sizeIndex); }
    uint32_t blockCount() const { return geometry().physicalBlocks; }
    uint32_t sectorsPerBlock() const { return geometry().sectorsPerBlock; }
    uint32_t firstSector(uint32_t block) const { return block * sectorsPerBlock(); }
    uint32_t blockAddress(uint32_t block) const { return firstSector(block) * SECTOR_BYTES; }
    // The mapped physical block of L, 0 when not mapped or beyond the map.
    uint32_t mappedBlock(uint32_t logicalBlock) const;
    uint32_t nextRandom() { return static_cast<uint32_t>(random_()); }

    uint32_t scanPhysicalMap(uint8_t card);
    // The physical map entry of one block: bad, free, CIS or its address
    // field (field 2 when field 1 is damaged and field 2 is not).
    uint32_t scanEntry(uint8_t card, uint32_t block, uint16_t* entry);
    // Maps the blocks of one zone; blocks that lost to another copy of
    // their logical block are added to `losers`.
    uint32_t mapZone(uint8_t card, uint32_t zone, std::vector<uint32_t>& losers);
    // Of two physical blocks claiming one logical block, the one to keep
    // (duplicate_claims.cpp).
    uint32_t chooseCopy(uint8_t card, uint32_t lower, uint32_t higher, uint32_t* winner);
    struct CopyCensus;
    uint32_t takeCensus(uint8_t card, uint32_t block, CopyCensus& census);
    // Erases the block and marks it free; marks it bad when it will not erase.
    void releaseBlock(uint8_t card, uint32_t block);
    uint32_t searchFreeBlock(uint32_t logicalBlock, uint32_t* found);
    // A write of `length` bytes from `offset` within a block (block_write.cpp).
    struct PendingWrite {
        uint32_t offset;
        const uint8_t* buffer;
        uint32_t length;
        bool covers(uint32_t sectorIndex) const;
        // Sector i's 512 bytes, the caller's last sector padded with 0xFF.
        const uint8_t* sectorData(uint32_t sectorIndex, uint8_t* padded) const;
    };
    uint32_t writeSectors(uint8_t card, uint32_t logicalBlock, const PendingWrite& write);
    // Programs sector 0 with 0xFF data and the block address, so that a
    // scan finds the block.
    uint32_t writeHead(uint8_t card, uint32_t logicalBlock, uint32_t block);
    // Moves the logical block to a fresh block with `write` (or none) applied:
    // the old block stays mapped and untouched until the new one is
    // complete and verified, and only then is marked bad.
    uint32_t relocate(uint8_t card, uint32_t logicalBlock, const PendingWrite* write);
    // Fills `fresh`: the sectors of `old` the write does not cover, then the
    // write's sectors, each verified. `uncorrectable` is set when an old
    // sector was copied as read, with its ECC, because it failed its ECC.
    uint32_t fillCopy(uint8_t card, uint32_t old, uint32_t fresh, uint32_t logicalBlock, const PendingWrite* write,
                      uint8_t* sector, bool& uncorrectable);
    uint32_t copySector(uint8_t card, uint32_t old, uint32_t fresh, uint32_t index, const Spare& addressed,
                        uint8_t* sector, bool& uncorrectable);
    // Programs one sector and reads it back: 1 when it does not read back
    // as programmed. `eccMatches`: the spare's ECC is that of the data.
    uint32_t programVerified(uint8_t card, uint32_t block, uint32_t index, const uint8_t* data, const Spare& spare,
                             bool eccMatches);
    void writeEverySector(uint8_t card, uint32_t block, const uint8_t* data, const uint8_t* spare);
    uint32_t firstSpare(uint8_t card, uint32_t block, uint8_t* spare8);
    uint32_t testBlock(uint8_t card, uint32_t block, uint8_t* sector, const FormatProgress& progress,
                       bool& failed);
    uint32_t fullFormatPass(uint8_t card, uint32_t& bad, const FormatProgress& progress);
    uint32_t quickFormatPass(uint8_t card, uint32_t& bad, const FormatProgress& progress);
    uint32_t finishFormat(uint8_t card);

    Card& card_;
    SectorBufferPool& pool_;
    MapState state_;
    // Blocks assigned whose sector 0 has not been programmed yet: a scan
    // would find them free.
    std::vector<bool> headUnwritten_;
    std::minstd_rand random_;
};

}  // namespace kestrel::media
