// Writing logical blocks: sectors with block address and ECC, relocation of
// a block whose program fails, bad-block marks, and the erased-sector checks
// the file system's in-place writes rely on.
#include "media/block_map.h"

#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>

namespace kestrel::media {

uint32_t BlockMap::smWriteLogBlock(uint8_t card, uint32_t logicalBlock, uint32_t offset, const uint8_t* buffer,
                                   uint32_t length) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    for (;;) {
        const uint32_t block = mappedBlock(logicalBlock);
        if (block == 0 || block >= blockCount()) return finish(MEDIA_BAD_BLOCK_NUMBER);
        const uint32_t sectors = (length + SECTOR_BYTES - 1) / SECTOR_BYTES;
        if (offset / SECTOR_BYTES + sectors > sectorsPerBlock()) return finish(MEDIA_OUT_OF_RANGE);
        if (length == 0) return finish(MEDIA_OK);
        const uint32_t result = writeSectors(card, logicalBlock, offset, buffer, length);
        if (result != MEDIA_OPERATION_FAILED) return finish(result);
        if (const uint32_t error = smRelocateBlock(card, logicalBlock)) return finish(error);
    }
}

uint32_t BlockMap::writeSectors(uint8_t card, uint32_t logicalBlock, uint32_t offset, const uint8_t* buffer,
                                uint32_t length) {
    Spare spare = spareWithAddress(smBlockAddressField(logicalBlock));
    uint32_t sector = firstSector(mappedBlock(logicalBlock)) + offset / SECTOR_BYTES;
    std::array<uint8_t, SECTOR_BYTES> padded;
    for (uint32_t done = 0; done < length; done += SECTOR_BYTES, ++sector) {
        const uint8_t* data = buffer + done;
        if (length - done < SECTOR_BYTES) {
            // The caller's buffer ends inside this sector: pad it.
            padded.fill(ERASED_BYTE);
            std::copy_n(data, length - done, padded.begin());
            data = padded.data();
        }
        storeSectorEcc(data, spare);
        if (const uint32_t error = card_.smWriteSector(card, sector, data, spare.data())) return error;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::smRelocateBlock(uint8_t card, uint32_t logicalBlock) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    // The buffer is taken before anything changes: without one the block
    // stays where it is, data and all.
    auto sector = pool_.take();
    if (!sector) return finish(MEDIA_NO_BUFFER);
    uint32_t old = 0;
    if (const uint32_t error = smAssignBlock(card, logicalBlock, &old)) return finish(error);
    if (old == 0) return finish(MEDIA_OK);
    const uint32_t result = copyBlock(card, old, logicalBlock, sector.data());
    sector.release();
    smMarkBadBlock(card, old);
    return finish(result);
}

uint32_t BlockMap::copyBlock(uint8_t card, uint32_t from, uint32_t logicalBlock, uint8_t* sector) {
    bool uncorrectable = false;
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        if (smIsSectorErased(card, from, i)) continue;
        const uint32_t read = card_.smReadPhysBlock(card, from, i * SECTOR_BYTES, sector, SECTOR_BYTES);
        // An uncorrectable sector is copied as read: the old block is about
        // to be marked bad, so skipping it would lose it and the rest.
        if (read == MEDIA_UNCORRECTABLE) {
            uncorrectable = true;
        } else if (read != MEDIA_OK) {
            return read;
        }
        if (const uint32_t error = smWriteLogBlock(card, logicalBlock, i * SECTOR_BYTES, sector, SECTOR_BYTES)) {
            return error;
        }
    }
    return uncorrectable ? MEDIA_UNCORRECTABLE : MEDIA_OK;
}

void BlockMap::smMarkBadBlock(uint8_t card, uint32_t block) {
    if (block >= state_.physicalMap.size()) return;
    static const std::array<uint8_t, SECTOR_BYTES> erasedData = [] {
        std::array<uint8_t, SECTOR_BYTES> data;
        data.fill(ERASED_BYTE);
        return data;
    }();
    (void)card_.smEraseBlock(card, blockAddress(block));
    writeEverySector(card, block, erasedData.data(), badBlockSpare().data());
    state_.physicalMap[block] = MAP_BAD;
}

void BlockMap::writeEverySector(uint8_t card, uint32_t block, const uint8_t* data, const uint8_t* spare) {
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) (void)card_.smWriteSector(card, firstSector(block) + i, data, spare);
}

uint32_t BlockMap::smIsRangeErased(uint8_t card, uint32_t logicalBlock, uint32_t offset, uint32_t length) {
    if (ensureBuilt(card) != MEDIA_OK) return 0;
    const uint32_t block = mappedBlock(logicalBlock);
    if (block == 0) return 0;
    if (length == 0) return 1;
    const uint32_t firstIndex = offset / SECTOR_BYTES;
    const uint32_t lastIndex = (offset + length - 1) / SECTOR_BYTES;
    if (lastIndex >= sectorsPerBlock() || lastIndex < firstIndex) return 0;
    for (uint32_t i = firstIndex; i <= lastIndex; ++i) {
        if (!smIsSectorErased(card, block, i)) return 0;
    }
    return 1;
}

uint32_t BlockMap::smIsSectorErased(uint8_t card, uint32_t block, uint32_t sectorIndex) {
    if (ensureBuilt(card) != MEDIA_OK) return 0;
    if (block >= blockCount() || sectorIndex >= sectorsPerBlock()) return 0;
    Spare spare{};
    if (card_.smReadSectorSpare(card, firstSector(block) + sectorIndex, spare.data()) != MEDIA_OK) return 0;
    return std::all_of(spare.begin(), spare.end(), [](uint8_t b) { return b == ERASED_BYTE; }) ? 1 : 0;
}

uint32_t BlockMap::smFillBlock(uint8_t card, uint32_t logicalBlock) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    if (mappedBlock(logicalBlock) == 0) return finish(MEDIA_BAD_BLOCK_NUMBER);
    auto sector = pool_.take();
    if (!sector) return finish(MEDIA_NO_BUFFER);
    std::fill_n(sector.data(), SECTOR_BYTES, ERASED_BYTE);
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        // Looked up each time: a failed program moves the block.
        if (!smIsSectorErased(card, mappedBlock(logicalBlock), i)) continue;
        if (const uint32_t error = smWriteLogBlock(card, logicalBlock, i * SECTOR_BYTES, sector.data(), SECTOR_BYTES)) {
            return finish(error);
        }
    }
    return finish(MEDIA_OK);
}

}  // namespace kestrel::media
