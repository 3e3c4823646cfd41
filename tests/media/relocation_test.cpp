// Relocation after a failed program: the block's other sectors, its last
// one included, move with it; and a relocation that cannot finish (no free
// block, a failing program, any lost command) leaves the logical block on
// its old block with every sector as it was.
#include "media/media_errors.h"
#include "media/spare_area.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace kestrel::media::test {
namespace {

constexpr uint32_t L = 6;

class RelocationTest : public ::testing::TestWithParam<uint32_t> {
protected:
    // A card whose logical block L holds sectors 0-3 and its last sector in
    // a block whose programs fail from now on.
    std::unique_ptr<SimCard> failingCard(const std::function<void(sim::DeviceConfig&)>& adjust = {}) {
        auto sim = std::make_unique<SimCard>(GetParam(), 0xEC, adjust);
        if (!sim->ok()) return nullptr;
        EXPECT_EQ(sim->card().smIdentify(0), MEDIA_OK);
        last_ = sim->card().geometry().sectorsPerBlock - 1;
        stored_ = {{0, sectorPattern(40)}, {1, sectorPattern(41)}, {2, sectorPattern(42)},
                   {3, sectorPattern(43)}, {last_, sectorPattern(44)}};
        uint32_t old = 0;
        EXPECT_EQ(sim->maps().smAssignBlock(0, L, &old), MEDIA_OK);
        for (const auto& [i, data] : stored_) {
            EXPECT_EQ(sim->maps().smWriteLogBlock(0, L, i * 512, data.data(), 512), MEDIA_OK);
        }
        home_ = sim->maps().state().logicalMap[L];
        EXPECT_EQ(sim->simCommand("fail-program " + std::to_string(home_)), "ok");
        return sim;
    }

    // Every stored sector reads back, through the maps as they are and
    // after a rescan.
    void expectStored(SimCard& sim, const std::map<uint32_t, std::vector<uint8_t>>& extra = {}) {
        auto expected = stored_;
        for (const auto& [i, data] : extra) expected[i] = data;
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& [i, data] : expected) {
                std::vector<uint8_t> back(512);
                EXPECT_EQ(sim.maps().smReadLogBlock(0, L, i * 512, back.data(), 512), MEDIA_OK) << i << " " << pass;
                EXPECT_EQ(back, data) << "sector " << i << (pass ? " after a rescan" : "");
            }
            EXPECT_EQ(sim.maps().smBuildMaps(0), MEDIA_OK);
        }
    }

    uint32_t last_ = 0;
    uint32_t home_ = 0;
    std::map<uint32_t, std::vector<uint8_t>> stored_;
    const std::vector<uint8_t> fresh_ = sectorPattern(50);
};

TEST_P(RelocationTest, RelocationCarriesTheLastSectorAndTheWrite) {
    auto sim = failingCard();
    ASSERT_TRUE(sim);
    ASSERT_EQ(sim->maps().smWriteLogBlock(0, L, 4 * 512, fresh_.data(), 512), MEDIA_OK);
    const uint32_t moved = sim->maps().state().logicalMap[L];
    EXPECT_NE(moved, home_);
    EXPECT_EQ(sim->maps().state().physicalMap[home_], MAP_BAD);
    const uint32_t spb = last_ + 1;
    EXPECT_EQ(sim->rawSectorData(moved * spb + last_), stored_[last_]);
    EXPECT_EQ(sim->rawSectorSpare(moved * spb + last_)[7], smBlockAddressField(L) & 0xFF);
    // Sectors unwritten before stay unwritten.
    EXPECT_EQ(sim->maps().smIsSectorErased(0, moved, last_ - 1), 1u);
    expectStored(*sim, {{4, fresh_}});
    EXPECT_EQ(sim->media().pool().available(), SectorBufferPool::BUFFER_COUNT);
}

TEST_P(RelocationTest, NoUsableFreeBlockLeavesTheOldBlockAsItWas) {
    // Three good blocks: L's, one for logical block 7, and one more whose
    // programs fail too.
    const uint32_t blocks = GetParam() == 2 ? 512 : 1024;
    auto sim = failingCard([blocks](sim::DeviceConfig& c) {
        for (uint32_t b = 1; b < blocks; ++b) {
            if (b < 5 || b > 7) c.badBlocks.push_back(b);
        }
    });
    ASSERT_TRUE(sim);
    uint32_t old = 0;
    ASSERT_EQ(sim->maps().smAssignBlock(0, 7, &old), MEDIA_OK);
    for (uint32_t b = 5; b <= 7; ++b) ASSERT_EQ(sim->simCommand("fail-program " + std::to_string(b)), "ok");

    EXPECT_EQ(sim->maps().smWriteLogBlock(0, L, 4 * 512, fresh_.data(), 512), MEDIA_NO_FREE_BLOCK);
    EXPECT_EQ(sim->maps().state().logicalMap[L], home_);
    EXPECT_EQ(sim->maps().state().physicalMap[home_], smBlockAddressField(L));
    expectStored(*sim);
    EXPECT_EQ(sim->maps().smRelocateBlock(0, L), MEDIA_NO_FREE_BLOCK);
    EXPECT_EQ(sim->maps().state().logicalMap[L], home_);
    expectStored(*sim);
}

// Every card command of the relocating write lost in turn: the write may
// fail, but no sector stored before is lost, now or after a rescan.
TEST_P(RelocationTest, ALostCommandAnywhereInTheRelocationLosesNoStoredSector) {
    uint32_t commands = 0;
    uint32_t givingUp = 0;  // the erase of the old block: the copy is complete
    {
        auto sim = failingCard();
        ASSERT_TRUE(sim);
        sim->log().calls.clear();
        ASSERT_EQ(sim->maps().smWriteLogBlock(0, L, 4 * 512, fresh_.data(), 512), MEDIA_OK);
        const auto& calls = sim->log().calls;
        commands = static_cast<uint32_t>(calls.size());
        const uint32_t pagesPerBlock = (last_ + 1) * sim->pagesPerSector();
        for (uint32_t i = 0; i < commands && givingUp == 0; ++i) {
            if (calls[i].kind == CardCall::Erase && calls[i].page / pagesPerBlock == home_) givingUp = i + 1;
        }
    }
    ASSERT_GT(givingUp, 20u);
    uint32_t failed = 0;
    // Every command up to the old block's erase; after it, the marks of
    // the old block (one program each) only every fifth.
    for (uint32_t n = 1; n <= commands; n += n <= givingUp + 2 ? 1 : 5) {
        SCOPED_TRACE("command " + std::to_string(n) + " of " + std::to_string(commands) + " lost");
        auto sim = failingCard();
        ASSERT_TRUE(sim);
        sim->log().dropCountdown = n;
        const uint32_t result = sim->maps().smWriteLogBlock(0, L, 4 * 512, fresh_.data(), 512);
        ASSERT_EQ(sim->log().dropCountdown, 0u);
        if (result != MEDIA_OK) {
            ++failed;
            EXPECT_EQ(sim->maps().state().logicalMap[L], home_);
            expectStored(*sim);
        } else {
            expectStored(*sim, {{4, fresh_}});
        }
    }
    EXPECT_GT(failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, RelocationTest, ::testing::Values(2u, 16u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

}  // namespace
}  // namespace kestrel::media::test
