// Interoperability with the common FAT tools: a card formatted and filled
// by this code, read out sector by sector into a disk image, passes
// fsck.fat and lists with mtools; volumes made by mkfs.fat and filled with
// mtools, written onto a simulated card, are mounted and read here.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/sim/sim_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrel::fatfs::test {
namespace {

#ifndef _WIN32

bool haveTools() { return runShell("command -v fsck.fat && command -v mdir && command -v mkfs.fat").second; }

class InteropTest : public FsTest {
protected:
    std::string image() const { return folder_.file("card.img"); }

    // Writes a disk image onto the card's logical blocks.
    void importImage() {
        const auto bytes = sim::test::readFile(image());
        const media::CardGeometry& g = geometry();
        const uint32_t blockBytes = g.sectorsPerBlock * 512;
        for (uint32_t block = 0; block < g.logicalBlocks && size_t{block} * blockBytes < bytes.size(); ++block) {
            uint32_t old = 0;
            ASSERT_EQ(card().maps().smAssignBlock(0, block, &old), 0u);
            const size_t at = size_t{block} * blockBytes;
            std::vector<uint8_t> data(bytes.begin() + at, bytes.begin() + std::min(at + blockBytes, bytes.size()));
            data.resize(blockBytes, 0);
            ASSERT_EQ(card().maps().smWriteLogBlock(0, block, 0, data.data(), blockBytes), 0u) << block;
        }
    }

    std::string mtools(const std::string& command, uint32_t offsetSectors) {
        return "MTOOLS_SKIP_CHECK=1 " + command + " -i '" + image() + "@@" + std::to_string(offsetSectors * 512) + "'";
    }

    sim::test::TempFolder folder_;
};

TEST_F(InteropTest, CardsWrittenHerePassFsckAndListWithMtools) {
    if (!haveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    makeCard(4);
    // fsck.fat reads eleven spaces (an empty label) as a damaged label and
    // any other label as one missing from the root directory; "NO NAME" is
    // the conventional way to say "no label".
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\MUSIC"), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\MUSIC\\OLD"), FS_OK);
    writeFile("dev0:\\MUSIC\\SONG1.MP3", patternBytes(40000, 1));
    writeFile("dev0:\\MUSIC\\OLD\\SONG2.MP3", patternBytes(513, 2));
    writeFile("dev0:\\README.TXT", bytesOf("hello card"));
    writeFile("dev0:\\EMPTY.BIN", {});
    const std::u16string longName = u"Long Song Title.mp3";
    std::vector<uint16_t> terminated(longName.begin(), longName.end());
    terminated.push_back(0);
    ASSERT_EQ(fs().setLongName("dev0:\\MUSIC\\SONG1.MP3", terminated.data()), FS_OK);
    ASSERT_EQ(fs().removeFile("dev0:\\EMPTY.BIN"), FS_OK);
    exportImage(image());
    const uint32_t hidden = partitionStart();
    exportImage(image() + ".part", hidden);
    EXPECT_TRUE(fsckClean(image() + ".part"));

    const auto root = runShell(mtools("mdir -b", hidden) + " ::/");
    ASSERT_TRUE(root.second) << root.first;
    EXPECT_NE(root.first.find("::/README.TXT"), std::string::npos) << root.first;
    EXPECT_NE(root.first.find("::/MUSIC"), std::string::npos) << root.first;
    EXPECT_EQ(root.first.find("EMPTY"), std::string::npos) << root.first;
    const auto music = runShell(mtools("mdir -b", hidden) + " ::/MUSIC");
    EXPECT_NE(music.first.find("::/MUSIC/Long Song Title.mp3"), std::string::npos) << music.first;
    const auto copy = runShell(mtools("mcopy -n", hidden) + " '::/MUSIC/Long Song Title.mp3' '" + image() + ".song'");
    ASSERT_TRUE(copy.second) << copy.first;
    EXPECT_EQ(sim::test::readFile(image() + ".song"), patternBytes(40000, 1));
    EXPECT_EQ(runShell(mtools("mtype", hidden) + " ::/README.TXT").first, "hello card");
}

struct MkfsCase {
    uint32_t sizeMb;
    const char* fatType;
    const char* clusterSectors;
};

class MkfsVolumeTest : public InteropTest, public ::testing::WithParamInterface<MkfsCase> {};

TEST_P(MkfsVolumeTest, VolumesMadeByMkfsAreMountedAndRead) {
    if (!haveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    const MkfsCase param = GetParam();
    makeCard(param.sizeMb, false);
    const uint32_t total = geometry().totalSectors;
    const uint32_t start = 63;
    {
        std::vector<uint8_t> mbr(512, 0);
        mbr[446] = 0x80;
        mbr[450] = 0x06;
        storeLe32(&mbr[454], start);
        storeLe32(&mbr[458], total - start);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        std::ofstream out(image(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(mbr.data()), 512);
    }
    const std::string source = folder_.file("source.bin");
    {
        const auto data = patternBytes(30000, 7);
        std::ofstream out(source, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    const auto mkfs = runShell("truncate -s " + std::to_string(uint64_t{total} * 512) + " '" + image() + "' && mkfs.fat -F " +
                          param.fatType + " -s " + param.clusterSectors + " --offset=" + std::to_string(start) +
                          " -h " + std::to_string(start) + " '" + image() + "' " + std::to_string((total - start) / 2));
    ASSERT_TRUE(mkfs.second) << mkfs.first;
    for (const std::string& command : {mtools("mmd", start) + " ::/DATA", mtools("mcopy", start) + " '" + source +
                                                                              "' '::/DATA/Some long name.bin'",
                                       mtools("mcopy", start) + " '" + source + "' ::/TOP.BIN"}) {
        const auto result = runShell(command);
        ASSERT_TRUE(result.second) << command << "\n" << result.first;
    }
    importImage();
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"DATA", "TOP.BIN"}));
    EXPECT_EQ(readWhole("dev0:\\TOP.BIN"), patternBytes(30000, 7));
    EXPECT_EQ(list("dev0:\\DATA"), (std::vector<std::string>{".", "..", "SOMELO~1.BIN"}));
    EXPECT_EQ(readWhole("dev0:\\DATA\\SOMELO~1.BIN"), patternBytes(30000, 7));
    std::vector<uint8_t> record(116);
    uint32_t delivered = 0;
    ASSERT_EQ(fs().readDirEx("dev0:\\DATA", 2, 1, record.data(), &delivered), FS_OK);
    std::u16string longName;
    for (size_t at = 16; at < 96 && (record[at] | record[at + 1]); at += 2) longName += char16_t(record[at]);
    EXPECT_EQ(longName, u"Some long name.bin");
    // And what is written here stays readable for mtools. Pre-extending a
    // file must not erase blocks it shares with other files (the clusters
    // here are smaller than an erase block).
    uint32_t handle = 0;
    ASSERT_EQ(fs().createFile("dev0:\\DATA\\EXT.BIN", 0, &handle), FS_OK);
    ASSERT_EQ(fs().fileExtend(handle, 20000), FS_OK);
    const auto extended = patternBytes(20000, 8);
    ASSERT_EQ(fs().writeFile(handle, extended.data(), 20000), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\TOP.BIN"), patternBytes(30000, 7));
    EXPECT_EQ(readWhole("dev0:\\DATA\\SOMELO~1.BIN"), patternBytes(30000, 7));
    EXPECT_EQ(readWhole("dev0:\\DATA\\EXT.BIN"), extended);
    writeFile("dev0:\\DATA\\NEW.TXT", bytesOf("written by the card"));
    exportImage(image());
    EXPECT_EQ(runShell(mtools("mtype", start) + " ::/DATA/NEW.TXT").first, "written by the card");
    exportImage(image() + ".part", start);
    EXPECT_TRUE(fsckClean(image() + ".part"));
}

INSTANTIATE_TEST_SUITE_P(Fat12AndFat16, MkfsVolumeTest,
                         ::testing::Values(MkfsCase{4, "12", "4"}, MkfsCase{32, "16", "4"}),
                         [](const auto& info) { return std::string("FAT") + info.param.fatType; });

#else

TEST(InteropTest, NeedsTheLinuxTools) { GTEST_SKIP() << "fsck.fat, mkfs.fat and mtools run on the Linux build"; }

#endif

}  // namespace
}  // namespace kestrel::fatfs::test
