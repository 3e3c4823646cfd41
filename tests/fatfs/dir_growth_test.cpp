// A subdirectory that grows by a cluster keeps its new entries across a
// fresh mount: the cluster is linked in the FAT on the card, not only in
// the image.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/sim/sim_test_support.h"

#include <cstdio>
#include <string>

namespace kestrel::fatfs::test {
namespace {

class DirGrowthTest : public FsTest {
protected:
    // DIR with its one cluster (4096 bytes, 128 entries on a 2 MB card)
    // full: ".", ".." and 126 empty files F000.TXT to F125.TXT.
    void SetUp() override {
        FsTest::SetUp();
        ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
        uint8_t stat[20] = {};
        ASSERT_EQ(fs().readStat("dev0:\\DIR", stat), FS_OK);
        dir_ = loadLe32(stat + 4);
        std::vector<uint8_t> cluster(4096, 0);
        ASSERT_EQ(fs().clusters().read(dir_, 0, cluster.data(), 64), FS_OK);
        for (uint32_t i = 0; i < 126; ++i) {
            uint8_t* entry = &cluster[64 + 32 * i];
            char name[12];
            std::snprintf(name, sizeof name, "F%03u    TXT", i);
            std::copy_n(name, 11, entry);
            entry[11] = ATTR_ARCHIVE;
            std::copy_n(&cluster[22], 4, entry + 22);  // the time and date of "."
        }
        ASSERT_EQ(fs().clusters().write(dir_, 0, cluster.data(), 4096), FS_OK);
        ASSERT_EQ(fs().volume().fat.get(dir_), FAT_END);
        ASSERT_EQ(list("dev0:\\DIR").size(), 128u);
    }
    // A fresh start: the FAT image read back from the card.
    void remount() {
        ASSERT_EQ(fs().init(), FS_OK);
        uint32_t count = 0;
        ASSERT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    }
    uint32_t chainLength() {
        uint32_t length = 0;
        EXPECT_EQ(fs().fat().checkChain(dir_, &length), FS_OK);
        return length;
    }
#ifndef _WIN32
    void expectFsckClean() {
        if (!runShell("command -v fsck.fat").second) return;
        const std::string image = folder_.file("card.part");
        exportImage(image, partitionStart());
        EXPECT_TRUE(fsckClean(image));
    }
#else
    void expectFsckClean() {}
#endif

    uint32_t dir_ = 0;
    sim::test::TempFolder folder_;
};

TEST_F(DirGrowthTest, ALongNameThatGrowsTheDirectoryIsThereAfterARemount) {
    std::u16string name = u"The seventh file of the folder.txt";
    std::vector<uint16_t> units(name.begin(), name.end());
    units.push_back(0);
    ASSERT_EQ(fs().setLongName("dev0:\\DIR\\F007.TXT", units.data()), FS_OK);
    remount();
    EXPECT_EQ(chainLength(), 2u);
    const auto names = list("dev0:\\DIR");
    ASSERT_EQ(names.size(), 128u);
    EXPECT_EQ(names.back(), "F007.TXT");
    std::vector<uint8_t> record(116);
    uint32_t delivered = 0;
    ASSERT_EQ(fs().readDirEx("dev0:\\DIR", 127, 1, record.data(), &delivered), FS_OK);
    std::u16string back;
    for (size_t at = 16; at < 96 && (record[at] | record[at + 1]); at += 2) back += static_cast<char16_t>(loadLe16(&record[at]));
    EXPECT_EQ(back, name);
    expectFsckClean();
}

TEST_F(DirGrowthTest, AMoveIntoAFullDirectoryIsThereAfterARemount) {
    writeFile("dev0:\\KEEP.TXT", bytesOf("moved along"));
    ASSERT_EQ(fs().moveFile("dev0:\\KEEP.TXT", "dev0:\\DIR\\KEEP.TXT"), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\SUB"), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\SUB", "dev0:\\DIR\\SUB"), FS_OK);
    remount();
    EXPECT_EQ(chainLength(), 2u);
    EXPECT_EQ(readWhole("dev0:\\DIR\\KEEP.TXT"), bytesOf("moved along"));
    EXPECT_EQ(list("dev0:\\DIR\\SUB"), (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"DIR"}));
    expectFsckClean();
}

}  // namespace
}  // namespace kestrel::fatfs::test
