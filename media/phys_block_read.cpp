// Reads of a byte range of a physical block.
#include "media/card.h"
#include "media/ecc.h"
#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>

namespace kestrel::media {

uint32_t Card::smReadPhysBlock(uint8_t card, uint32_t block, uint32_t offset, uint8_t* buffer, uint32_t length) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const CardGeometry& g = geometry();
    if (block == 0 || block >= g.physicalBlocks) return finish(MEDIA_BAD_BLOCK_NUMBER);
    const uint32_t blockBytes = g.sectorsPerBlock * SECTOR_BYTES;
    if (offset > blockBytes || length > blockBytes - offset) return finish(MEDIA_OUT_OF_RANGE);
    const uint32_t start = block * blockBytes + offset;

    uint32_t head = 0;
    if (offset % SECTOR_BYTES != 0) {
        head = std::min(SECTOR_BYTES - offset % SECTOR_BYTES, length);
        if (const uint32_t error = readRaw(card, start, buffer, head)) return error;
    }
    const uint32_t rest = length - head;
    const uint32_t tail = rest % SECTOR_BYTES;
    const uint32_t whole = rest - tail;
    if (tail != 0) {
        if (const uint32_t error = readRaw(card, start + head + whole, buffer + head + whole, tail)) return error;
    }
    bool uncorrectable = false;
    for (uint32_t done = 0; done < whole; done += SECTOR_BYTES) {
        if (const uint32_t error = readCheckedSector(card, start + head + done, buffer + head + done, uncorrectable)) {
            return error;
        }
    }
    return finish(uncorrectable ? MEDIA_UNCORRECTABLE : MEDIA_OK);
}

uint32_t Card::readRaw(uint8_t card, uint32_t address, uint8_t* buffer, uint32_t length) {
    if (!smallPages()) {
        const uint32_t column = address % SECTOR_BYTES;
        return column < HALF_BYTES ? smReadPage(card, address, buffer, length)
                                   : smReadPageHigh(card, address, buffer, length);
    }
    const uint32_t first = std::min(length, HALF_BYTES - address % HALF_BYTES);
    if (const uint32_t error = smReadPage(card, address, buffer, first)) return error;
    if (first == length) return MEDIA_OK;
    return smReadPage(card, address + first, buffer + first, length - first);
}

uint32_t Card::readCheckedSector(uint8_t card, uint32_t address, uint8_t* buffer, bool& uncorrectable) {
    std::array<uint8_t, SECTOR_BYTES + SPARE_BYTES> page{};
    const uint8_t* firstEcc = nullptr;
    const uint8_t* secondEcc = nullptr;
    if (!smallPages()) {
        if (const uint32_t error = smReadPage(card, address, page.data(), SECTOR_BYTES + SPARE_BYTES)) return error;
        std::copy_n(page.begin(), SECTOR_BYTES, buffer);
        firstEcc = page.data() + SECTOR_BYTES + SPARE_ECC_FIRST_HALF;
        secondEcc = page.data() + SECTOR_BYTES + SPARE_ECC_SECOND_HALF;
    } else {
        // The second page's spare holds sector spare bytes 8-15.
        if (const uint32_t error = smReadPage(card, address, buffer, HALF_BYTES)) return error;
        if (const uint32_t error = smReadPage(card, address + HALF_BYTES, page.data(), HALF_BYTES + SPARE_HALF_BYTES)) {
            return error;
        }
        std::copy_n(page.begin(), HALF_BYTES, buffer + HALF_BYTES);
        firstEcc = page.data() + HALF_BYTES + (SPARE_ECC_FIRST_HALF - SPARE_HALF_BYTES);
        secondEcc = page.data() + HALF_BYTES + (SPARE_ECC_SECOND_HALF - SPARE_HALF_BYTES);
    }
    if (smCheckHalf(buffer, firstEcc) != MEDIA_OK) uncorrectable = true;
    if (smCheckHalf(buffer + HALF_BYTES, secondEcc) != MEDIA_OK) uncorrectable = true;
    return MEDIA_OK;
}

}  // namespace kestrel::media
