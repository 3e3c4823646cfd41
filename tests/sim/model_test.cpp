// The card family's table, device.conf, and the modelled time's frame rule.
#include "sim/card_geometry.h"
#include "sim/device_config.h"
#include "sim/modelled_clock.h"

#include <gtest/gtest.h>

namespace kestrel::sim {

namespace {

struct Row {
    uint32_t sizeMb;
    uint8_t codeEc;
    uint8_t code98;
    uint32_t pageSize;
    uint32_t pagesPerBlock;
    uint32_t blocks;
};

constexpr Row ROWS[] = {
    {1, 0x6E, 0x00, 256, 16, 256},     {2, 0xEA, 0xEA, 256, 16, 512},    {4, 0xE3, 0xE5, 512, 16, 512},
    {8, 0xE6, 0xE6, 512, 16, 1024},    {16, 0x73, 0x73, 512, 32, 1024},  {32, 0x75, 0x75, 512, 32, 2048},
    {64, 0x76, 0x76, 512, 32, 4096},   {128, 0x79, 0x79, 512, 32, 8192},
};

}  // namespace

TEST(CardGeometryTest, EverySizeAndMakerHasItsGeometryAndFirstListedCode) {
    for (const Row& row : ROWS) {
        for (const uint8_t maker : {MAKER_EC, MAKER_98}) {
            const auto g = cardGeometry(row.sizeMb, maker);
            ASSERT_TRUE(g) << row.sizeMb;
            EXPECT_EQ(g->deviceCode, maker == MAKER_EC ? row.codeEc : row.code98) << row.sizeMb;
            EXPECT_EQ(g->pageSize, row.pageSize);
            EXPECT_EQ(g->spareSize, row.pageSize == 256 ? 8u : 16u);
            EXPECT_EQ(g->pagesPerBlock, row.pagesPerBlock);
            EXPECT_EQ(g->blocks, row.blocks);
            EXPECT_EQ(g->pages() * g->pageSize, uint64_t{row.sizeMb} << 20) << "capacity " << row.sizeMb;
            const auto identified = identifyCard(maker, g->deviceCode);
            ASSERT_TRUE(identified);
            EXPECT_EQ(identified->sizeMb, row.sizeMb) << "the host finds the same card from the ID";
        }
    }
    EXPECT_FALSE(cardGeometry(3, MAKER_EC));
    EXPECT_FALSE(cardGeometry(16, 0x20));
    EXPECT_EQ(identifyCard(MAKER_98, 0x6B)->sizeMb, 4u) << "second code of a size";
    EXPECT_FALSE(identifyCard(MAKER_EC, 0x42));
}

TEST(CardGeometryTest, SizesParseWithOrWithoutUnit) {
    EXPECT_EQ(parseSizeMb("16M"), 16u);
    EXPECT_EQ(parseSizeMb("128MB"), 128u);
    EXPECT_EQ(parseSizeMb("2"), 2u);
    EXPECT_FALSE(parseSizeMb("M"));
    EXPECT_FALSE(parseSizeMb("16K"));
    EXPECT_FALSE(parseSizeMb("-1M"));
}

TEST(DeviceConfigTest, RoundTripsThroughItsTextForm) {
    auto config = defaultDeviceConfig(2, MAKER_98);
    ASSERT_TRUE(config);
    config->reenumerateMs = 120;
    config->badBlocks = {1, 511};
    config->failProgram = {7};
    config->failErase = {8, 9};
    config->flips = {{4, 263, 7}, {100, 0, 0}};
    config->stallCommand = 3;
    std::string error;
    const auto parsed = parseDeviceConfig(formatDeviceConfig(*config), &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->sizeMb, 2u);
    EXPECT_EQ(parsed->maker, MAKER_98);
    EXPECT_EQ(parsed->deviceCode, 0xEA);
    EXPECT_EQ(parsed->reenumerateMs, 120u);
    EXPECT_EQ(parsed->badBlocks, config->badBlocks);
    EXPECT_EQ(parsed->failProgram, config->failProgram);
    EXPECT_EQ(parsed->failErase, config->failErase);
    EXPECT_EQ(parsed->flips, config->flips);
    EXPECT_EQ(parsed->stallCommand, 3u);
}

TEST(DeviceConfigTest, AcceptsCommentsAndDefaultsAndRefusesMistakes) {
    std::string error;
    const auto minimal = parseDeviceConfig("# a card\nsize = 64M   # big\n\nmaker=0x98\n", &error);
    ASSERT_TRUE(minimal) << error;
    EXPECT_EQ(minimal->deviceCode, 0x76) << "device code follows size and maker";
    EXPECT_EQ(minimal->reenumerateMs, 300u);

    const char* wrong[] = {
        "size = 3M\n",             // no such card
        "colour = blue\n",         // unknown key
        "size = 2M\nbad = 512\n",  // beyond 512 blocks
        "flip = 1:2\n",            // incomplete flip
        "flip = 1:2:9\n",          // bit beyond 7
        "size = 2M\nflip = 0:264:0\n",  // beyond 256 + 8 bytes
        "stall = many\n",
        "maker 0xEC\n",            // no '='
    };
    for (const char* text : wrong) {
        error.clear();
        EXPECT_FALSE(parseDeviceConfig(text, &error)) << text;
        EXPECT_NE(error.find("device.conf"), std::string::npos) << text;
    }
}

TEST(ModelledClockTest, RequestsCostOneFramePerStartedNineteenPackets) {
    EXPECT_EQ(ModelledClock::framesFor(0), 1u);
    EXPECT_EQ(ModelledClock::framesFor(64), 1u);
    EXPECT_EQ(ModelledClock::framesFor(19 * 64), 1u);
    EXPECT_EQ(ModelledClock::framesFor(19 * 64 + 1), 2u);
    EXPECT_EQ(ModelledClock::framesFor(2048), 2u);
    EXPECT_EQ(ModelledClock::framesFor(65536), 54u);
}

}  // namespace kestrel::sim
