// The block maps: address fields, the scan with zones, duplicates and
// parity errors, free-block placement, and reads and writes of logical
// blocks.
#include "media/media_errors.h"
#include "media/spare_area.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <set>

namespace kestrel::media::test {
namespace {

// The first sector of `block` carries `field` as its block address.
void claim(SimCard& sim, uint32_t block, uint16_t field) {
    const uint32_t spb = geometryRow(sim.card().state().sizeIndex).sectorsPerBlock;
    std::vector<uint8_t> spare(16, 0xFF);
    spare[6] = spare[11] = static_cast<uint8_t>(field >> 8);
    spare[7] = spare[12] = static_cast<uint8_t>(field);
    sim.programSector(block * spb, std::vector<uint8_t>(512, 0x00), spare);
}

// Sets the block status byte of `block`'s first sector.
void markStatus(SimCard& sim, uint32_t block, uint8_t status) {
    const uint32_t spb = geometryRow(sim.card().state().sizeIndex).sectorsPerBlock;
    std::vector<uint8_t> spare(16, 0xFF);
    spare[5] = status;
    sim.programSector(block * spb, std::vector<uint8_t>(512, 0xFF), spare);
}

TEST(BlockAddressFieldTest, ValuesAndParity) {
    EXPECT_EQ(smBlockAddressField(0), 0x1001);
    EXPECT_EQ(smBlockAddressField(1), 0x1002);
    EXPECT_EQ(smBlockAddressField(3), 0x1007);
    EXPECT_EQ(smBlockAddressField(1000), 0x1001);
    EXPECT_EQ(smBlockAddressField(1001), 0x1002);
    EXPECT_EQ(smBlockAddressField(2000), 0x1001);
    EXPECT_EQ(smBlockAddressField(1500), smBlockAddressField(500));
    for (uint32_t l = 0; l < 8000; ++l) {
        const uint16_t field = smBlockAddressField(l);
        ASSERT_EQ(std::popcount(field) % 2, 0) << l;
        ASSERT_EQ(field & 0xF000, 0x1000) << l;
        ASSERT_EQ((field >> 1) & 0x3FF, l % 1000) << l;
    }
}

TEST(MapBuildTest, ScanReadsOneSparePerBlockAndMapsZones) {
    SimCard sim(32);
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    claim(sim, 5, smBlockAddressField(7));
    claim(sim, 1030, smBlockAddressField(1500));
    claim(sim, 2047, smBlockAddressField(1999));
    sim.log().calls.clear();
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const auto& state = sim.maps().state();
    EXPECT_EQ(state.built, MapState::BUILT);
    EXPECT_EQ(std::count_if(sim.log().calls.begin(), sim.log().calls.end(),
                            [](const CardCall& c) { return c.kind == CardCall::ReadSpare; }),
              2048);
    EXPECT_EQ(state.logicalMap[7], 5);
    EXPECT_EQ(state.logicalMap[1500], 1030);
    EXPECT_EQ(state.logicalMap[1999], 2047);
    EXPECT_EQ(state.logicalMap[500], 0);  // same field, but zone 0 holds no such block
    EXPECT_EQ(state.physicalMap[5], smBlockAddressField(7));
    EXPECT_EQ(state.physicalMap[6], MAP_FREE);
    EXPECT_LT(state.freeCursor, 2048u);
}

TEST(MapBuildTest, LargestCardHasEightZones) {
    SimCard sim(128);
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    claim(sim, 7000, smBlockAddressField(6123));
    claim(sim, 8191, smBlockAddressField(7999));
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[6123], 7000);
    EXPECT_EQ(sim.maps().state().logicalMap[7999], 8191);
    uint32_t placed = 0, old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 7500, &old), MEDIA_OK);
    placed = sim.maps().state().logicalMap[7500];
    EXPECT_GE(placed, 7168u);
    EXPECT_LT(placed, 8192u);
}

TEST(MapBuildTest, DuplicatesParityErrorsAndBadBlocks) {
    SimCard sim(16, 0xEC, [](sim::DeviceConfig& c) { c.badBlocks = {40}; });
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    claim(sim, 10, smBlockAddressField(5));
    claim(sim, 20, smBlockAddressField(5));
    claim(sim, 1000, smBlockAddressField(999));  // one zone: 1024 physical blocks
    claim(sim, 30, smBlockAddressField(6) ^ 0x0100);
    markStatus(sim, 41, 0xF0);
    markStatus(sim, 42, 0xFE);  // seven one bits: still good
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const auto& state = sim.maps().state();
    EXPECT_EQ(state.logicalMap[5], 20);  // equal copies: the higher block wins
    EXPECT_EQ(state.physicalMap[10], MAP_FREE);  // and the other is released
    EXPECT_EQ(state.logicalMap[999], 1000);
    EXPECT_EQ(std::count(state.logicalMap.begin(), state.logicalMap.end(), 30), 0);
    EXPECT_NE(state.physicalMap[30], MAP_FREE);
    EXPECT_EQ(state.physicalMap[40], MAP_BAD);
    EXPECT_EQ(state.physicalMap[41], MAP_BAD);
    EXPECT_EQ(state.physicalMap[42], MAP_FREE);
    // None of them is ever handed out.
    std::set<uint32_t> handed;
    for (uint32_t l = 100; l < 200; ++l) {
        uint32_t old = 0;
        ASSERT_EQ(sim.maps().smAssignBlock(0, l, &old), MEDIA_OK);
        handed.insert(state.logicalMap[l]);
    }
    for (uint32_t used : {0u, 20u, 30u, 40u, 41u, 1000u}) EXPECT_EQ(handed.count(used), 0u) << used;
}

TEST(FreeBlockTest, LogicalBlockZeroStartsAtBlockThreeAndKeepsTheCursor) {
    SimCard sim(8);
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const uint32_t cursor = sim.maps().state().freeCursor;
    uint32_t old = 99;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 0, &old), MEDIA_OK);
    EXPECT_EQ(old, 0u);
    EXPECT_EQ(sim.maps().state().logicalMap[0], 3);
    EXPECT_EQ(sim.maps().state().physicalMap[3], 0x1001);
    EXPECT_EQ(sim.maps().state().freeCursor, cursor);
}

TEST(FreeBlockTest, CursorRotatesFromItsRandomStart) {
    SimCard sim(4);  // 512 blocks, one zone
    ASSERT_TRUE(sim.ok());
    sim.maps().seed(77);
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const uint32_t from = sim.maps().state().freeCursor;
    const uint32_t taken = (from + 1) % 512;
    claim(sim, taken, smBlockAddressField(400));
    sim.maps().seed(77);  // the same start again
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    ASSERT_EQ(sim.maps().state().freeCursor, from);
    std::vector<uint32_t> blocks;
    for (uint32_t l = 1; l <= 3; ++l) {
        uint32_t old = 0;
        ASSERT_EQ(sim.maps().smAssignBlock(0, l, &old), MEDIA_OK);
        blocks.push_back(sim.maps().state().logicalMap[l]);
    }
    std::vector<uint32_t> expected;
    for (uint32_t b = from; expected.size() < 3; b = (b + 1) % 512) {
        if (b != 0 && b != taken) expected.push_back(b);
    }
    EXPECT_EQ(blocks, expected);
}

TEST(FreeBlockTest, ZonesPlaceLogicalBlocks) {
    for (uint32_t size : {8u, 16u}) {
        SimCard sim(size);
        ASSERT_TRUE(sim.ok());
        uint32_t old = 0;
        ASSERT_EQ(sim.maps().smAssignBlock(0, 999, &old), MEDIA_OK);
        EXPECT_LT(sim.maps().state().logicalMap[999], 1024) << size;
        EXPECT_EQ(sim.maps().smAssignBlock(0, 1000, &old), MEDIA_OUT_OF_RANGE) << size;
    }
    SimCard sim(32);
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 1500, &old), MEDIA_OK);
    const uint32_t block = sim.maps().state().logicalMap[1500];
    EXPECT_GE(block, 1024u);
    EXPECT_LT(block, 2048u);
    EXPECT_EQ(sim.maps().state().physicalMap[block], smBlockAddressField(500));
}

TEST(FreeBlockTest, FailedAssignmentKeepsTheOldBlockAndItsData) {
    // Only blocks 1-5 are good.
    SimCard sim(1, 0xEC, [](sim::DeviceConfig& c) {
        for (uint32_t b = 6; b < 256; ++b) c.badBlocks.push_back(b);
    });
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 1, &old), MEDIA_OK);
    const uint32_t home = sim.maps().state().logicalMap[1];
    const auto data = sectorPattern(3);
    ASSERT_EQ(sim.maps().smWriteLogBlock(0, 1, 512, data.data(), 512), MEDIA_OK);
    for (uint32_t l = 2; l < 6; ++l) ASSERT_EQ(sim.maps().smAssignBlock(0, l, &old), MEDIA_OK);
    EXPECT_EQ(sim.maps().smAssignBlock(0, 1, &old), MEDIA_NO_FREE_BLOCK);
    EXPECT_EQ(sim.maps().state().logicalMap[1], home);
    std::vector<uint8_t> back(512);
    ASSERT_EQ(sim.maps().smReadLogBlock(0, 1, 512, back.data(), 512), MEDIA_OK);
    EXPECT_EQ(back, data);
}

TEST(FreeBlockTest, BlockZeroIsNeverHandedOut) {
    // An unformatted card: block 0 reads as free, block 9 is the only
    // other good block.
    SimCard sim(1, 0xEC, [](sim::DeviceConfig& c) {
        for (uint32_t b = 1; b < 256; ++b) {
            if (b != 9) c.badBlocks.push_back(b);
        }
    });
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 1, &old), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[1], 9);
    EXPECT_EQ(sim.maps().smAssignBlock(0, 2, &old), MEDIA_NO_FREE_BLOCK);
    EXPECT_EQ(sim.maps().state().logicalMap[2], 0);
    EXPECT_EQ(sim.maps().state().physicalMap[0], MAP_FREE);
}

TEST(FreeBlockTest, ReleaseChecksTheBlockNumberAndFreesTheBlock) {
    SimCard sim(2);
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 9, &old), MEDIA_OK);
    const uint32_t block = sim.maps().state().logicalMap[9];
    EXPECT_EQ(sim.maps().smReleaseBlock(0, 0), MEDIA_BAD_BLOCK_NUMBER);
    EXPECT_EQ(sim.maps().smReleaseBlock(0, 512), MEDIA_BAD_BLOCK_NUMBER);
    EXPECT_EQ(sim.maps().smReleaseBlock(0, block), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().physicalMap[block], MAP_FREE);
}

class LogicalIoTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(LogicalIoTest, WritesCarryAddressAndEccAndReadBack) {
    SimCard sim(GetParam());
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 2, &old), MEDIA_OK);
    const uint32_t block = sim.maps().state().logicalMap[2];
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;
    std::vector<uint8_t> data = sectorPattern(8);
    const auto more = sectorPattern(9);
    data.insert(data.end(), more.begin(), more.begin() + 100);  // 612 bytes: the last sector is padded
    ASSERT_EQ(sim.maps().smWriteLogBlock(0, 2, 1024, data.data(), static_cast<uint32_t>(data.size())), MEDIA_OK);

    const uint16_t field = smBlockAddressField(2);
    for (uint32_t i : {2u, 3u}) {
        const auto spare = sim.rawSectorSpare(block * spb + i);
        EXPECT_EQ(spare[6], field >> 8);
        EXPECT_EQ(spare[7], field & 0xFF);
        EXPECT_EQ(spare[11], field >> 8);
        EXPECT_EQ(spare[12], field & 0xFF);
        EXPECT_EQ(spare[5], 0xFF);
    }
    const auto padded = sim.rawSectorData(block * spb + 3);
    EXPECT_TRUE(std::equal(more.begin(), more.begin() + 100, padded.begin()));
    EXPECT_TRUE(std::all_of(padded.begin() + 100, padded.end(), [](uint8_t b) { return b == 0xFF; }));

    std::vector<uint8_t> back(612);
    ASSERT_EQ(sim.maps().smReadLogBlock(0, 2, 1024, back.data(), 612), MEDIA_OK);
    EXPECT_EQ(back, data);
    std::vector<uint8_t> sector(512);
    ASSERT_EQ(sim.maps().smReadLogSector(0, 2 * spb + 2, 0, sector.data(), 512), MEDIA_OK);
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), data.begin()));

    // Sector 0 was written with 0xFF too, so that a scan finds the block.
    EXPECT_EQ(sim.maps().smIsRangeErased(0, 2, 0, 512), 0u);
    EXPECT_EQ(sim.maps().smIsRangeErased(0, 2, 512, 512), 1u);
    EXPECT_EQ(sim.maps().smIsRangeErased(0, 2, 1000, 100), 0u);
    EXPECT_EQ(sim.maps().smIsRangeErased(0, 2, 2048, 512), 1u);
    EXPECT_EQ(sim.maps().smIsRangeErased(0, 3, 0, 512), 0u);  // not mapped
    EXPECT_EQ(sim.maps().smIsSectorErased(0, block, 1), 1u);
    EXPECT_EQ(sim.maps().smIsSectorErased(0, block, 2), 0u);
    ASSERT_EQ(sim.maps().smReadLogBlock(0, 2, 0, sector.data(), 512), MEDIA_OK);
    EXPECT_TRUE(std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(sim.rawSectorSpare(block * spb)[7], field & 0xFF);

    // Beyond the block, and logical blocks not mapped.
    EXPECT_EQ(sim.maps().smWriteLogBlock(0, 2, (spb - 1) * 512, data.data(), 513), MEDIA_OUT_OF_RANGE);
    EXPECT_EQ(sim.maps().smWriteLogBlock(0, 3, 0, data.data(), 512), MEDIA_BAD_BLOCK_NUMBER);
    EXPECT_EQ(sim.maps().smReadLogBlock(0, 3, 0, back.data(), 512), MEDIA_BAD_BLOCK_NUMBER);
    EXPECT_EQ(sim.maps().smReadLogBlock(0, 100000, 0, back.data(), 512), MEDIA_BAD_BLOCK_NUMBER);
}

TEST_P(LogicalIoTest, FillWritesEveryUnwrittenSectorOnly) {
    SimCard sim(GetParam());
    ASSERT_TRUE(sim.ok());
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 4, &old), MEDIA_OK);
    const auto data = sectorPattern(4);
    ASSERT_EQ(sim.maps().smWriteLogBlock(0, 4, 512, data.data(), 512), MEDIA_OK);
    EXPECT_EQ(sim.maps().smFillBlock(0, 5), MEDIA_BAD_BLOCK_NUMBER);
    ASSERT_EQ(sim.maps().smFillBlock(0, 4), MEDIA_OK);
    const uint32_t block = sim.maps().state().logicalMap[4];
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;
    for (uint32_t i = 0; i < spb; ++i) EXPECT_EQ(sim.maps().smIsSectorErased(0, block, i), 0u) << i;
    EXPECT_EQ(sim.rawSectorData(block * spb + 1), data);
    std::vector<uint8_t> back(512);
    ASSERT_EQ(sim.maps().smReadLogBlock(0, 4, 0, back.data(), 512), MEDIA_OK);
    EXPECT_TRUE(std::all_of(back.begin(), back.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(sim.media().pool().available(), SectorBufferPool::BUFFER_COUNT);
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, LogicalIoTest, ::testing::Values(2u, 16u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

}  // namespace
}  // namespace kestrel::media::test
