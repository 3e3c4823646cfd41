// The update tool's way of writing a file: create, extend to the full
// length, write in 2048-byte pieces, close, then read the stat record and
// write it back with the source file's time. For sizes around sector and
// cluster boundaries: contents, sizes and times right, no block copied
// while writing, and a clean volume afterwards.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/sim/sim_test_support.h"

namespace kestrel::fatfs::test {
namespace {

class UpdatePatternTest : public FsTest {
protected:
    void SetUp() override { makeCard(16); }

    // Writes `data` as the update tool does; the erases the writes caused.
    uint64_t download(const std::string& path, const std::vector<uint8_t>& data) {
        uint32_t handle = 0;
        EXPECT_EQ(fs().createFile(path, 1, &handle), FS_OK) << path;
        EXPECT_EQ(fs().fileExtend(handle, static_cast<uint32_t>(data.size())), FS_OK) << path;
        const uint64_t erases = card().counters().blockErases;
        for (size_t at = 0; at < data.size(); at += 2048) {
            const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(2048, data.size() - at));
            EXPECT_EQ(fs().writeFile(handle, data.data() + at, piece), FS_OK) << path << " at " << at;
        }
        const uint64_t duringWrites = card().counters().blockErases - erases;
        EXPECT_EQ(fs().closeFile(handle), FS_OK) << path;
        std::vector<uint8_t> stat(20);
        EXPECT_EQ(fs().readStat(path, stat.data()), FS_OK);
        storeLe16(&stat[12], 2003);
        stat[14] = 7;
        stat[15] = 14;
        stat[16] = 9;
        stat[17] = 30;
        stat[18] = 44;
        EXPECT_EQ(fs().writeStat(path, stat.data()), FS_OK);
        return duringWrites;
    }
};

TEST_F(UpdatePatternTest, EverySizeReadsBackWithItsTimeAndWithoutBlockCopies) {
    const uint32_t cluster = fs().volume().clusterBytes();
    const std::vector<uint32_t> sizes = {0, 1, 511, 512, 513, 5000, cluster, cluster + 1, 1u << 20};
    for (uint32_t size : sizes) {
        const std::string path = "dev0:\\F" + std::to_string(size) + ".BIN";
        const auto data = patternBytes(size, size);
        EXPECT_EQ(download(path, data), 0u) << "block copies while writing " << size << " bytes";
    }
    for (uint32_t size : sizes) {
        const std::string path = "dev0:\\F" + std::to_string(size) + ".BIN";
        EXPECT_EQ(readWhole(path), patternBytes(size, size)) << size;
        std::vector<uint8_t> stat(20);
        ASSERT_EQ(fs().readStat(path, stat.data()), FS_OK);
        EXPECT_EQ(loadLe32(&stat[8]), size);
        EXPECT_EQ(loadLe16(&stat[12]), 2003);
        EXPECT_EQ(stat[14], 7);
        EXPECT_EQ(stat[15], 14);
        EXPECT_EQ(stat[16], 9);
        EXPECT_EQ(stat[17], 30);
        EXPECT_EQ(stat[18], 22);
        // The chain holds exactly the clusters the size needs; an empty
        // file none.
        if (size == 0) {
            EXPECT_EQ(loadLe32(&stat[4]), 0u);
            continue;
        }
        uint32_t clusters = 1;
        for (uint16_t c = fs().volume().fat.get(loadLe32(&stat[4])); c != FAT_END; c = fs().volume().fat.get(c)) {
            ASSERT_LT(++clusters, 1000u);
        }
        EXPECT_EQ(clusters, (size + cluster - 1) / cluster) << size;
    }
    // Writing the same files again over the old ones.
    for (uint32_t size : sizes) {
        const std::string path = "dev0:\\F" + std::to_string(size) + ".BIN";
        download(path, patternBytes(size, size + 1));
        EXPECT_EQ(readWhole(path), patternBytes(size, size + 1)) << size;
    }
#ifndef _WIN32
    if (!runShell("command -v fsck.fat").second) return;
    sim::test::TempFolder folder;
    exportImage(folder.file("part.img"), partitionStart());
    EXPECT_TRUE(fsckClean(folder.file("part.img")));
#endif
}

}  // namespace
}  // namespace kestrel::fatfs::test
