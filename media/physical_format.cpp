// The physical format: every block erased (quick) or erased, written with a
// test pattern, read back and erased again (full); bad blocks counted and
// marked; block 0 marked bad; the CIS written into the first good block
// after it; the maps rebuilt.
#include "media/block_map.h"

#include "media/cis.h"
#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>

namespace kestrel::media {

namespace {

constexpr uint8_t TEST_PATTERN = 0x5A;
// A status byte with fewer one bits is bad without a test (full format) or
// bad at all (quick format, map build).
constexpr int FULL_FORMAT_MIN_ONE_BITS = 2;
constexpr int QUICK_FORMAT_MIN_ONE_BITS = 7;
// A status byte with more one bits is good enough for the CIS.
constexpr int CIS_BLOCK_MIN_ONE_BITS = 7;

void report(const FormatProgress& progress, uint32_t blocks, uint32_t current) {
    if (progress) progress(blocks, current);
}

bool allBytes(const uint8_t* bytes, size_t length, uint8_t value) {
    return std::all_of(bytes, bytes + length, [value](uint8_t b) { return b == value; });
}

}  // namespace

uint32_t BlockMap::smFormatMedia(uint8_t card, uint32_t full, uint32_t* bad, const FormatProgress& progress) {
    if (const uint32_t error = ensureBuilt(card)) return error;
    uint32_t badCount = 0;
    const uint32_t pass = full != 0 ? fullFormatPass(card, badCount, progress)
                                    : quickFormatPass(card, badCount, progress);
    if (pass != MEDIA_OK) return finish(pass);
    if (const uint32_t error = finishFormat(card)) return finish(error);
    if (const uint32_t error = smBuildMaps(card)) return error;
    *bad = badCount;
    return finish(MEDIA_OK);
}

uint32_t BlockMap::fullFormatPass(uint8_t card, uint32_t& bad, const FormatProgress& progress) {
    auto sector = pool_.take();
    if (!sector) return MEDIA_NO_BUFFER;
    const uint32_t blocks = blockCount();
    for (uint32_t block = 0; block < blocks; ++block) {
        std::array<uint8_t, SPARE_HALF_BYTES> spare{};
        if (const uint32_t error = firstSpare(card, block, spare.data())) return error;
        if (blockStatusBad(spare[SPARE_BLOCK_STATUS], FULL_FORMAT_MIN_ONE_BITS)) {
            ++bad;
            continue;
        }
        report(progress, blocks, block);
        const uint32_t erase = card_.smEraseBlock(card, blockAddress(block));
        if (erase != MEDIA_OK && erase != MEDIA_OPERATION_FAILED) return erase;
        bool failed = erase == MEDIA_OPERATION_FAILED;
        if (const uint32_t error = testBlock(card, block, sector.data(), progress, failed)) return error;
        if (!failed) {
            (void)card_.smEraseBlock(card, blockAddress(block));
        } else {
            ++bad;
            std::array<uint8_t, SECTOR_BYTES> erased;
            erased.fill(ERASED_BYTE);
            writeEverySector(card, block, erased.data(), badBlockSpare().data());
        }
        report(progress, blocks, block);
    }
    return MEDIA_OK;
}

uint32_t BlockMap::testBlock(uint8_t card, uint32_t block, uint8_t* sector, const FormatProgress& progress,
                             bool& failed) {
    std::fill_n(sector, SECTOR_BYTES, TEST_PATTERN);
    Spare pattern;
    pattern.fill(TEST_PATTERN);
    for (uint32_t i = 0; i < sectorsPerBlock(); ++i) {
        const uint32_t s = firstSector(block) + i;
        const uint32_t write = card_.smWriteSector(card, s, sector, pattern.data());
        if (write == MEDIA_OPERATION_FAILED) {
            failed = true;
        } else if (write != MEDIA_OK) {
            return write;
        }
        std::array<uint8_t, SECTOR_BYTES> data{};
        if (const uint32_t error = card_.smReadSectorData(card, s, data.data())) return error;
        if (!allBytes(data.data(), data.size(), TEST_PATTERN)) failed = true;
        report(progress, blockCount(), block);
        Spare spare{};
        const uint32_t read = card_.smReadSectorSpare(card, s, spare.data());
        report(progress, blockCount(), block);
        if (read != MEDIA_OK) return read;
        if (!allBytes(spare.data(), spare.size(), TEST_PATTERN)) failed = true;
    }
    return MEDIA_OK;
}

uint32_t BlockMap::quickFormatPass(uint8_t card, uint32_t& bad, const FormatProgress& progress) {
    const uint32_t blocks = blockCount();
    for (uint32_t block = 0; block < blocks; ++block) {
        std::array<uint8_t, SPARE_HALF_BYTES> spare{};
        if (const uint32_t error = firstSpare(card, block, spare.data())) return error;
        if (blockStatusBad(spare[SPARE_BLOCK_STATUS], QUICK_FORMAT_MIN_ONE_BITS)) {
            ++bad;
            continue;
        }
        (void)card_.smEraseBlock(card, blockAddress(block));
        report(progress, blocks, block);
    }
    return MEDIA_OK;
}

uint32_t BlockMap::finishFormat(uint8_t card) {
    {
        auto sector = pool_.take();
        if (!sector) return MEDIA_NO_BUFFER;
        std::fill_n(sector.data(), SECTOR_BYTES, ERASED_BYTE);
        writeEverySector(card, 0, sector.data(), badBlockSpare().data());
    }
    for (uint32_t block = 1; block < blockCount(); ++block) {
        std::array<uint8_t, SPARE_HALF_BYTES> spare{};
        if (const uint32_t error = firstSpare(card, block, spare.data())) return error;
        const uint8_t status = spare[SPARE_BLOCK_STATUS];
        if (status == BLOCK_GOOD || oneBits(status) >= CIS_BLOCK_MIN_ONE_BITS) return smWriteCis(card, block);
    }
    return MEDIA_OK;
}

uint32_t BlockMap::smWriteCis(uint8_t card, uint32_t block) {
    auto sector = pool_.take();
    if (!sector) return MEDIA_NO_BUFFER;
    std::fill_n(sector.data(), SECTOR_BYTES, 0);
    std::copy(CIS_BYTES.begin(), CIS_BYTES.end(), sector.data());
    Spare spare = spareWithAddress(0);
    storeSectorEcc(sector.data(), spare);
    return card_.smWriteSector(card, firstSector(block), sector.data(), spare.data());
}

}  // namespace kestrel::media
