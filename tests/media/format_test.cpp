// The physical format, and the raw card it leaves behind compared byte for
// byte with the on-card formats (spare layout, address fields, ECC, CIS).
#include "media/cis.h"
#include "media/media_errors.h"
#include "media/spare_area.h"
#include "tests/media/ecc_reference.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace kestrel::media::test {
namespace {

bool allBytes(const std::vector<uint8_t>& bytes, uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](uint8_t b) { return b == value; });
}

// Sets the block status byte of `block`'s first sector (bits only cleared).
void markStatus(SimCard& sim, uint32_t block, uint8_t status) {
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;
    std::vector<uint8_t> spare(16, 0xFF);
    spare[5] = status;
    sim.programSector(block * spb, std::vector<uint8_t>(512, 0xFF), spare);
}

// The spare area a sector written for logical block L with `data` must have.
std::vector<uint8_t> expectedSpare(const std::vector<uint8_t>& data, uint16_t field) {
    std::vector<uint8_t> spare(16, 0xFF);
    spare[6] = spare[11] = static_cast<uint8_t>(field >> 8);
    spare[7] = spare[12] = static_cast<uint8_t>(field);
    const auto first = referenceEcc(data.data());
    const auto second = referenceEcc(data.data() + 256);
    std::copy(second.begin(), second.end(), spare.begin() + 8);
    std::copy(first.begin(), first.end(), spare.begin() + 13);
    return spare;
}

class FormatTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FormatTest, FullFormatTestsEveryBlockAndLaysOutBlocksZeroAndOne) {
    SimCard sim(GetParam(), 0xEC, [](sim::DeviceConfig& c) {
        c.badBlocks = {5, 9};
        c.failErase = {12};
    });
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    markStatus(sim, 7, BLOCK_MARKED_BAD);  // four one bits: tested again
    markStatus(sim, 8, 0x01);              // one one bit: bad without a test
    const uint32_t blocks = sim.card().geometry().physicalBlocks;
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;

    std::set<uint32_t> reported;
    uint32_t calls = 0;
    uint32_t bad = 0xdeadbeef;
    ASSERT_EQ(sim.maps().smFormatMedia(0, 1, &bad,
                                       [&](uint32_t count, uint32_t current) {
                                           EXPECT_EQ(count, blocks);
                                           reported.insert(current);
                                           ++calls;
                                       }),
              MEDIA_OK);
    EXPECT_EQ(bad, 4u);  // 5, 8, 9 skipped; 12 failed its test
    for (uint32_t skipped : {5u, 8u, 9u}) EXPECT_EQ(reported.count(skipped), 0u) << skipped;
    EXPECT_EQ(reported.size(), blocks - 3);
    EXPECT_GT(calls, reported.size() * spb);  // several reports per tested block

    const auto& map = sim.maps().state().physicalMap;
    EXPECT_EQ(map[0], MAP_BAD);
    EXPECT_EQ(map[1], MAP_CIS);
    EXPECT_EQ(map[7], MAP_FREE);  // passed: back in use
    EXPECT_EQ(map[12], MAP_BAD);
    EXPECT_EQ(map[5], MAP_BAD);
    EXPECT_EQ(map[2], MAP_FREE);

    for (uint32_t i = 0; i < spb; ++i) {
        const auto spare = sim.rawSectorSpare(i);
        EXPECT_EQ(spare[5], BLOCK_MARKED_BAD) << i;
        EXPECT_TRUE(allBytes(sim.rawSectorData(i), 0xFF));
    }
    // The CIS sector: 110 bytes, zeros, block address 0, ECC of both halves.
    std::vector<uint8_t> cis(512, 0);
    std::copy(CIS_BYTES.begin(), CIS_BYTES.end(), cis.begin());
    EXPECT_EQ(sim.rawSectorData(spb), cis);
    EXPECT_EQ(sim.rawSectorSpare(spb), expectedSpare(cis, 0));
    for (uint32_t i = 1; i < spb; ++i) EXPECT_TRUE(allBytes(sim.rawSectorSpare(spb + i), 0xFF));
    // A tested block is left erased, test pattern gone.
    EXPECT_TRUE(allBytes(sim.rawSectorData(2 * spb + 1), 0xFF));
    EXPECT_TRUE(allBytes(sim.rawSectorSpare(7 * spb), 0xFF));
}

TEST_P(FormatTest, QuickFormatCountsBlockZeroAndKeepsWrittenCardsReadable) {
    SimCard sim(GetParam(), 0xEC, [](sim::DeviceConfig& c) { c.badBlocks = {1, 2}; });
    ASSERT_TRUE(sim.ok());
    uint32_t bad = 0;
    uint32_t progressCalls = 0;
    ASSERT_EQ(sim.maps().smFormatMedia(0, 0, &bad, [&](uint32_t, uint32_t) { ++progressCalls; }), MEDIA_OK);
    const uint32_t blocks = sim.card().geometry().physicalBlocks;
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(progressCalls, blocks - 2);
    // The CIS goes into the first good block after block 0.
    EXPECT_EQ(sim.maps().state().physicalMap[3], MAP_CIS);
    EXPECT_EQ(sim.rawSectorData(3 * spb)[0], CIS_BYTES[0]);

    ASSERT_EQ(sim.maps().smFormatMedia(0, 0, &bad, {}), MEDIA_OK);
    EXPECT_EQ(bad, 3u);  // block 0 now carries the bad mark

    // Writes after a format land on the card in the on-card format.
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 0, &old), MEDIA_OK);
    const uint32_t block = sim.maps().state().logicalMap[0];
    EXPECT_EQ(block, 4u);  // from block 3 on, and 3 holds the CIS
    auto data = sectorPattern(41);
    const auto second = sectorPattern(42);
    data.insert(data.end(), second.begin(), second.end());
    ASSERT_EQ(sim.maps().smWriteLogBlock(0, 0, 0, data.data(), 1024), MEDIA_OK);
    const auto spare = expectedSpare(second, 0x1001);
    EXPECT_EQ(sim.rawSectorData(block * spb + 1), second);
    EXPECT_EQ(sim.rawSectorSpare(block * spb + 1), spare);
    if (sim.pageSize() == 256) {
        // The sector's second page carries ECC of the second half, address
        // field 2 and ECC of the first half.
        const auto page = sim.rawPage((block * spb + 1) * 2 + 1);
        EXPECT_EQ(std::vector<uint8_t>(page.begin() + 256, page.end()),
                  std::vector<uint8_t>(spare.begin() + 8, spare.end()));
    }
    // A fresh scan maps it again (its first sector carries the address),
    // and the CIS block is not free.
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[0], block);
    EXPECT_EQ(sim.maps().state().physicalMap[3], MAP_CIS);
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, FormatTest, ::testing::Values(1u, 4u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

}  // namespace
}  // namespace kestrel::media::test
