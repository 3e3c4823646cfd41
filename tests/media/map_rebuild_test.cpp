// The map rebuild: the second address field, the zone boundary of a 32 MB
// card, a release whose erase fails, and the choice between two blocks
// that claim one logical block after a copy was cut short.
#include "media/media_errors.h"
#include "media/spare_area.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace kestrel::media::test {
namespace {

using Sectors = std::map<uint32_t, std::vector<uint8_t>>;

uint32_t sectorsPerBlock(SimCard& sim) { return sim.card().geometry().sectorsPerBlock; }

// Programs sectors of a physical block as the media layer writes them for
// `logical`: address fields and ECC.
void writeCopy(SimCard& sim, uint32_t block, uint32_t logical, const Sectors& sectors) {
    for (const auto& [i, data] : sectors) {
        Spare spare = spareWithAddress(smBlockAddressField(logical));
        storeSectorEcc(data.data(), spare);
        ASSERT_EQ(sim.card().smWriteSector(0, block * sectorsPerBlock(sim) + i, data.data(), spare.data()), MEDIA_OK);
    }
}

std::vector<uint8_t> readLogical(SimCard& sim, uint32_t logical, uint32_t sector) {
    std::vector<uint8_t> data(512);
    EXPECT_EQ(sim.maps().smReadLogBlock(0, logical, sector * 512, data.data(), 512), MEDIA_OK) << sector;
    return data;
}

bool erasedOnCard(SimCard& sim, uint32_t sector) {
    const auto data = sim.rawSectorData(sector);
    const auto spare = sim.rawSectorSpare(sector);
    const auto ff = [](uint8_t b) { return b == 0xFF; };
    return std::all_of(data.begin(), data.end(), ff) && std::all_of(spare.begin(), spare.end(), ff);
}

// "flip PAGE BYTE BIT" for spare byte `spareByte` of a sector.
std::string flipSpare(SimCard& sim, uint32_t sector, uint32_t spareByte, uint32_t bit) {
    const uint32_t page = sector * sim.pagesPerSector() + spareByte / sim.spareSize();
    const uint32_t byte = sim.pageSize() + spareByte % sim.spareSize();
    return "flip " + std::to_string(page) + " " + std::to_string(byte) + " " + std::to_string(bit);
}

class RebuildTest : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        sim_ = std::make_unique<SimCard>(GetParam());
        ASSERT_TRUE(sim_->ok());
        ASSERT_EQ(sim_->card().smIdentify(0), MEDIA_OK);
    }
    // Assigns `logical` a fresh block and writes the sectors into it.
    uint32_t writeLogical(uint32_t logical, const Sectors& sectors) {
        uint32_t old = 0;
        EXPECT_EQ(sim_->maps().smAssignBlock(0, logical, &old), MEDIA_OK);
        for (const auto& [i, data] : sectors) {
            EXPECT_EQ(sim_->maps().smWriteLogBlock(0, logical, i * 512, data.data(), 512), MEDIA_OK);
        }
        return sim_->maps().state().logicalMap[logical];
    }
    std::unique_ptr<SimCard> sim_;
};

TEST_P(RebuildTest, SecondAddressFieldStandsInForADamagedFirstOne) {
    SimCard& sim = *sim_;
    const Sectors sectors = {{0, sectorPattern(1)}, {1, sectorPattern(2)}};
    const uint32_t kept = writeLogical(7, sectors);
    const uint32_t lost = writeLogical(8, sectors);
    const uint32_t spb = sectorsPerBlock(sim);
    ASSERT_EQ(sim.simCommand(flipSpare(sim, kept * spb, 7, 2)), "ok");  // field 1 only
    ASSERT_EQ(sim.simCommand(flipSpare(sim, lost * spb, 6, 4)), "ok");  // both fields
    ASSERT_EQ(sim.simCommand(flipSpare(sim, lost * spb, 12, 0)), "ok");

    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const auto& state = sim.maps().state();
    EXPECT_EQ(state.logicalMap[7], kept);
    EXPECT_EQ(state.physicalMap[kept], smBlockAddressField(7));
    EXPECT_EQ(readLogical(sim, 7, 1), sectors.at(1));
    // Neither field usable: not mapped, and not free either.
    EXPECT_EQ(state.logicalMap[8], 0);
    EXPECT_NE(state.physicalMap[lost], MAP_FREE);
    EXPECT_NE(state.physicalMap[lost], MAP_BAD);
}

TEST_P(RebuildTest, BlockWrittenOnlyBeyondSectorZeroIsFoundByTheScan) {
    SimCard& sim = *sim_;
    const uint32_t spb = sectorsPerBlock(sim);
    const Sectors sectors = {{3, sectorPattern(5)}, {spb - 1, sectorPattern(6)}};
    const uint32_t block = writeLogical(4, sectors);
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[4], block);
    for (const auto& [i, data] : sectors) EXPECT_EQ(readLogical(sim, 4, i), data);
    EXPECT_EQ(readLogical(sim, 4, 0), std::vector<uint8_t>(512, 0xFF));
    // Sector 0 was written once, before the first data sector.
    uint32_t headPrograms = 0;
    for (const auto& call : sim.log().calls) {
        if (call.kind == CardCall::Program && call.page == block * spb * sim.pagesPerSector()) ++headPrograms;
    }
    EXPECT_EQ(headPrograms, 1u);
}

TEST_P(RebuildTest, ReleaseWhoseEraseFailsMarksTheBlockBad) {
    SimCard& sim = *sim_;
    const Sectors before = {{0, sectorPattern(10)}, {1, sectorPattern(11)}, {2, sectorPattern(12)}};
    const Sectors after = {{0, sectorPattern(20)}, {1, sectorPattern(21)}, {2, sectorPattern(22)}};
    const uint32_t old = writeLogical(5, before);
    const uint32_t fresh = writeLogical(5, after);
    ASSERT_NE(old, fresh);
    ASSERT_EQ(sim.simCommand("fail-erase " + std::to_string(old)), "ok");
    EXPECT_EQ(sim.maps().smReleaseBlock(0, old), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().physicalMap[old], MAP_BAD);
    EXPECT_EQ(sim.rawSectorSpare(old * sectorsPerBlock(sim))[5], BLOCK_MARKED_BAD);

    // The stale copy never comes back, whichever block number it has.
    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[5], fresh);
    EXPECT_EQ(sim.maps().state().physicalMap[old], MAP_BAD);
    for (const auto& [i, data] : after) EXPECT_EQ(readLogical(sim, 5, i), data);
}

// Two copies of logical block 9, `oldCopy` in one block and `newCopy` in
// the other; each case names the copy the rebuild must keep.
struct ClaimCase {
    const char* name;
    Sectors oldCopy;
    Sectors newCopy;
    enum Winner { Old, New, Higher } winner;
    // Spoils the old copy's sector (bad-block mark) or the new copy's
    // sector (ECC), when not -1.
    int oldMarkedBadAt = -1;
    int newDamagedAt = -1;
};

std::vector<ClaimCase> claimCases(uint32_t spb) {
    const auto p = [](uint32_t seed) { return sectorPattern(seed); };
    const uint32_t last = spb - 1;
    return {
        {"copy cut short", {{0, p(1)}, {1, p(2)}, {2, p(3)}, {last, p(4)}}, {{0, p(1)}, {1, p(2)}}, ClaimCase::Old},
        {"copy done, old not yet released", {{0, p(1)}, {1, p(2)}}, {{0, p(1)}, {1, p(2)}, {5, p(6)}},
         ClaimCase::New},
        {"old cut short while erased", {{0, p(1)}}, {{0, p(1)}, {1, p(2)}, {last, p(4)}}, ClaimCase::New},
        {"last sector of the copy cut short", {{0, p(1)}, {1, p(2)}, {last, p(4)}},
         {{0, p(1)}, {1, p(2)}, {last, p(4)}}, ClaimCase::Old, -1, static_cast<int>(last)},
        {"old being marked bad", {{0, p(1)}, {1, p(2)}, {2, p(3)}}, {{0, p(1)}, {1, p(2)}, {2, p(3)}},
         ClaimCase::New, 2},
        {"both complete", {{0, p(1)}, {1, p(2)}}, {{0, p(1)}, {1, p(9)}}, ClaimCase::Higher},
    };
}

TEST_P(RebuildTest, TwoClaimsOfOneBlockKeepTheCompleteNewestCopy) {
    const uint32_t spb = sectorsPerBlock(*sim_);
    for (const ClaimCase& c : claimCases(spb)) {
        for (const bool newIsHigher : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (newIsHigher ? ", new copy higher" : ", new copy lower"));
            SimCard sim(GetParam());
            ASSERT_TRUE(sim.ok());
            ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
            const uint32_t oldBlock = newIsHigher ? 20 : 30;
            const uint32_t newBlock = newIsHigher ? 30 : 20;
            writeCopy(sim, oldBlock, 9, c.oldCopy);
            writeCopy(sim, newBlock, 9, c.newCopy);
            if (c.oldMarkedBadAt >= 0) {
                const auto spare = badBlockSpare();  // one object for both ends of the range
                sim.programSector(oldBlock * spb + c.oldMarkedBadAt, std::vector<uint8_t>(512, 0xFF),
                                  std::vector<uint8_t>(spare.begin(), spare.end()));
            }
            if (c.newDamagedAt >= 0) {
                ASSERT_EQ(sim.simCommand(flipSpare(sim, newBlock * spb + c.newDamagedAt, 13, 0)), "ok");
                ASSERT_EQ(sim.simCommand(flipSpare(sim, newBlock * spb + c.newDamagedAt, 14, 0)), "ok");
            }
            const uint32_t winner = c.winner == ClaimCase::Old   ? oldBlock
                                    : c.winner == ClaimCase::New ? newBlock
                                                                 : std::max(oldBlock, newBlock);
            const uint32_t loser = winner == oldBlock ? newBlock : oldBlock;
            const Sectors& kept = winner == oldBlock ? c.oldCopy : c.newCopy;

            ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
            EXPECT_EQ(sim.maps().state().logicalMap[9], winner);
            // The other copy was released: no second claim is left.
            EXPECT_EQ(sim.maps().state().physicalMap[loser], MAP_FREE);
            EXPECT_TRUE(erasedOnCard(sim, loser * spb));
            for (const auto& [i, data] : kept) {
                if (static_cast<int>(i) != c.newDamagedAt) {
                    EXPECT_EQ(readLogical(sim, 9, i), data);
                }
            }
            sim.log().calls.clear();
            ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
            EXPECT_EQ(sim.maps().state().logicalMap[9], winner);
            for (const auto& call : sim.log().calls) EXPECT_EQ(call.kind == CardCall::Erase, false);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, RebuildTest, ::testing::Values(2u, 16u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

// Logical blocks 999 and 1000 on either side of the zone boundary of a
// 32 MB card, in physical blocks 1023 and 1024: the only good blocks of
// their zones.
TEST(ZoneBoundaryTest, LogicalBlocks999And1000LiveInPhysicalBlocks1023And1024) {
    SimCard sim(32, 0xEC, [](sim::DeviceConfig& c) {
        for (uint32_t b = 1; b < 2048; ++b) {
            if (b != 1023 && b != 1024) c.badBlocks.push_back(b);
        }
    });
    ASSERT_TRUE(sim.ok());
    const uint32_t spb = 32;
    uint32_t old = 0;
    ASSERT_EQ(sim.maps().smAssignBlock(0, 999, &old), MEDIA_OK);
    ASSERT_EQ(sim.maps().smAssignBlock(0, 1000, &old), MEDIA_OK);
    EXPECT_EQ(sim.maps().state().logicalMap[999], 1023);
    EXPECT_EQ(sim.maps().state().logicalMap[1000], 1024);
    EXPECT_EQ(sim.maps().smAssignBlock(0, 1001, &old), MEDIA_NO_FREE_BLOCK);
    EXPECT_EQ(sim.maps().smAssignBlock(0, 998, &old), MEDIA_NO_FREE_BLOCK);
    const Sectors sectors = {{0, sectorPattern(31)}, {spb - 1, sectorPattern(32)}};
    for (const uint32_t logical : {999u, 1000u}) {
        for (const auto& [i, data] : sectors) {
            ASSERT_EQ(sim.maps().smWriteLogBlock(0, logical, i * 512, data.data(), 512), MEDIA_OK);
        }
    }
    EXPECT_EQ(sim.rawSectorSpare(1023 * spb)[7], smBlockAddressField(999) & 0xFF);
    EXPECT_EQ(sim.rawSectorSpare(1024 * spb)[7], smBlockAddressField(0) & 0xFF);

    ASSERT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
    const auto& state = sim.maps().state();
    EXPECT_EQ(state.logicalMap[999], 1023);
    EXPECT_EQ(state.logicalMap[1000], 1024);
    EXPECT_EQ(state.logicalMap[0], 0);
    EXPECT_EQ(state.logicalMap[1024], 0);
    for (const uint32_t logical : {999u, 1000u}) {
        for (const auto& [i, data] : sectors) EXPECT_EQ(readLogical(sim, logical, i), data) << logical;
    }
    // Through logical sectors: the last sector of 999 and the first of 1000.
    std::vector<uint8_t> data(512);
    ASSERT_EQ(sim.maps().smReadLogSector(0, 1000 * spb - 1, 0, data.data(), 512), MEDIA_OK);
    EXPECT_EQ(data, sectors.at(spb - 1));
    ASSERT_EQ(sim.maps().smReadLogSector(0, 1000 * spb, 0, data.data(), 512), MEDIA_OK);
    EXPECT_EQ(data, sectors.at(0));
}

}  // namespace
}  // namespace kestrel::media::test
