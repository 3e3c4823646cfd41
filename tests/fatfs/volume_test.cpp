// Volume names, the layout rule, the format's on-card result, the mount's
// checks and the volume information.
#include "fatfs/layout.h"
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"

#include <cstring>

namespace kestrel::fatfs::test {
namespace {

TEST(LayoutTest, TheEightCardSizes) {
    struct Row {
        uint32_t spc;
        bool fat16;
        uint32_t f, h, data;
    };
    const Row rows[8] = {{8, false, 1, 13, 32},  {8, false, 2, 11, 32},   {16, false, 2, 27, 48},
                         {16, false, 3, 25, 48}, {32, false, 3, 41, 64},  {32, false, 6, 35, 64},
                         {32, false, 12, 55, 96}, {32, true, 32, 47, 128}};
    for (uint32_t size = 0; size < 8; ++size) {
        const Layout layout = layoutFor(media::geometryRow(size));
        SCOPED_TRACE(size);
        EXPECT_EQ(layout.sectorsPerCluster, rows[size].spc);
        EXPECT_EQ(layout.fat16, rows[size].fat16);
        EXPECT_EQ(layout.sectorsPerFat, rows[size].f);
        EXPECT_EQ(layout.hiddenSectors, rows[size].h);
        EXPECT_EQ(layout.dataStart(), rows[size].data);
        EXPECT_EQ(layout.dataStart() % layout.sectorsPerCluster, 0u);  // on an erase-block boundary
    }
}

class VolumeTest : public FsTest {};

TEST_F(VolumeTest, EveryCardSizeIsFormattedByTheLayoutRule) {
    const uint32_t sizes[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    for (uint32_t index = 0; index < 8; ++index) {
        makeCard(sizes[index]);
        SCOPED_TRACE(sizes[index]);
        const Layout layout = layoutFor(media::geometryRow(index));
        const auto mbr = sector(0);
        EXPECT_EQ(loadLe32(&mbr[454]), layout.hiddenSectors);
        const auto boot = sector(layout.hiddenSectors);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[54]), 8), layout.fat16 ? "FAT16   " : "FAT12   ");
        EXPECT_EQ(loadLe16(&boot[22]), layout.sectorsPerFat);
        EXPECT_EQ(boot[13], layout.sectorsPerCluster);
        EXPECT_EQ(fs().volume().dataStart, layout.dataStart());
        EXPECT_EQ(fs().volume().sectorsPerFat, layout.sectorsPerFat);
    }
}

TEST_F(VolumeTest, FormatOfA32000SectorCardLaysOutTheVolume) {
    makeCard(16);  // 32000 sectors
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "", 0, &bad, {}), FS_OK);
    const auto mbr = sector(0);
    EXPECT_EQ(mbr[446], 0x80);
    EXPECT_EQ(mbr[450], 0x01);
    EXPECT_EQ(loadLe32(&mbr[454]), 41u);
    EXPECT_EQ(loadLe32(&mbr[458]), 32000u - 41);
    EXPECT_EQ(mbr[451], 3);             // heads - 1
    EXPECT_EQ(mbr[452] & 0x3F, 16);     // sectors per track
    EXPECT_EQ(mbr[453] | ((mbr[452] & 0xC0) << 2), 499);  // cylinders - 1
    EXPECT_EQ(mbr[448] & 0x3F, 41 % 16 + 1);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    const auto boot = sector(41);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[3]), 8), std::string("ORYX1.0\0", 8));
    EXPECT_EQ(boot[13], 32);
    EXPECT_EQ(loadLe16(&boot[22]), 3);
    EXPECT_EQ(loadLe16(&boot[19]), 32000 - 41);
    EXPECT_EQ(loadLe32(&boot[32]), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[43]), 11), "           ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[54]), 8), "FAT12   ");
    for (uint32_t copy = 0; copy < 2; ++copy) {
        const auto fat = sector(42 + copy * 3);
        EXPECT_EQ(fat[0], 0xF8);
        EXPECT_EQ(fat[1], 0xFF);
        EXPECT_EQ(fat[2], 0xFF);
        EXPECT_EQ(fat[3], 0x00);
    }
    EXPECT_EQ(fs().volume().dataStart, 64u);
    EXPECT_EQ(fs().volume().rootStart, 48u);
    uint32_t count = 99;
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(VolumeTest, LargestCardIsFat16) {
    makeCard(128);
    const auto boot = sector(47);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[54]), 8), "FAT16   ");
    EXPECT_EQ(loadLe16(&boot[19]), 0);
    EXPECT_EQ(loadLe32(&boot[32]), 255953u);
    EXPECT_EQ(fs().volume().dataStart, 128u);
    // Labels are cut to eleven characters.
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "KESTRELCARD01", 0, &bad, {}), FS_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&sector(47)[43]), 11), "KESTRELCARD");
    writeFile("dev0:\\BIG.BIN", patternBytes(70000, 1));
    EXPECT_EQ(readWhole("dev0:\\BIG.BIN"), patternBytes(70000, 1));
}

TEST_F(VolumeTest, VolumeNamesAreExactAndRenamable) {
    uint32_t count = 0;
    EXPECT_EQ(fs().getListNumDir("DEV0:\\", &count), FS_INVALID);
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    EXPECT_EQ(fs().getListNumDir("dev0", &count), FS_INVALID);
    EXPECT_EQ(fs().getListNumDir("dev0:", &count), FS_INVALID);
    EXPECT_EQ(fs().getListNumDir("", &count), FS_INVALID);
    EXPECT_EQ(fs().mountVol(0, "card"), FS_OK);
    EXPECT_EQ(fs().getListNumDir("card:\\", &count), FS_OK);
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_INVALID);
    EXPECT_EQ(fs().mountVol(0, "elevenchars"), FS_INVALID);
    EXPECT_EQ(fs().mountVol(0, "tenchars10"), FS_OK);  // every name that is accepted can be used
    EXPECT_EQ(fs().getListNumDir("tenchars10:\\", &count), FS_OK);
    EXPECT_EQ(fs().mountVol(1, "other"), FS_INVALID);
    EXPECT_EQ(fs().unmountVol(0), FS_OK);
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
}

TEST_F(VolumeTest, PathsFailBeforeInit) {
    FileSystem fresh(card().media(), nullptr, fixedTime);
    uint32_t count = 0;
    EXPECT_EQ(fresh.getListNumDir("dev0:\\", &count), FS_INVALID);
    EXPECT_EQ(fresh.init(), FS_OK);
    EXPECT_EQ(fresh.getListNumDir("dev0:\\", &count), FS_OK);
}

TEST_F(VolumeTest, UnusableVolumesGiveFive) {
    writeFile("dev0:\\KEEP.TXT", bytesOf("keep"));
    const auto mbr = sector(0);
    const uint32_t h = loadLe32(&mbr[454]);
    const auto boot = sector(h);
    const auto expectUnusable = [&](const char* what) {
        ASSERT_EQ(fs().init(), FS_OK);
        uint32_t count = 0, size = 0, handle = 0, info[6];
        EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_VOLUME_UNUSABLE) << what;
        EXPECT_EQ(fs().getSizeFile("dev0:\\KEEP.TXT", &size), FS_VOLUME_UNUSABLE) << what;
        EXPECT_EQ(fs().openFile("dev0:\\KEEP.TXT", 1, &handle), FS_VOLUME_UNUSABLE) << what;
        EXPECT_EQ(fs().getVolInfo("dev0:\\", info), FS_VOLUME_UNUSABLE) << what;
    };
    auto broken = mbr;
    broken[511] = 0xAB;
    overwriteSector(0, broken);
    expectUnusable("partition table signature");
    overwriteSector(0, mbr);

    broken = boot;
    std::memcpy(&broken[54], "FAT32   ", 8);
    overwriteSector(h, broken);
    expectUnusable("file-system type");
    broken = boot;
    broken[16] = 3;
    overwriteSector(h, broken);
    expectUnusable("three FATs");
    broken = boot;
    broken[13] = 0;  // would divide by zero
    overwriteSector(h, broken);
    expectUnusable("no sectors per cluster");
    overwriteSector(h, boot);

    // Both FAT copies damaged.
    std::vector<uint8_t> zeros(512, 0);
    overwriteSector(h + 1, zeros);
    overwriteSector(h + 1 + fs().volume().sectorsPerFat, zeros);
    expectUnusable("FAT copies");

    // And a good card mounts again after a format.
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "", 0, &bad, {}), FS_OK);
    uint32_t count = 7;
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(VolumeTest, FirstFatCopyBadSecondUsed) {
    writeFile("dev0:\\DATA.BIN", patternBytes(5000, 3));
    const uint32_t fatStart = fs().volume().fatStart;
    overwriteSector(fatStart, std::vector<uint8_t>(512, 0));
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\DATA.BIN"), patternBytes(5000, 3));
}

TEST_F(VolumeTest, UnformattedCardIsUnusable) {
    makeCard(1, false);
    uint32_t count = 0;
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_VOLUME_UNUSABLE);  // logical block 0 missing
}

TEST_F(VolumeTest, VolumeInformationCountsClusters) {
    uint32_t info[6] = {};
    ASSERT_EQ(fs().getVolInfo("dev0:\\", info), FS_OK);
    const uint32_t clusterBytes = 8 * 512;  // 2 MB card: 8 sectors per cluster
    const uint32_t n = (4000 - 11) / 8 + 1;
    EXPECT_EQ(info[0], n * clusterBytes);
    EXPECT_EQ(info[1], 0u);
    EXPECT_EQ(info[2], n * clusterBytes);
    EXPECT_EQ(info[3], 0u);
    EXPECT_EQ(info[4], 8u);
    EXPECT_EQ(info[5], 512u);
    writeFile("dev0:\\A.BIN", patternBytes(clusterBytes + 1, 1));  // two clusters
    ASSERT_EQ(fs().getVolInfo("dev0:\\", info), FS_OK);
    EXPECT_EQ(info[1], 2 * clusterBytes);
    EXPECT_EQ(info[1] + info[2], info[0]);
}

TEST_F(VolumeTest, FullFormatReportsBadBlocks) {
    card_ = std::make_unique<media::test::SimCard>(1, 0xEC, [](sim::DeviceConfig& c) { c.badBlocks = {20, 30}; });
    ASSERT_TRUE(card_->ok());
    fs_ = std::make_unique<FileSystem>(card_->media(), nullptr, fixedTime);
    ASSERT_EQ(fs().init(), FS_OK);
    uint32_t bad = 0, calls = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "K", 1, &bad, [&](uint32_t blocks, uint32_t) {
        EXPECT_EQ(blocks, 256u);
        ++calls;
    }),
              FS_OK);
    EXPECT_EQ(bad, 2u);
    EXPECT_GT(calls, 0u);
    EXPECT_EQ(fs().formatVol("DEV0:", "K", 0, &bad, {}), FS_INVALID);
    writeFile("dev0:\\X.TXT", bytesOf("after the format"));
    EXPECT_EQ(readWhole("dev0:\\X.TXT"), bytesOf("after the format"));
}

}  // namespace
}  // namespace kestrel::fatfs::test
