// The write path's economy and its faithfulness. A workload of file and
// directory operations leaves, after every operation, logical sectors
// whose digest matches the one recorded with the earlier write path (every
// write its own block copy, every FAT store rewriting every sector of every
// copy): gathering the writes changes what reaches the card when, never
// what the card holds. Beside it: what a small file costs in block copies,
// and the FAT store's handling of copies that differ from the image.
#include "fatfs/cluster_io.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/fatfs/write_path_digests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kestrel::fatfs::test {
namespace {

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

// A zero-terminated long name.
std::vector<uint16_t> units(const std::string& text) {
    std::vector<uint16_t> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

class WritePathTest : public FsTest {
protected:
    void SetUp() override {}

    // One operation as the exported functions run it: its writes gathered.
    uint32_t op(const std::function<uint32_t()>& work) {
        WriteBatch batch(fs().clusters());
        return batch.finish(work());
    }

    void put(const std::string& path, const std::vector<uint8_t>& data, uint32_t piece) {
        uint32_t handle = 0;
        ASSERT_EQ(op([&] { return fs().createFile(path, 1, &handle); }), FS_OK) << path;
        step();
        for (size_t at = 0; at < data.size(); at += piece) {
            const uint32_t length = static_cast<uint32_t>(std::min<size_t>(piece, data.size() - at));
            ASSERT_EQ(op([&] { return fs().writeFile(handle, data.data() + at, length); }), FS_OK) << path;
        }
        step();
        ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK) << path;
        step();
    }

    // A file put as the kestrel tool puts one: created, pre-extended,
    // written in pieces of 2048 bytes, closed, its time set.
    void toolPut(const std::string& path, const std::vector<uint8_t>& data) {
        uint32_t handle = 0;
        check(op([&] { return fs().createFile(path, 0, &handle); }));
        check(op([&] { return fs().fileExtend(handle, static_cast<uint32_t>(data.size())); }));
        for (size_t at = 0; at < data.size(); at += 2048) {
            const uint32_t length = static_cast<uint32_t>(std::min<size_t>(2048, data.size() - at));
            check(op([&] { return fs().writeFile(handle, data.data() + at, length); }));
        }
        check(op([&] { return fs().closeFile(handle); }));
        uint8_t stat[20] = {};
        check(op([&] { return fs().readStat(path, stat); }));
        stat[16] = 9;
        check(op([&] { return fs().writeStat(path, stat); }));
    }

    void check(uint32_t result) {
        ASSERT_EQ(result, FS_OK) << "step " << digests_.size();
        step();
    }

    // The digest of the first `digestSectors_` logical sectors (all when 0).
    void step() {
        if (digestSectors_ == 0) {
            digests_.push_back(fnv1a(cardBytes()));
            return;
        }
        std::vector<uint8_t> bytes(size_t{digestSectors_} * 512, 0);
        for (uint32_t s = 0; s < digestSectors_; ++s) {
            (void)card().maps().smReadLogSector(0, s, 0, bytes.data() + size_t{s} * 512, 512);
        }
        digests_.push_back(fnv1a(bytes));
    }

    // Directories, short and long names, small and multi-cluster files,
    // appends, pre-extension, stat records, moves, removals, a directory
    // that grows past its first cluster and a recursive removal.
    void runWorkload() {
        check(op([&] { return fs().createDir("dev0:\\ALBUM"); }));
        put("dev0:\\ALBUM\\A.TXT", patternBytes(3000, 1), 3000);
        put("dev0:\\ALBUM\\B.BIN", patternBytes(40000, 2), 700);
        const auto longName = units("A rather long name.txt");
        check(op([&] { return fs().setLongName("dev0:\\ALBUM\\A.TXT", longName.data()); }));
        uint8_t stat[20] = {};
        check(op([&] { return fs().readStat("dev0:\\ALBUM\\B.BIN", stat); }));
        stat[16] = 7;  // a new hour
        check(op([&] { return fs().writeStat("dev0:\\ALBUM\\B.BIN", stat); }));
        uint32_t handle = 0, previous = 0;
        check(op([&] { return fs().openFile("dev0:\\ALBUM\\B.BIN", 3, &handle); }));
        check(op([&] { return fs().seekFile(handle, 1, 1000, &previous); }));
        const auto patch = patternBytes(1500, 3);
        check(op([&] { return fs().writeFile(handle, patch.data(), 1500); }));
        check(op([&] { return fs().closeFile(handle); }));
        check(op([&] { return fs().createFile("dev0:\\L1_1.BIN", 1, &handle); }));
        check(op([&] { return fs().fileExtend(handle, 20000); }));
        const auto big = patternBytes(20000, 4);
        for (uint32_t at = 0; at < big.size(); at += 2048) {
            const uint32_t length = std::min<uint32_t>(2048, static_cast<uint32_t>(big.size()) - at);
            ASSERT_EQ(op([&] { return fs().writeFile(handle, big.data() + at, length); }), FS_OK);
        }
        check(op([&] { return fs().closeFile(handle); }));
        check(op([&] { return fs().moveFile("dev0:\\ALBUM\\A.TXT", "dev0:\\A.TXT"); }));
        put("dev0:\\ALBUM\\A.TXT", patternBytes(100, 5), 100);
        put("dev0:\\ALBUM\\A.TXT", patternBytes(5000, 6), 5000);  // replaces it
        check(op([&] { return fs().removeFile("dev0:\\ALBUM\\B.BIN"); }));
        for (int i = 0; i < 40; ++i) {
            const std::string name = "dev0:\\ALBUM\\F" + std::to_string(i) + ".DAT";
            put(name, patternBytes(100 + 37 * i, 10 + i), 512);
            const auto longer = units("Picture number " + std::to_string(i) + " of the album.jpg");
            check(op([&] { return fs().setLongName(name, longer.data()); }));
        }
        check(op([&] { return fs().removeFile("dev0:\\ALBUM\\F7.DAT"); }));
        put("dev0:\\ALBUM\\NEW.DAT", patternBytes(2000, 99), 2000);
        check(op([&] { return fs().removeDir("dev0:\\ALBUM", 1); }));
        put("dev0:\\LAST.TXT", patternBytes(1234, 100), 1234);
    }

    // Compares with `recorded`, or prints the digests (to record them)
    // when KESTREL_PRINT_DIGESTS is set.
    void expectDigests(const std::vector<uint64_t>& recorded) {
        if (std::getenv("KESTREL_PRINT_DIGESTS") != nullptr) {
            std::printf("%zu digests:\n", digests_.size());
            for (size_t i = 0; i < digests_.size(); ++i) std::printf("0x%016llxull,%s", static_cast<unsigned long long>(digests_[i]), i % 3 == 2 ? "\n" : " ");
            std::printf("\n");
        }
        ASSERT_EQ(digests_.size(), recorded.size());
        for (size_t i = 0; i < recorded.size(); ++i) ASSERT_EQ(digests_[i], recorded[i]) << "after step " << i;
    }

    std::vector<uint64_t> digests_;
    uint32_t digestSectors_ = 0;
};

TEST_F(WritePathTest, SmallCardLeavesTheSectorsTheEarlierWritePathLeft) {
    makeCard(2);  // FAT12, 256-byte pages, 8-sector blocks
    step();
    runWorkload();
    expectDigests(SMALL_CARD_DIGESTS);
}

TEST_F(WritePathTest, LargeCardLeavesTheSectorsTheEarlierWritePathLeft) {
    makeCard(64);  // 32-sector blocks
    // The workload stays within the first 2 MB (the lowest free clusters
    // are taken first); the whole card is compared at the end.
    digestSectors_ = 4096;
    step();
    check(op([&] { return fs().createDir("dev0:\\ALBUM"); }));
    for (int i = 0; i < 3; ++i) toolPut("dev0:\\ALBUM\\P" + std::to_string(i) + ".JPG", patternBytes(3000, 200 + i));
    toolPut("dev0:\\ALBUM\\BIG.BIN", patternBytes(70000, 300));
    check(op([&] { return fs().removeFile("dev0:\\ALBUM\\P1.JPG"); }));
    toolPut("dev0:\\ROOT.TXT", patternBytes(10, 301));
    digestSectors_ = 0;
    step();
    expectDigests(LARGE_CARD_DIGESTS);
}

// One small file put into a folder that exists, on a 64 MB card (FAT12,
// each FAT copy in its own erase block): its block copies (each one erase
// of the fresh block and one of the old) and page programs.
class SmallFilePutTest : public WritePathTest {
protected:
    void SetUp() override {
        makeCard(64);
        ASSERT_EQ(op([&] { return fs().createDir("dev0:\\ALBUM"); }), FS_OK);
        toolPut("dev0:\\ALBUM\\FIRST.JPG", patternBytes(3000, 1));
        before_ = card().counters();
    }
    uint64_t erases() const { return card_->counters().blockErases - before_.blockErases; }
    uint64_t programs() const { return card_->counters().pagePrograms - before_.pagePrograms; }

    sim::SimCounters before_;
};

// Created, written, closed: the two FAT copies and the directory at the
// create, the directory at the close; the data go into erased pages and
// the close finds the FAT on the card as it is.
TEST_F(SmallFilePutTest, TakesFourBlockCopies) {
    uint32_t handle = 0;
    const auto data = patternBytes(3000, 2);
    ASSERT_EQ(op([&] { return fs().createFile("dev0:\\ALBUM\\SECOND.JPG", 0, &handle); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().writeFile(handle, data.data(), 3000); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
    EXPECT_EQ(erases(), 2u * 4u);
    // Four copies of 32 pages, 6 data pages, the rest of the data's block
    // sealed (26 pages).
    EXPECT_EQ(programs(), 4u * 32u + 6u + 26u);
    EXPECT_EQ(readWhole("dev0:\\ALBUM\\SECOND.JPG"), data);
}

// As the kestrel tool puts a file: the pre-extension exchanges the blocks
// of the file's clusters for erased ones (3 erases), and the host file's
// time is given before the close, which writes it with the size: the two
// FAT copies and the directory at the create, the directory at the close.
TEST_F(SmallFilePutTest, AsTheToolPutsItTakesFourBlockCopies) {
    uint32_t handle = 0;
    const auto data = patternBytes(3000, 2);
    ASSERT_EQ(op([&] { return fs().createFile("dev0:\\ALBUM\\SECOND.JPG", 0, &handle); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().fileExtend(handle, 3000); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().writeFile(handle, data.data(), 2048); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().writeFile(handle, data.data() + 2048, 3000 - 2048); }), FS_OK);
    uint8_t stat[20] = {};
    stat[12] = 0xE8;  // 2024
    stat[13] = 0x07;
    stat[14] = 5;
    stat[15] = 17;
    stat[16] = 9;
    ASSERT_EQ(op([&] { return fs().setFileTime(handle, stat); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
    std::printf("kestrel-style small-file put, time given before the close: %llu block erases, %llu page programs\n",
                static_cast<unsigned long long>(erases()), static_cast<unsigned long long>(programs()));
    EXPECT_EQ(erases(), 2u * 4u + 3u);
    EXPECT_EQ(readWhole("dev0:\\ALBUM\\SECOND.JPG"), data);
    uint8_t got[20] = {};
    ASSERT_EQ(fs().readStat("dev0:\\ALBUM\\SECOND.JPG", got), FS_OK);
    EXPECT_EQ(got[16], 9);
}

// The time set by an operation of its own after the close (as the update
// tool does) costs one more directory copy.
TEST_F(SmallFilePutTest, SettingTheTimeAfterTheCloseTakesAFifthBlockCopy) {
    toolPut("dev0:\\ALBUM\\SECOND.JPG", patternBytes(3000, 2));
    std::printf("kestrel-style small-file put: %llu block erases, %llu page programs\n",
                static_cast<unsigned long long>(erases()), static_cast<unsigned long long>(programs()));
    EXPECT_EQ(erases(), 2u * 5u + 3u);
    EXPECT_EQ(readWhole("dev0:\\ALBUM\\SECOND.JPG"), patternBytes(3000, 2));
}

// The FAT store against copies that differ from the image: on a 2 MB card
// (FAT12, 8-sector blocks) whose FAT copies share erase blocks.
class FatStoreTest : public FsTest {
protected:
    void SetUp() override {
        makeCard(2);
        writeFile("dev0:\\A.TXT", patternBytes(5000, 1));
    }
    std::vector<uint8_t> fatSector(uint32_t copy, uint32_t s) {
        return sector(fs().volume().fatStart + copy * fs().volume().sectorsPerFat + s);
    }
    // Every sector of every copy as in copy 0.
    void expectCopiesAlike() {
        const uint32_t perFat = fs().volume().sectorsPerFat;
        ASSERT_GT(perFat, 0u);
        for (uint32_t copy = 1; copy < fs().volume().boot.fatCount; ++copy) {
            for (uint32_t s = 0; s < perFat; ++s) ASSERT_EQ(fatSector(copy, s), fatSector(0, s)) << copy << " " << s;
        }
    }
    // The session ends; the next operation mounts afresh.
    void remount() { ASSERT_EQ(fs().init(), FS_OK); }
};

TEST_F(FatStoreTest, AStoreWithNothingChangedWritesNothing) {
    const sim::SimCounters before = card().counters();
    ASSERT_EQ(fs().fat().store(), FS_OK);
    EXPECT_EQ(card().counters().pagePrograms, before.pagePrograms);
    EXPECT_EQ(card().counters().blockErases, before.blockErases);
    remount();
    uint32_t size = 0;
    ASSERT_EQ(fs().getSizeFile("dev0:\\A.TXT", &size), FS_OK);
    const sim::SimCounters mounted = card().counters();
    ASSERT_EQ(fs().fat().store(), FS_OK);  // the first store of a session
    EXPECT_EQ(card().counters().pagePrograms, mounted.pagePrograms);
}

// The second copy holds something else than the first (a store cut off
// between them, an edit elsewhere): the first store of the next session
// brings it to the image, although only the first copy was read to load.
TEST_F(FatStoreTest, ACopyThatDiffersFromTheImageIsRewritten) {
    const uint32_t last = fs().volume().sectorsPerFat - 1;
    std::vector<uint8_t> stale = fatSector(1, 0);
    stale[10] ^= 0x5A;
    overwriteSector(fs().volume().fatStart + fs().volume().sectorsPerFat, stale);
    overwriteSector(fs().volume().fatStart + fs().volume().sectorsPerFat + last, std::vector<uint8_t>(512, 0x33));
    remount();
    writeFile("dev0:\\B.TXT", patternBytes(100, 2));
    expectCopiesAlike();
    EXPECT_TRUE(cardPassesFsck());
}

// The first copy is unusable (the mount loads the second): the store
// rewrites it whole.
TEST_F(FatStoreTest, AnUnusableFirstCopyIsRewrittenFromTheSecond) {
    overwriteSector(fs().volume().fatStart, std::vector<uint8_t>(512, 0));
    remount();
    writeFile("dev0:\\B.TXT", patternBytes(100, 2));
    expectCopiesAlike();
    EXPECT_EQ(readWhole("dev0:\\A.TXT"), patternBytes(5000, 1));
    EXPECT_TRUE(cardPassesFsck());
}

// One change in the FAT: one block copy per FAT copy at most, whatever the
// number of sectors per FAT.
TEST_F(FatStoreTest, OneChangedEntryCostsOneCopyPerFatBlock) {
    const sim::SimCounters before = card().counters();
    fs().volume().fat.set(200, FAT_END);
    ASSERT_EQ(fs().fat().store(), FS_OK);
    EXPECT_LE(card().counters().blockErases - before.blockErases, 2u * fs().volume().boot.fatCount);
    expectCopiesAlike();
    remount();
    uint32_t size = 0;
    ASSERT_EQ(fs().getSizeFile("dev0:\\A.TXT", &size), FS_OK);
    EXPECT_EQ(fs().volume().fat.get(200), FAT_END);
}

// Inside a batch, reads see what was gathered, and several writes into one
// block reach the card as one block copy when the batch ends.
TEST_F(FatStoreTest, ABatchGathersWritesIntoOneBlockAndReadsSeeThem) {
    const uint32_t k = geometry().sectorsPerBlock;
    const uint32_t block = (fs().volume().dataStart + k - 1) / k + 2;  // a data block holding nothing
    std::vector<uint8_t> first(512, 0x11), second(300, 0x22);
    ASSERT_EQ(fs().clusters().writeInBlock(block, 0, first.data(), 512), FS_OK);  // written outside a batch
    const sim::SimCounters before = card().counters();
    {
        WriteBatch batch(fs().clusters());
        ASSERT_EQ(fs().clusters().writeInBlock(block, 100, second.data(), 300), FS_OK);
        ASSERT_EQ(fs().clusters().writeInBlock(block, 3 * 512, second.data(), 300), FS_OK);
        ASSERT_EQ(fs().clusters().writeInBlock(block, 7 * 512 + 400, second.data(), 100), FS_OK);
        EXPECT_EQ(card().counters().pagePrograms, before.pagePrograms);  // nothing on the card yet
        std::vector<uint8_t> seen(512);
        ASSERT_EQ(card().maps().smReadLogBlock(0, block, 0, seen.data(), 512), 0u);
        EXPECT_EQ(seen, first);
        ASSERT_EQ(fs().clusters().read(2u + (block * k - fs().volume().dataStart) / fs().volume().boot.sectorsPerCluster,
                                       (block * k - fs().volume().dataStart) % fs().volume().boot.sectorsPerCluster * 512,
                                       seen.data(), 512),
                  FS_OK);
        EXPECT_TRUE(std::equal(seen.begin(), seen.begin() + 100, first.begin()));
        EXPECT_TRUE(std::equal(seen.begin() + 100, seen.begin() + 400, second.begin()));
        EXPECT_TRUE(std::equal(seen.begin() + 400, seen.end(), first.begin() + 400));
        ASSERT_EQ(batch.finish(FS_OK), FS_OK);
    }
    EXPECT_EQ(card().counters().blockErases - before.blockErases, 2u);
    std::vector<uint8_t> expected(size_t{k} * 512, 0xFF);
    std::copy(first.begin(), first.end(), expected.begin());
    std::fill_n(expected.begin() + 100, 300, 0x22);
    std::fill_n(expected.begin() + 3 * 512, 300, 0x22);
    std::fill_n(expected.begin() + 7 * 512 + 400, 100, 0x22);
    for (uint32_t i = 0; i < k; ++i) {
        const auto got = sector(block * k + i);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + i * 512)) << "sector " << i;
    }
}

}  // namespace
}  // namespace kestrel::fatfs::test
