// Writing logical blocks: sectors with block address and ECC, relocation of
// a block whose program fails, bad-block marks, and the erased-sector checks
// the file system's in-place writes rely on.
#include "media/block_map.h"

#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>

namespace kestrel::media {

bool BlockMap::PendingWrite::covers(uint32_t sectorIndex) const {
    return length != 0 && sectorIndex >= offset / SECTOR_BYTES && sectorIndex <= (offset + length - 1) / SECTOR_BYTES;
}

const uint8_t* BlockMap::PendingWrite::sectorData(uint32_t sectorIndex, uint8_t* padded) const {
    const uint32_t done = (sectorIndex - offset / SECTOR_BYTES) * SECTOR_BYTES;
    if (length - done >= SECTOR_BYTES) return buffer + done;
    // The caller's buffer ends inside this sector.
    std::fill_n(padded, SECTOR_BYTES, ERASED_BYTE);
    std::copy_n(buffer + done, length - done, padded);
    return padded;
}

uint32_t BlockMap::smWriteLogBlock(uint8_t card, uint32_t logicalBlock, uint32_t offset, const uint8_t* buffer,
                                   uint32_t length) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    const uint32_t block = mappedBlock(logicalBlock);
    if (block == 0 || block >= blockCount()) return finish(MEDIA_BAD_BLOCK_NUMBER);
    const uint32_t sectors = (length + SECTOR_BYTES - 1) / SECTOR_BYTES;
    if (offset / SECTOR_BYTES + sectors > sectorsPerBlock()) return finish(MEDIA_OUT_OF_RANGE);
    if (length == 0) return finish(MEDIA_OK);
    const PendingWrite write{offset - offset % SECTOR_BYTES, buffer, length};
    const uint32_t result = writeSectors(card, logicalBlock, write);
    if (result != MEDIA_OPERATION_FAILED) return finish(result);
    return finish(relocate(card, logicalBlock, &write));
}

uint32_t BlockMap::writeSectors(uint8_t card, uint32_t logicalBlock, const PendingWrite& write) {
    const uint32_t block = mappedBlock(logicalBlock);
    if (!write.covers(0) && headUnwritten_[block]) {
        if (const uint32_t error = writeHead(card, logicalBlock, block)) return error;
    }
    Spare spare = spareWithAddress(smBlockAddressField(logicalBlock));
    std::array<uint8_t, SECTOR_BYTES> padded;
    for (uint32_t i = write.offset / SECTOR_BYTES; write.covers(i); ++i) {
        const uint8_t* data = write.sectorData(i, padded.data());
        storeSectorEcc(data, spare);
        if (const uint32_t error = card_.smWriteSector(card, firstSector(block) + i, data, spare.data())) return error;
        if (i == 0) headUnwritten_[block] = false;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::writeHead(uint8_t card, uint32_t logicalBlock, uint32_t block) {
    std::array<uint8_t, SECTOR_BYTES> erased;
    erased.fill(ERASED_BYTE);
    Spare spare = spareWithAddress(smBlockAddressField(logicalBlock));
    storeSectorEcc(erased.data(), spare);
    if (const uint32_t error = card_.smWriteSector(card, firstSector(block), erased.data(), spare.data())) return error;
    headUnwritten_[block] = false;
    return MEDIA_OK;
}

uint32_t BlockMap::smRelocateBlock(uint8_t card, uint32_t logicalBlock) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    if (logicalBlock >= geometry().logicalBlocks) return finish(MEDIA_OUT_OF_RANGE);
    return finish(relocate(card, logicalBlock, nullptr));
}

uint32_t BlockMap::relocate(uint8_t card, uint32_t logicalBlock, const PendingWrite* write) {
    // The buffer is taken before anything changes: without one the block
    // stays where it is, data and all.
    auto sector = pool_.take();
    if (!sector) return MEDIA_NO_BUFFER;
    const uint32_t old = mappedBlock(logicalBlock);
    for (;;) {
        uint32_t previous = 0;
        // On failure the old block stays mapped.
        if (const uint32_t error = smAssignBlock(card, logicalBlock, &previous)) return error;
        const uint32_t fresh = mappedBlock(logicalBlock);
        if (old == 0) return write ? writeSectors(card, logicalBlock, *write) : MEDIA_OK;
        bool uncorrectable = false;
        const uint32_t result = fillCopy(card, old, fresh, logicalBlock, write, sector.data(), uncorrectable);
        if (result == MEDIA_OK) {
            smMarkBadBlock(card, old);
            return uncorrectable ? MEDIA_UNCORRECTABLE : MEDIA_OK;
        }
        // The old block keeps the logical block, as it was; the partial
        // copy is given up.
        state_.logicalMap[logicalBlock] = static_cast<uint16_t>(old);
        if (result != MEDIA_OPERATION_FAILED) {
            releaseBlock(card, fresh);
            return result;
        }
        smMarkBadBlock(card, fresh);  // and another fresh block is tried
    }
}

uint32_t BlockMap::fillCopy(uint8_t card, uint32_t old, uint32_t fresh, uint32_t logicalBlock,
                            const PendingWrite* write, uint8_t* sector, bool& uncorrectable) {
    const Spare addressed = spareWithAddress(smBlockAddressField(logicalBlock));
    // The old block's sectors first, the write's last: until the write
    // starts, the fresh block holds nothing the old one lacks.
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        if (write && write->covers(i)) continue;
        if (const uint32_t error = copySector(card, old, fresh, i, addressed, sector, uncorrectable)) return error;
    }
    if (!write) return MEDIA_OK;
    std::array<uint8_t, SECTOR_BYTES> padded;
    for (uint32_t i = write->offset / SECTOR_BYTES; write->covers(i); ++i) {
        const uint8_t* data = write->sectorData(i, padded.data());
        Spare spare = addressed;
        storeSectorEcc(data, spare);
        if (const uint32_t error = programVerified(card, fresh, i, data, spare, true)) return error;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::copySector(uint8_t card, uint32_t old, uint32_t fresh, uint32_t index, const Spare& addressed,
                              uint8_t* sector, bool& uncorrectable) {
    Spare oldSpare{};
    if (const uint32_t error = card_.smReadSectorSpare(card, firstSector(old) + index, oldSpare.data())) return error;
    const bool unwritten = std::all_of(oldSpare.begin(), oldSpare.end(), [](uint8_t b) { return b == ERASED_BYTE; });
    // Sector 0 is always written: the scan finds the block by it.
    if (unwritten && index != 0) return MEDIA_OK;
    Spare spare = addressed;
    bool eccMatches = true;
    if (unwritten) {
        std::fill_n(sector, SECTOR_BYTES, ERASED_BYTE);
        storeSectorEcc(sector, spare);
    } else {
        const uint32_t read = card_.smReadPhysBlock(card, old, index * SECTOR_BYTES, sector, SECTOR_BYTES);
        if (read == MEDIA_OK) {
            storeSectorEcc(sector, spare);
        } else if (read == MEDIA_UNCORRECTABLE) {
            // Copied as stored, with its stored ECC, so that it still reads
            // as uncorrectable instead of as good data.
            if (const uint32_t error = card_.smReadSectorData(card, firstSector(old) + index, sector)) return error;
            std::copy_n(oldSpare.begin() + SPARE_ECC_SECOND_HALF, 3, spare.begin() + SPARE_ECC_SECOND_HALF);
            std::copy_n(oldSpare.begin() + SPARE_ECC_FIRST_HALF, 3, spare.begin() + SPARE_ECC_FIRST_HALF);
            uncorrectable = true;
            eccMatches = false;
        } else {
            return read;
        }
    }
    return programVerified(card, fresh, index, sector, spare, eccMatches);
}

uint32_t BlockMap::programVerified(uint8_t card, uint32_t block, uint32_t index, const uint8_t* data,
                                   const Spare& spare, bool eccMatches) {
    if (const uint32_t error = card_.smWriteSector(card, firstSector(block) + index, data, spare.data())) return error;
    if (index == 0) headUnwritten_[block] = false;
    std::array<uint8_t, SECTOR_BYTES> back{};
    if (eccMatches) {
        const uint32_t read = card_.smReadPhysBlock(card, block, index * SECTOR_BYTES, back.data(), SECTOR_BYTES);
        if (read != MEDIA_OK && read != MEDIA_UNCORRECTABLE) return read;
        if (read == MEDIA_UNCORRECTABLE) return MEDIA_OPERATION_FAILED;
    } else if (const uint32_t error = card_.smReadSectorData(card, firstSector(block) + index, back.data())) {
        return error;
    }
    return std::equal(back.begin(), back.end(), data) ? MEDIA_OK : MEDIA_OPERATION_FAILED;
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
