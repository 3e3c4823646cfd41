// Reads of a byte range of a physical block. Every sector the range touches
// is read whole and checked against its ECC, so that a part of a sector is
// corrected (or reported) exactly as the whole sector would be.
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

    bool uncorrectable = false;
    std::array<uint8_t, SECTOR_BYTES> sector{};
    for (uint32_t done = 0; done < length;) {
        const uint32_t address = start + done;
        const uint32_t column = address % SECTOR_BYTES;
        const uint32_t piece = std::min(SECTOR_BYTES - column, length - done);
        // A whole sector is read straight into the caller's buffer.
        uint8_t* target = piece == SECTOR_BYTES ? buffer + done : sector.data();
        std::array<bool, 2> halfBad{};
        if (const uint32_t error = readCheckedSector(card, address - column, target, halfBad)) return error;
        if (target != buffer + done) std::copy_n(sector.begin() + column, piece, buffer + done);
        // Only the halves the range reaches into count.
        if (column < HALF_BYTES && halfBad[0]) uncorrectable = true;
        if (column + piece > HALF_BYTES && halfBad[1]) uncorrectable = true;
        done += piece;
    }
    return finish(uncorrectable ? MEDIA_UNCORRECTABLE : MEDIA_OK);
}

uint32_t Card::readCheckedSector(uint8_t card, uint32_t address, uint8_t* buffer, std::array<bool, 2>& halfBad) {
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
    halfBad[0] = smCheckHalf(buffer, firstEcc) != MEDIA_OK;
    halfBad[1] = smCheckHalf(buffer + HALF_BYTES, secondEcc) != MEDIA_OK;
    return MEDIA_OK;
}

}  // namespace kestrel::media
