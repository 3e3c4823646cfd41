// Building the maps, choosing free blocks, assigning and releasing blocks,
// and the reads through the logical map.
#include "media/block_map.h"

#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>

namespace kestrel::media {

namespace {

// Logical block 0 is placed from this physical block on.
constexpr uint32_t FIRST_BLOCK_OF_LOGICAL_0 = 3;

}  // namespace

uint32_t BlockMap::ensureBuilt(uint8_t card) {
    return state_.built == MapState::BUILT ? MEDIA_OK : smBuildMaps(card);
}

uint32_t BlockMap::mappedBlock(uint32_t logicalBlock) const {
    return logicalBlock < state_.logicalMap.size() ? state_.logicalMap[logicalBlock] : 0;
}

uint32_t BlockMap::smBuildMaps(uint8_t card) {
    state_.built = 0;
    std::array<uint8_t, 2> id{};
    if (const uint32_t error = card_.smReadIdBytes(card, id.data(), id.size())) return finish(error);
    const auto maker = makerIndexOf(id[0]);
    const auto size = maker ? sizeIndexOf(*maker, id[1]) : std::nullopt;
    if (!size) return finish(MEDIA_UNKNOWN_CARD);
    state_.makerIndex = *maker;
    state_.sizeIndex = *size;
    if (const uint32_t error = scanPhysicalMap(card)) return finish(error);
    try {
        state_.logicalMap.assign(blockCount(), 0);
        headUnwritten_.assign(blockCount(), false);
    } catch (const std::bad_alloc&) {
        smFreeMaps();
        return finish(MEDIA_OUT_OF_MEMORY);
    }
    const uint32_t zones = (blockCount() + PHYSICAL_ZONE_BLOCKS - 1) / PHYSICAL_ZONE_BLOCKS;
    std::vector<uint32_t> losers;
    for (uint32_t zone = 0; zone < zones; ++zone) {
        if (const uint32_t error = mapZone(card, zone, losers)) {
            smFreeMaps();
            return finish(error);
        }
    }
    state_.freeCursor = nextRandom() % blockCount();
    state_.built = MapState::BUILT;
    // A copy that lost to another claim of its logical block is released
    // now, so that no later scan has to choose again.
    for (const uint32_t block : losers) releaseBlock(card, block);
    return finish(MEDIA_OK);
}

uint32_t BlockMap::scanPhysicalMap(uint8_t card) {
    try {
        state_.physicalMap.assign(blockCount(), MAP_FREE);
    } catch (const std::bad_alloc&) {
        smFreeMaps();
        return MEDIA_OUT_OF_MEMORY;
    }
    for (uint32_t block = 0; block < blockCount(); ++block) {
        uint16_t entry = MAP_FREE;
        if (const uint32_t error = scanEntry(card, block, &entry)) {
            smFreeMaps();
            return error;
        }
        state_.physicalMap[block] = entry;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::scanEntry(uint8_t card, uint32_t block, uint16_t* entry) {
    std::array<uint8_t, SPARE_HALF_BYTES> spare{};
    if (const uint32_t error = firstSpare(card, block, spare.data())) return error;
    if (blockStatusBad(spare[SPARE_BLOCK_STATUS], SCAN_GOOD_STATUS_MIN_ONE_BITS)) {
        *entry = MAP_BAD;
        return MEDIA_OK;
    }
    const uint16_t first = blockAddressOf(spare.data());
    *entry = first;
    if (first == MAP_FREE || first == MAP_CIS || blockAddressValid(first)) return MEDIA_OK;
    // Field 1 is damaged: field 2 of the same sector carries the same value.
    Spare whole{};
    if (const uint32_t error = card_.smReadSectorSpare(card, firstSector(block), whole.data())) return error;
    const uint16_t second = secondBlockAddressOf(whole.data());
    if (second == MAP_CIS || blockAddressValid(second)) *entry = second;
    return MEDIA_OK;
}

uint32_t BlockMap::mapZone(uint8_t card, uint32_t zone, std::vector<uint32_t>& losers) {
    const uint32_t first = zone * PHYSICAL_ZONE_BLOCKS;
    const uint32_t end = std::min(first + PHYSICAL_ZONE_BLOCKS, blockCount());
    for (uint32_t block = first; block < end; ++block) {
        const uint16_t entry = state_.physicalMap[block];
        if (!blockAddressValid(entry)) continue;  // free, bad, CIS or damaged
        const uint32_t logical = zoneBlockOf(entry) + LOGICAL_ZONE_BLOCKS * zone;
        if (logical >= geometry().logicalBlocks) continue;
        const uint32_t earlier = state_.logicalMap[logical];
        if (earlier == 0) {
            state_.logicalMap[logical] = static_cast<uint16_t>(block);
            continue;
        }
        uint32_t winner = 0;
        if (const uint32_t error = chooseCopy(card, earlier, block, &winner)) return error;
        state_.logicalMap[logical] = static_cast<uint16_t>(winner);
        losers.push_back(winner == block ? earlier : block);
    }
    return MEDIA_OK;
}

uint32_t BlockMap::smFindFreeBlock(uint8_t card, uint32_t logicalBlock, uint32_t* found) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    if (logicalBlock >= geometry().logicalBlocks) return finish(MEDIA_OUT_OF_RANGE);
    if (const uint32_t mapped = mappedBlock(logicalBlock)) {
        *found = mapped;
        return finish(MEDIA_OK);
    }
    const uint32_t savedCursor = state_.freeCursor;
    if (logicalBlock == 0) state_.freeCursor = FIRST_BLOCK_OF_LOGICAL_0;
    const uint32_t result = searchFreeBlock(logicalBlock, found);
    if (logicalBlock == 0) state_.freeCursor = savedCursor;
    return finish(result);
}

uint32_t BlockMap::searchFreeBlock(uint32_t logicalBlock, uint32_t* found) {
    const bool oneZone = blockCount() < PHYSICAL_ZONE_BLOCKS;
    const uint32_t zone = logicalBlock / LOGICAL_ZONE_BLOCKS;
    uint32_t& cursor = state_.freeCursor;
    if (cursor / PHYSICAL_ZONE_BLOCKS != zone) {
        cursor = oneZone ? nextRandom() % blockCount()
                         : nextRandom() % PHYSICAL_ZONE_BLOCKS + PHYSICAL_ZONE_BLOCKS * zone;
    }
    const uint32_t first = oneZone ? 0 : zone * PHYSICAL_ZONE_BLOCKS;
    const uint32_t last = oneZone ? blockCount() - 1 : first + PHYSICAL_ZONE_BLOCKS - 1;
    for (uint32_t step = 0; step <= last - first; ++step) {
        if (cursor > last || cursor < first) cursor = first;
        // Block 0 never holds a logical block: a logical map entry of 0
        // means "not mapped".
        if (cursor != 0 && state_.physicalMap[cursor] == MAP_FREE) {
            *found = cursor;
            return MEDIA_OK;
        }
        ++cursor;
    }
    return MEDIA_NO_FREE_BLOCK;
}

uint32_t BlockMap::smAssignBlock(uint8_t card, uint32_t logicalBlock, uint32_t* old) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    if (logicalBlock >= geometry().logicalBlocks) return finish(MEDIA_OUT_OF_RANGE);
    const uint16_t previous = state_.logicalMap[logicalBlock];
    *old = previous;
    state_.logicalMap[logicalBlock] = 0;
    for (;;) {
        uint32_t block = 0;
        uint32_t result = smFindFreeBlock(card, logicalBlock, &block);
        if (result == MEDIA_OK) result = card_.smEraseBlock(card, blockAddress(block));
        if (result == MEDIA_OK) {
            state_.logicalMap[logicalBlock] = static_cast<uint16_t>(block);
            state_.physicalMap[block] = smBlockAddressField(logicalBlock);
            headUnwritten_[block] = true;
            return finish(MEDIA_OK);
        }
        if (result != MEDIA_OPERATION_FAILED) {
            // The old block still holds the data: keep it mapped.
            state_.logicalMap[logicalBlock] = previous;
            return finish(result);
        }
        smMarkBadBlock(card, block);
    }
}

uint32_t BlockMap::smReleaseBlock(uint8_t card, uint32_t block) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    if (block == 0 || block >= blockCount()) return finish(MEDIA_BAD_BLOCK_NUMBER);
    releaseBlock(card, block);
    return finish(MEDIA_OK);
}

void BlockMap::releaseBlock(uint8_t card, uint32_t block) {
    // A block that will not erase still holds its data and address: it is
    // marked bad (the status byte can still be programmed), so that neither
    // this session nor a later scan takes it for a copy of its block.
    if (card_.smEraseBlock(card, blockAddress(block)) != MEDIA_OK) {
        smMarkBadBlock(card, block);
        return;
    }
    state_.physicalMap[block] = MAP_FREE;
}

void BlockMap::smRestoreBlock(uint8_t card, uint32_t logicalBlock, uint32_t old) {
    if (old == 0 || old >= blockCount() || logicalBlock >= state_.logicalMap.size()) return;
    const uint32_t fresh = state_.logicalMap[logicalBlock];
    state_.logicalMap[logicalBlock] = static_cast<uint16_t>(old);
    if (fresh != 0 && fresh != old) (void)smReleaseBlock(card, fresh);
}

uint32_t BlockMap::smGetGeometry(uint8_t card, const CardGeometry** row) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    *row = &geometry();
    return finish(MEDIA_OK);
}

uint32_t BlockMap::smReadLogBlock(uint8_t card, uint32_t logicalBlock, uint32_t offset, uint8_t* buffer,
                                  uint32_t length) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    const uint32_t block = mappedBlock(logicalBlock);
    if (block == 0) return finish(MEDIA_BAD_BLOCK_NUMBER);
    return finish(card_.smReadPhysBlock(card, block, offset, buffer, length));
}

uint32_t BlockMap::smReadLogSector(uint8_t card, uint32_t logicalSector, uint32_t offset, uint8_t* buffer,
                                   uint32_t length) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    const uint32_t block = logicalSector / sectorsPerBlock();
    const uint32_t blockOffset = (logicalSector % sectorsPerBlock()) * SECTOR_BYTES + offset;
    return smReadLogBlock(card, block, blockOffset, buffer, length);
}

uint32_t BlockMap::smReadPhysBlock(uint8_t card, uint32_t block, uint32_t offset, uint8_t* buffer,
                                   uint32_t length) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    return finish(card_.smReadPhysBlock(card, block, offset, buffer, length));
}

void BlockMap::smFreeMaps() {
    state_.built = 0;
    state_.physicalMap = {};
    state_.logicalMap = {};
    headUnwritten_ = {};
}

uint32_t BlockMap::firstSpare(uint8_t card, uint32_t block, uint8_t* spare8) {
    return card_.smReadSpare(card, blockAddress(block), spare8, SPARE_HALF_BYTES);
}

}  // namespace kestrel::media
