// The ECC against its definition, and its correction contract: 0 wrong bits
// pass, 1 wrong data bit is corrected, 2 are uncorrectable, 1 wrong ECC bit
// leaves the data as they are.
#include "media/ecc.h"
#include "media/media_errors.h"
#include "tests/media/ecc_reference.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace kestrel::media {
namespace {

using Block = std::array<uint8_t, 256>;
using Ecc = std::array<uint8_t, 3>;

Block randomBlock(std::mt19937& random) {
    Block block;
    for (auto& b : block) b = static_cast<uint8_t>(random());
    return block;
}

Ecc eccOf(const Block& block) {
    Ecc ecc{};
    smCalcEcc(block.data(), ecc.data());
    return ecc;
}

TEST(EccTest, KnownBlocks) {
    Block zero{};
    EXPECT_EQ(eccOf(zero), (Ecc{0xFF, 0xFF, 0xFF}));
    Block one{};
    one[0] = 0x01;
    EXPECT_EQ(eccOf(one), (Ecc{0xAA, 0xAA, 0xAB}));
    Block ones;
    ones.fill(0xFF);  // every parity even: nothing set before inversion
    EXPECT_EQ(eccOf(ones), (Ecc{0xFF, 0xFF, 0xFF}));
}

TEST(EccTest, MatchesTheBitByBitDefinitionOnRandomAndSparseBlocks) {
    std::mt19937 random(1234);
    for (int round = 0; round < 2000; ++round) {
        Block block = randomBlock(random);
        if (round % 2 == 1) {
            // Sparse blocks exercise single line and column parities.
            block.fill(0);
            block[random() % 256] = static_cast<uint8_t>(1u << (random() % 8));
        }
        ASSERT_EQ(eccOf(block), test::referenceEcc(block.data())) << "round " << round;
    }
}

// Blocks of every density, read from every alignment of the buffer (the
// ECC loads whole words): sparse and dense blocks make single line and
// column parities decide, and one block in four holds a single one bit or
// a single zero bit.
TEST(EccTest, MatchesTheDefinitionAtEveryDensityAndAlignment) {
    std::mt19937 random(4321);
    std::array<uint8_t, 256 + 8> buffer{};
    for (uint32_t round = 0; round < 6000; ++round) {
        uint8_t* block = buffer.data() + round % 8;
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t r = random();
            switch (round % 4) {
            case 0: block[i] = static_cast<uint8_t>(r); break;
            case 1: block[i] = static_cast<uint8_t>(r & (r >> 8) & (r >> 16)); break;
            case 2: block[i] = static_cast<uint8_t>(r | (r >> 8) | (r >> 16)); break;
            default: block[i] = (round / 4) % 2 ? 0xFF : 0x00; break;
            }
        }
        if (round % 4 == 3) block[random() % 256] ^= static_cast<uint8_t>(1u << (random() % 8));
        Ecc fast{};
        smCalcEcc(block, fast.data());
        ASSERT_EQ(fast, test::referenceEcc(block)) << "round " << round;
    }
}

// A sector's two halves carry their own ECC: a bit flipped on either side
// of the byte 255/256 boundary (and at the sector's first and last byte) is
// corrected by its own half, and the other half passes untouched.
TEST(EccTest, FlipsAtTheHalfBoundaryAreCorrectedByTheirOwnHalf) {
    std::mt19937 random(256);
    std::array<uint8_t, 512> original;
    for (auto& b : original) b = static_cast<uint8_t>(random());
    Ecc first{}, second{};
    smCalcEcc(original.data(), first.data());
    smCalcEcc(original.data() + 256, second.data());
    for (uint32_t byte : {0u, 1u, 254u, 255u, 256u, 257u, 510u, 511u}) {
        for (uint32_t bit = 0; bit < 8; ++bit) {
            auto damaged = original;
            damaged[byte] ^= static_cast<uint8_t>(1u << bit);
            const bool inFirst = byte < 256;
            Ecc computed{};
            smCalcEcc(damaged.data() + (inFirst ? 0 : 256), computed.data());
            uint32_t index = 0xdeadbeef;
            uint8_t value = 0;
            ASSERT_EQ(smCorrectEcc(damaged.data() + (inFirst ? 0 : 256), (inFirst ? first : second).data(),
                                   computed.data(), &index, &value),
                      MEDIA_CORRECTED);
            EXPECT_EQ(index, byte % 256);
            EXPECT_EQ(value, original[byte]);
            EXPECT_EQ(smCheckHalf(damaged.data(), first.data()), MEDIA_OK);
            EXPECT_EQ(smCheckHalf(damaged.data() + 256, second.data()), MEDIA_OK);
            ASSERT_EQ(damaged, original) << "byte " << byte << " bit " << bit;
        }
    }
}

TEST(EccTest, EverySingleDataBitFlipIsLocatedAndCorrected) {
    std::mt19937 random(99);
    for (int round = 0; round < 4; ++round) {
        const Block original = randomBlock(random);
        const Ecc stored = eccOf(original);
        for (uint32_t byte = 0; byte < 256; ++byte) {
            for (uint32_t bit = 0; bit < 8; ++bit) {
                Block damaged = original;
                damaged[byte] ^= static_cast<uint8_t>(1u << bit);
                const Ecc computed = eccOf(damaged);
                uint32_t index = 0xdeadbeef;
                uint8_t value = 0;
                ASSERT_EQ(smCorrectEcc(damaged.data(), stored.data(), computed.data(), &index, &value),
                          MEDIA_CORRECTED);
                ASSERT_EQ(index, byte);
                ASSERT_EQ(value, original[byte]);
                ASSERT_EQ(smCheckHalf(damaged.data(), stored.data()), MEDIA_OK);
                ASSERT_EQ(damaged, original) << "byte " << byte << " bit " << bit;
            }
        }
    }
}

TEST(EccTest, TwoFlippedDataBitsAreUncorrectable) {
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        const Block original = randomBlock(random);
        const Ecc stored = eccOf(original);
        const uint32_t first = random() % 2048;
        uint32_t second = random() % 2048;
        if (second == first) second = (first + 1) % 2048;
        Block damaged = original;
        damaged[first / 8] ^= static_cast<uint8_t>(1u << (first % 8));
        damaged[second / 8] ^= static_cast<uint8_t>(1u << (second % 8));
        const Block before = damaged;
        ASSERT_EQ(smCheckHalf(damaged.data(), stored.data()), MEDIA_UNCORRECTABLE) << first << " " << second;
        ASSERT_EQ(damaged, before);  // nothing "corrected"
    }
}

TEST(EccTest, OneWrongEccBitLeavesTheDataUnchanged) {
    std::mt19937 random(5);
    const Block original = randomBlock(random);
    const Ecc good = eccOf(original);
    // The 22 parity bits: all of bytes 0 and 1, bits 2-7 of byte 2.
    for (uint32_t bit = 0; bit < 24; ++bit) {
        if (bit == 16 || bit == 17) continue;
        Ecc stored = good;
        stored[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        Block data = original;
        EXPECT_EQ(smCheckHalf(data.data(), stored.data()), MEDIA_OK) << bit;
        EXPECT_EQ(data, original) << bit;
    }
    // The two constant bits of byte 2 are not parity bits at all.
    Ecc stored = good;
    stored[2] ^= 0x03;
    Block data = original;
    EXPECT_EQ(smCheckHalf(data.data(), stored.data()), MEDIA_OK);
    EXPECT_EQ(data, original);
}

}  // namespace
}  // namespace kestrel::media
