// Card identification, the geometry rows, and page and sector access on
// both page sizes, through the simulated card.
#include "media/card_tables.h"
#include "media/ecc.h"
#include "media/media_errors.h"
#include "sim/card_geometry.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kestrel::media::test {
namespace {

constexpr std::array<uint32_t, 8> SIZES_MB = {1, 2, 4, 8, 16, 32, 64, 128};

std::vector<CardCall> callsOf(const SimCard& card, CardCall::Kind kind) {
    std::vector<CardCall> out;
    for (const auto& call : const_cast<SimCard&>(card).log().calls) {
        if (call.kind == kind) out.push_back(call);
    }
    return out;
}

TEST(CardIdentifyTest, EveryListedDeviceCodeIdentifiesItsSize) {
    SimCard sim(16);
    ASSERT_TRUE(sim.ok());
    for (uint8_t maker : {uint8_t{0xEC}, uint8_t{0x98}}) {
        for (uint32_t size = 0; size < SIZE_COUNT; ++size) {
            for (uint8_t code : deviceCodesOf(*makerIndexOf(maker), size)) {
                sim.log().idOverride = std::pair{maker, code};
                ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK) << int(maker) << " " << int(code);
                // The first row listing the code wins (0x00 fills unused places).
                const auto expected = sim::identifyCard(maker, code);
                ASSERT_TRUE(expected);
                const CardGeometry& row = sim.card().geometry();
                EXPECT_EQ(uint64_t{row.physicalBlocks} * row.sectorsPerBlock * 512, expected->imageBytes() /
                              expected->pageBytes() * expected->pageSize)
                    << int(maker) << " " << int(code);
                EXPECT_EQ(sim.card().state().pageSize, expected->pageSize);
                EXPECT_EQ(sim.card().state().identified, CardState::IDENTIFIED);
            }
        }
    }
}

TEST(CardIdentifyTest, NamedCasesAndUnknownCards) {
    SimCard sim(16);
    ASSERT_TRUE(sim.ok());
    sim.log().idOverride = std::pair{uint8_t{0x98}, uint8_t{0x6B}};
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    EXPECT_EQ(sim.card().state().sizeIndex, 2u);
    EXPECT_EQ(sim.card().state().makerIndex, 1u);
    EXPECT_EQ(sim.card().state().pageSize, 512u);

    sim.log().idOverride = std::pair{uint8_t{0xEC}, uint8_t{0xE5}};
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    EXPECT_EQ(sim.card().state().sizeIndex, 2u);
    EXPECT_EQ(sim.card().state().makerIndex, 0u);

    sim.log().idOverride = std::pair{uint8_t{0x20}, uint8_t{0x73}};
    EXPECT_EQ(sim.card().smIdentify(0), MEDIA_UNKNOWN_CARD);
    EXPECT_FALSE(sim.card().identified());
    // Every operation tries again and fails the same way.
    std::array<uint8_t, 16> spare{};
    EXPECT_EQ(sim.card().smReadSpare(0, 0, spare.data(), 16), MEDIA_UNKNOWN_CARD);
    EXPECT_EQ(sim.maps().smBuildMaps(0), MEDIA_UNKNOWN_CARD);

    sim.log().idOverride = std::pair{uint8_t{0xEC}, uint8_t{0x42}};
    EXPECT_EQ(sim.card().smIdentify(0), MEDIA_UNKNOWN_CARD);
}

TEST(CardIdentifyTest, ProbeChecksTheMakerAndLeavesTheCardToBeIdentifiedAgain) {
    SimCard sim(4, 0x98);
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(sim.card().smIdentify(0), MEDIA_OK);
    EXPECT_EQ(sim.card().smProbeCard(), MEDIA_OK);
    EXPECT_FALSE(sim.card().identified());
    EXPECT_EQ(callsOf(sim, CardCall::ReadId).size(), 3u);
    sim.log().idOverride = std::pair{uint8_t{0x20}, uint8_t{0x73}};
    EXPECT_EQ(sim.card().smProbeCard(), MEDIA_UNKNOWN_CARD);
    EXPECT_EQ(sim.card().state().lastMediaError, MEDIA_UNKNOWN_CARD);
}

TEST(CardGeometryTest, RowsAgreeWithTheCardsAndWithThemselves) {
    for (uint32_t size = 0; size < SIZE_COUNT; ++size) {
        const CardGeometry& row = geometryRow(size);
        const auto card = sim::cardGeometry(SIZES_MB[size], 0xEC);
        ASSERT_TRUE(card);
        SCOPED_TRACE(SIZES_MB[size]);
        EXPECT_EQ(row.physicalBlocks, card->blocks);
        EXPECT_EQ(row.pagesPerBlock, card->pagesPerBlock);
        EXPECT_EQ(row.pageSize, card->pageSize);
        EXPECT_EQ(row.pageSize, pageSizeOf(size));
        EXPECT_EQ(row.bytesPerSector, 512u);
        EXPECT_EQ(row.pagesPerBlock * row.pageSize, row.sectorsPerBlock * 512);
        EXPECT_EQ(row.cylinders * row.heads * row.sectorsPerTrack, row.totalSectors);
        EXPECT_LE(row.totalSectors, row.logicalBlocks * row.sectorsPerBlock);
        EXPECT_LT(row.logicalBlocks, row.physicalBlocks);
    }
}

class PageSizeTest : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        simCard_ = std::make_unique<SimCard>(GetParam());
        ASSERT_TRUE(simCard_->ok());
        ASSERT_EQ(simCard_->card().smIdentify(0), MEDIA_OK);
    }
    std::unique_ptr<SimCard> simCard_;
};

TEST_P(PageSizeTest, SectorWriteSplitsIntoPagesAndReadsBack) {
    SimCard& sim = *simCard_;
    const auto data = sectorPattern(5);
    std::vector<uint8_t> spare(16);
    for (uint32_t i = 0; i < 16; ++i) spare[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_EQ(sim.card().smWriteSector(0, 5, data.data(), spare.data()), MEDIA_OK);

    const auto programs = callsOf(sim, CardCall::Program);
    if (sim.pageSize() == 256) {
        ASSERT_EQ(programs.size(), 2u);
        EXPECT_EQ(programs[0].page, 10u);
        EXPECT_EQ(programs[1].page, 11u);
        std::vector<uint8_t> first(data.begin(), data.begin() + 256);
        first.insert(first.end(), spare.begin(), spare.begin() + 8);
        std::vector<uint8_t> second(data.begin() + 256, data.end());
        second.insert(second.end(), spare.begin() + 8, spare.end());
        EXPECT_EQ(programs[0].data, first);
        EXPECT_EQ(programs[1].data, second);
    } else {
        ASSERT_EQ(programs.size(), 1u);
        EXPECT_EQ(programs[0].page, 5u);
        EXPECT_EQ(programs[0].length, 528u);
    }
    EXPECT_EQ(sim.rawSectorData(5), data);
    EXPECT_EQ(sim.rawSectorSpare(5), spare);

    std::vector<uint8_t> readData(512), readSpare(16);
    ASSERT_EQ(sim.card().smReadSectorData(0, 5, readData.data()), MEDIA_OK);
    ASSERT_EQ(sim.card().smReadSectorSpare(0, 5, readSpare.data()), MEDIA_OK);
    EXPECT_EQ(readData, data);
    EXPECT_EQ(readSpare, spare);
}

TEST_P(PageSizeTest, LengthsBeyondThePageOrSpareAreRefused) {
    SimCard& sim = *simCard_;
    const uint32_t page = sim.pageSize() + sim.spareSize();
    std::vector<uint8_t> buffer(600);
    EXPECT_EQ(sim.card().smReadPage(0, 0, buffer.data(), page), MEDIA_OK);
    EXPECT_EQ(sim.card().smReadPage(0, 0, buffer.data(), page + 1), MEDIA_OUT_OF_RANGE);
    EXPECT_EQ(sim.card().smReadPage(0, 10, buffer.data(), page - 10), MEDIA_OK);
    EXPECT_EQ(sim.card().smReadPage(0, 10, buffer.data(), page - 9), MEDIA_OUT_OF_RANGE);
    EXPECT_EQ(sim.card().smReadSpare(0, 0, buffer.data(), sim.spareSize()), MEDIA_OK);
    EXPECT_EQ(sim.card().smReadSpare(0, 0, buffer.data(), sim.spareSize() + 1), MEDIA_OUT_OF_RANGE);
    // A column beyond the spare area's size wraps within it instead of
    // reading past the 64-byte answer.
    std::vector<uint8_t> spare0(16), spareHigh(16);
    ASSERT_EQ(sim.card().smReadSpare(0, 0, spare0.data(), sim.spareSize()), MEDIA_OK);
    ASSERT_EQ(sim.card().smReadSpare(0, 0xF0, spareHigh.data(), sim.spareSize()), MEDIA_OK);
    EXPECT_EQ(spareHigh, spare0);
    EXPECT_EQ(sim.card().smReadPageHigh(0, 0, buffer.data(), 8),
              sim.pageSize() == 256 ? MEDIA_OUT_OF_RANGE : MEDIA_OK);
    EXPECT_EQ(sim.card().smReadIdBytes(0, buffer.data(), 1), MEDIA_OUT_OF_RANGE);
    EXPECT_EQ(sim.card().smReadIdBytes(0, buffer.data(), 4), MEDIA_OUT_OF_RANGE);
    ASSERT_EQ(sim.card().smReadIdBytes(0, buffer.data(), 2), MEDIA_OK);
    EXPECT_EQ(buffer[0], 0xEC);
    std::vector<uint8_t> none(1);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 0, 0, none.data(), 1), MEDIA_BAD_BLOCK_NUMBER);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, sim.card().geometry().physicalBlocks, 0, none.data(), 1),
              MEDIA_BAD_BLOCK_NUMBER);
    const uint32_t blockBytes = sim.card().geometry().sectorsPerBlock * 512;
    std::vector<uint8_t> block(blockBytes + 1);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, 0, block.data(), blockBytes), MEDIA_OK);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, 1, block.data(), blockBytes), MEDIA_OUT_OF_RANGE);
}

// Writes sector 0 of physical block 1 with a valid ECC.
std::vector<uint8_t> writeCheckedSector(SimCard& sim, uint32_t seed, uint32_t sectorIndex = 0) {
    const auto data = sectorPattern(seed);
    std::vector<uint8_t> spare(16, 0xFF);
    smCalcEcc(data.data(), spare.data() + 13);
    smCalcEcc(data.data() + 256, spare.data() + 8);
    const uint32_t sector = sim.card().geometry().sectorsPerBlock + sectorIndex;
    EXPECT_EQ(sim.card().smWriteSector(0, sector, data.data(), spare.data()), MEDIA_OK);
    return data;
}

// "flip PAGE BYTE BIT" for byte `byte` of sector `sector`'s data.
std::string flipCommand(SimCard& sim, uint32_t sector, uint32_t byte, uint32_t bit) {
    const uint32_t page = sector * sim.pagesPerSector() + byte / sim.pageSize();
    return "flip " + std::to_string(page) + " " + std::to_string(byte % sim.pageSize()) + " " + std::to_string(bit);
}

TEST_P(PageSizeTest, WholeSectorsAreCheckedAndCorrectedInTheBufferOnly) {
    SimCard& sim = *simCard_;
    const auto data = writeCheckedSector(sim, 11);
    const uint32_t sector = sim.card().geometry().sectorsPerBlock;
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 100, 3)), "ok");
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 300, 0)), "ok");
    const size_t programsBefore = callsOf(sim, CardCall::Program).size();

    std::vector<uint8_t> buffer(512);
    ASSERT_EQ(sim.card().smReadPhysBlock(0, 1, 0, buffer.data(), 512), MEDIA_OK);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(callsOf(sim, CardCall::Program).size(), programsBefore);  // the card is not repaired
    EXPECT_EQ(sim.rawSectorData(sector), data);

    // Bytes 100 to 299 cover no whole sector: they are checked all the same.
    std::vector<uint8_t> partial(200);
    ASSERT_EQ(sim.card().smReadPhysBlock(0, 1, 100, partial.data(), 200), MEDIA_OK);
    EXPECT_EQ(partial, std::vector<uint8_t>(data.begin() + 100, data.begin() + 300));
    EXPECT_EQ(callsOf(sim, CardCall::Program).size(), programsBefore);
}

// Parts of a sector around the middle of the sector (the page boundary of
// 256-byte-page cards), each half with a wrong bit the ECC corrects.
TEST_P(PageSizeTest, PartialReadsAreCheckedLikeWholeSectors) {
    SimCard& sim = *simCard_;
    const auto data = writeCheckedSector(sim, 12);
    const uint32_t sector = sim.card().geometry().sectorsPerBlock;
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 255, 6)), "ok");
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 256, 0)), "ok");
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 257, 7)), "ok");  // second half: two wrong bits
    const auto slice = [&](uint32_t from, uint32_t length) {
        return std::vector<uint8_t>(data.begin() + from, data.begin() + from + length);
    };
    const std::vector<std::pair<uint32_t, uint32_t>> firstHalf = {{255, 1}, {0, 256}, {100, 156}};
    for (const auto& [from, length] : firstHalf) {
        std::vector<uint8_t> buffer(length);
        EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, from, buffer.data(), length), MEDIA_OK) << from;
        EXPECT_EQ(buffer, slice(from, length)) << from;
    }
    // Bytes 256-257 lie in the half that cannot be corrected.
    std::vector<uint8_t> two(2);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, 256, two.data(), 2), MEDIA_UNCORRECTABLE);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, 255, two.data(), 2), MEDIA_UNCORRECTABLE);
    EXPECT_EQ(two[0], data[255]);  // the good half is still corrected

    // With one wrong bit per half, bytes 256-257 come back corrected.
    SimCard other(GetParam());
    ASSERT_TRUE(other.ok());
    ASSERT_EQ(other.card().smIdentify(0), MEDIA_OK);
    const auto second = writeCheckedSector(other, 13);
    ASSERT_EQ(other.simCommand(flipCommand(other, sector, 256, 0)), "ok");
    ASSERT_EQ(other.simCommand(flipCommand(other, sector, 100, 1)), "ok");
    EXPECT_EQ(other.card().smReadPhysBlock(0, 1, 256, two.data(), 2), MEDIA_OK);
    EXPECT_EQ(two, std::vector<uint8_t>(second.begin() + 256, second.begin() + 258));
    std::vector<uint8_t> tail(3);
    EXPECT_EQ(other.card().smReadPhysBlock(0, 1, 510, tail.data(), 3), MEDIA_OK);  // into the next sector
    EXPECT_EQ(tail[0], second[510]);
    EXPECT_EQ(tail[1], second[511]);
    EXPECT_EQ(tail[2], 0xFF);
    std::vector<uint8_t> head(1);
    EXPECT_EQ(other.card().smReadPhysBlock(0, 1, 100, head.data(), 1), MEDIA_OK);
    EXPECT_EQ(head[0], second[100]);
}

TEST_P(PageSizeTest, UncorrectableHalfIsReportedAfterTheWholeRange) {
    SimCard& sim = *simCard_;
    const auto first = writeCheckedSector(sim, 21, 0);
    const auto second = writeCheckedSector(sim, 22, 1);
    const uint32_t sector = sim.card().geometry().sectorsPerBlock;
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 10, 1)), "ok");
    ASSERT_EQ(sim.simCommand(flipCommand(sim, sector, 20, 2)), "ok");
    std::vector<uint8_t> buffer(1024);
    EXPECT_EQ(sim.card().smReadPhysBlock(0, 1, 0, buffer.data(), 1024), MEDIA_UNCORRECTABLE);
    std::vector<uint8_t> asRead = first;
    asRead[10] ^= 0x02;
    asRead[20] ^= 0x04;
    EXPECT_TRUE(std::equal(asRead.begin(), asRead.end(), buffer.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), buffer.begin() + 512));
}

TEST_P(PageSizeTest, FailBitOfTheStatusFailsProgramAndErase) {
    SimCard& sim = *simCard_;
    ASSERT_EQ(sim.simCommand("fail-program 2"), "ok");
    ASSERT_EQ(sim.simCommand("fail-erase 3"), "ok");
    const uint32_t spb = sim.card().geometry().sectorsPerBlock;
    const auto data = sectorPattern(1);
    std::vector<uint8_t> spare(16, 0xFF);
    EXPECT_EQ(sim.card().smWriteSector(0, 2 * spb, data.data(), spare.data()), MEDIA_OPERATION_FAILED);
    EXPECT_EQ(sim.card().smEraseBlock(0, 3 * spb * 512), MEDIA_OPERATION_FAILED);
    EXPECT_EQ(sim.card().smEraseBlock(0, 4 * spb * 512), MEDIA_OK);
    EXPECT_EQ(sim.card().smWriteSector(0, 4 * spb, data.data(), spare.data()), MEDIA_OK);
}

INSTANTIATE_TEST_SUITE_P(BothPageSizes, PageSizeTest, ::testing::Values(2u, 16u),
                         [](const auto& info) { return std::to_string(info.param) + "MB"; });

}  // namespace
}  // namespace kestrel::media::test
