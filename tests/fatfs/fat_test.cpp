// The FAT image on the card and the cluster chains: store and reload,
// free-cluster search, contiguous extension, copy-on-write of blocks that
// already hold data.
#include "tests/fatfs/fs_fixture.h"

namespace kestrel::fatfs::test {
namespace {

class FatTest : public FsTest {
protected:
    FatImage& image() { return fs().volume().fat; }
    // Marks clusters [from, to) used as one-cluster chains.
    void use(uint32_t from, uint32_t to) {
        for (uint32_t c = from; c < to; ++c) image().set(c, FAT_END);
    }
    std::vector<uint32_t> chain(uint32_t first) {
        std::vector<uint32_t> clusters{first};
        for (uint32_t c = image().get(first); c != FAT_END && clusters.size() < 100; c = image().get(c)) {
            clusters.push_back(c);
        }
        return clusters;
    }
};

TEST_F(FatTest, Fat12ImageStoresIntoItsSectorsAndReloads) {
    makeCard(16);  // FAT12, 1000 entries, three sectors per copy
    ASSERT_EQ(image().count(), 1000u);
    ASSERT_EQ(fs().volume().sectorsPerFat, 3u);
    for (uint32_t c = 2; c < 1000; ++c) image().set(c, static_cast<uint16_t>(c % 7 == 0 ? FAT_END : (c * 37) % 997 + 2));
    image().set(500, FAT_BAD);
    std::vector<uint16_t> before;
    for (uint32_t c = 0; c < 1000; ++c) before.push_back(image().get(c));
    ASSERT_EQ(fs().fat().store(), FS_OK);

    // 1000 entries are 1500 bytes: the third sector ends in zeros.
    const uint32_t fatStart = fs().volume().fatStart;
    const auto third = sector(fatStart + 2);
    EXPECT_TRUE(std::all_of(third.begin() + (1500 - 1024), third.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(sector(fatStart + 1), sector(fatStart + 4));  // both copies
    // An end of chain is stored as 0xFFF, a bad cluster as 0xFF7.
    const auto first = sector(fatStart);
    EXPECT_EQ((first[10] >> 4) | (first[11] << 4), 0xFFF);  // entry 7

    ASSERT_EQ(fs().init(), FS_OK);
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);  // mounts again
    for (uint32_t c = 0; c < 1000; ++c) ASSERT_EQ(image().get(c), before[c]) << c;
}

TEST_F(FatTest, Fat16ImageReloads) {
    makeCard(128);
    for (uint32_t c = 2; c < image().count(); c += 3) image().set(c, static_cast<uint16_t>(c + 1));
    image().set(8000 - 1, FAT_BAD);
    std::vector<uint16_t> before;
    for (uint32_t c = 0; c < image().count(); ++c) before.push_back(image().get(c));
    ASSERT_EQ(fs().fat().store(), FS_OK);
    ASSERT_EQ(fs().init(), FS_OK);
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    for (uint32_t c = 0; c < image().count(); ++c) ASSERT_EQ(image().get(c), before[c]) << c;
}

TEST_F(FatTest, FreeClusterSearchTakesTheLowest) {
    use(2, 10);
    EXPECT_EQ(fs().fat().findFree(), 10u);
    image().set(3, FAT_FREE);
    EXPECT_EQ(fs().fat().findFree(), 3u);
    // The last two cluster numbers of the image are never handed out.
    use(2, image().count());
    image().set(image().count() - 1, FAT_FREE);
    image().set(image().count() - 2, FAT_FREE);
    EXPECT_EQ(fs().fat().findFree(), 0u);
}

TEST_F(FatTest, ContiguousExtensionUsesTheLongestRunsFirst) {
    use(2, image().count());
    for (uint32_t c = 20; c < 23; ++c) image().set(c, FAT_FREE);
    for (uint32_t c = 40; c < 44; ++c) image().set(c, FAT_FREE);
    ASSERT_EQ(fs().fat().extendContiguous(5, 5), FS_OK);
    EXPECT_EQ(chain(5), (std::vector<uint32_t>{5, 40, 41, 42, 43, 20}));
    EXPECT_EQ(image().get(20), FAT_END);
    EXPECT_EQ(image().get(21), FAT_FREE);  // only one more was needed
    // What is left is linked, then the card is full.
    EXPECT_EQ(fs().fat().extendContiguous(20, 5), FS_DISK_FULL);
    EXPECT_EQ(chain(20), (std::vector<uint32_t>{20, 21, 22}));
}

TEST_F(FatTest, RunReachingTheEndOfTheScanCounts) {
    use(2, image().count());
    const uint32_t limit = fs().volume().boot.totalSectors / fs().volume().boot.sectorsPerCluster;
    for (uint32_t c = limit - 6; c < limit; ++c) image().set(c, FAT_FREE);
    for (uint32_t c = 100; c < 103; ++c) image().set(c, FAT_FREE);
    const FreeRun run = fs().fat().findRun(10);
    EXPECT_EQ(run.first, 0u);
    EXPECT_EQ(run.longest, 6u);
    EXPECT_EQ(fs().fat().findRun(6).first, limit - 6);
}

TEST_F(FatTest, FreeingABrokenChainStops) {
    use(2, 4);
    image().set(2, 3);
    image().set(3, 0);  // a free cluster inside a chain
    EXPECT_EQ(fs().fat().freeChain(2), FS_BROKEN_CHAIN);
    image().set(5, 60000);
    EXPECT_EQ(fs().fat().freeChain(5), FS_BROKEN_CHAIN);
}

TEST_F(FatTest, RewritingABlockKeepsItsOtherData) {
    writeFile("dev0:\\A.BIN", patternBytes(4096, 1));  // one whole cluster (8 sectors) on a 2 MB card
    const auto before = card().maps().state();
    uint32_t handle = 0, previous = 0;
    ASSERT_EQ(fs().openFile("dev0:\\A.BIN", 3, &handle), FS_OK);
    ASSERT_EQ(fs().seekFile(handle, 1, 1000, &previous), FS_OK);
    const auto patch = patternBytes(600, 9);  // direct write over sectors 1 and 3
    ASSERT_EQ(fs().writeFile(handle, patch.data(), 600), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    auto expected = patternBytes(4096, 1);
    std::copy(patch.begin(), patch.end(), expected.begin() + 1000);
    EXPECT_EQ(readWhole("dev0:\\A.BIN"), expected);
    // The block moved: the file's logical block now sits on another physical block.
    const uint32_t cluster = fs().volume().dataStart / 8;  // first data block
    EXPECT_NE(card().maps().state().logicalMap[cluster], before.logicalMap[cluster]);
    // And survives a fresh scan of the card.
    card().maps().smFreeMaps();
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\A.BIN"), expected);
}

}  // namespace
}  // namespace kestrel::fatfs::test
