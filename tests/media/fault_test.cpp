// Card faults from the simulator: failed programs relocate the block, failed
// erases retire the block, uncorrectable sectors survive a relocation as
// read.
#include "media/media_errors.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::media::test {
namespace {

class FaultTest : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        sim_ = std::make_unique<SimCard>(GetParam());
        ASSERT_TRUE(sim_->ok());
        uint32_t old = 0;
        ASSERT_EQ(maps().smAssignBlock(0, L, &old), MEDIA_OK);
        for (uint32_t i = 0; i < 4; ++i) {
            sectors_.push_back(sectorPattern(100 + i));
            ASSERT_EQ(maps().smWriteLogBlock(0, L, i * 512, sectors_[i].data(), 512), MEDIA_OK);
        }
        home_ = block();
    }

    BlockMap& maps() { return sim_->maps(); }
    uint32_t block() { return maps().state().logicalMap[L]; }
    std::vector<uint8_t> readSector(uint32_t i, uint32_t expectedResult = MEDIA_OK) {
        std::vector<uint8_t> data(512);
        EXPECT_EQ(maps().smReadLogBlock(0, L, i * 512, data.data(), 512), expectedResult) << i;
        return data;
    }
    std::string flip(uint32_t sector, uint32_t byte, uint32_t bit) {
        const uint32_t spb = sim_->card().geometry().sectorsPerBlock;
        const uint32_t page = (home_ * spb + sector) * sim_->pagesPerSector() + byte / sim_->pageSize();
        return sim_->simCommand("flip " + std::to_string(page) + " " + std::to_string(byte % sim_->pageSize()) +
                                " " + std::to_string(bit));
    }

    static constexpr uint32_t L = 6;
    std::unique_ptr<SimCard> sim_;
    std::vector<std::vector<uint8_t>> sectors_;
    uint32_t home_ = 0;
};

TEST_P(FaultTest, ProgramFailureRelocatesTheBlockAndKeepsItsData) {
    ASSERT_EQ(sim_->simCommand("fail-program " + std::to_string(home_)), "ok");
    const auto fifth = sectorPattern(200);
    ASSERT_EQ(maps().smWriteLogBlock(0, L, 4 * 512, fifth.data(), 512), MEDIA_OK);
    EXPECT_NE(block(), home_);
    EXPECT_EQ(maps().state().physicalMap[home_], MAP_BAD);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(readSector(i), sectors_[i]) << i;
    EXPECT_EQ(readSector(4), fifth);
    EXPECT_EQ(sim_->media().pool().available(), SectorBufferPool::BUFFER_COUNT);
    // A later scan finds the data where the relocation put it.
    ASSERT_EQ(maps().smBuildMaps(0), MEDIA_OK);
    EXPECT_EQ(readSector(2), sectors_[2]);
}

TEST_P(FaultTest, EraseFailureWhileAssigningRetiresTheBlock) {
    uint32_t next = 0;
    ASSERT_EQ(maps().smFindFreeBlock(0, 7, &next), MEDIA_OK);
    ASSERT_EQ(sim_->simCommand("fail-erase " + std::to_string(next)), "ok");
    uint32_t old = 0;
    ASSERT_EQ(maps().smAssignBlock(0, 7, &old), MEDIA_OK);
    EXPECT_NE(maps().state().logicalMap[7], next);
    EXPECT_NE(maps().state().logicalMap[7], 0);
    EXPECT_EQ(maps().state().physicalMap[next], MAP_BAD);
}

TEST_P(FaultTest, SingleBitFlipIsCorrectedOnReadOnly) {
    ASSERT_EQ(flip(1, 77, 5), "ok");
    sim_->log().calls.clear();
    EXPECT_EQ(readSector(1), sectors_[1]);
    for (const auto& call : sim_->log().calls) EXPECT_NE(call.kind, CardCall::Program);
}

TEST_P(FaultTest, RelocationCopiesUncorrectableSectorsAsReadAndReportsThem) {
    // Sector 1 of the old block reads with two wrong bits in one half.
    ASSERT_EQ(flip(1, 10, 0), "ok");
    ASSERT_EQ(flip(1, 11, 0), "ok");
    auto damaged = sectors_[1];
    damaged[10] ^= 0x01;
    damaged[11] ^= 0x01;
    readSector(1, MEDIA_UNCORRECTABLE);
    ASSERT_EQ(sim_->simCommand("fail-program " + std::to_string(home_)), "ok");
    const auto fifth = sectorPattern(300);
    EXPECT_EQ(maps().smWriteLogBlock(0, L, 4 * 512, fifth.data(), 512), MEDIA_UNCORRECTABLE);
    EXPECT_NE(block(), home_);
    EXPECT_EQ(maps().state().physicalMap[home_], MAP_BAD);
    // The damaged sector still reads as damaged (not as good data), and
    // every sector after it survived too.
    EXPECT_EQ(readSector(0), sectors_[0]);
    EXPECT_EQ(readSector(1, MEDIA_UNCORRECTABLE), damaged);
    EXPECT_EQ(readSector(2), sectors_[2]);
    EXPECT_EQ(readSector(3), sectors_[3]);
}

TEST_P(FaultTest, RelocationWithoutASectorBufferLeavesTheBlockAlone) {
    auto a = sim_->media().pool().take();
    auto b = sim_->media().pool().take();
    auto c = sim_->media().pool().take();
    ASSERT_FALSE(sim_->media().pool().take());
    EXPECT_EQ(maps().smRelocateBlock(0, L), MEDIA_NO_BUFFER);
    EXPECT_EQ(block(), home_);
    EXPECT_EQ(maps().smFillBlock(0, L), MEDIA_NO_BUFFER);
    a.release();
    b.release();
    c.release();
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(readSector(i), sectors_[i]);
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, FaultTest, ::testing::Values(2u, 16u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

TEST(SectorPoolTest, LifoAndEmpty) {
    SectorBufferPool pool;
    auto first = pool.take();
    auto second = pool.take();
    auto third = pool.take();
    ASSERT_TRUE(first && second && third);
    EXPECT_FALSE(pool.take());
    uint8_t* secondBuffer = second.data();
    second.release();
    auto again = pool.take();
    EXPECT_EQ(again.data(), secondBuffer);  // the one returned last
    EXPECT_EQ(pool.available(), 0u);
    pool.rebuild();
    EXPECT_EQ(pool.available(), 3u);
    first.release();  // leases from before a rebuild are not taken back twice
    EXPECT_EQ(pool.available(), 3u);
}

}  // namespace
}  // namespace kestrel::media::test
