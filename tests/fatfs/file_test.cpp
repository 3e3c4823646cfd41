// Open files: create, write through the one-sector buffer and directly,
// read back (also bytes still buffered), seek, close with truncation,
// pre-extension, instances, removal, move and stat records.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"

namespace kestrel::fatfs::test {
namespace {

class FileTest : public FsTest {
protected:
    uint32_t create(const std::string& path) {
        uint32_t handle = 0;
        EXPECT_EQ(fs().createFile(path, 0, &handle), FS_OK) << path;
        return handle;
    }
    std::vector<uint8_t> stat(const std::string& path) {
        std::vector<uint8_t> record(20, 0xEE);
        EXPECT_EQ(fs().readStat(path, record.data()), FS_OK) << path;
        return record;
    }
    uint32_t chainLength(uint32_t first) {
        uint32_t length = 1;
        for (uint32_t c = fs().volume().fat.get(first); c != FAT_END && length < 1000; c = fs().volume().fat.get(c)) {
            ++length;
        }
        return length;
    }
    uint32_t clusterBytes() const { return fs_->volume().clusterBytes(); }
};

TEST_F(FileTest, SmallFileGetsSizeOneClusterAndTheCloseTime) {
    const uint32_t handle = create("dev0:\\TEN.TXT");
    const auto data = bytesOf("0123456789");
    ASSERT_EQ(fs().writeFile(handle, data.data(), 10), FS_OK);
    now_ = {2025, 12, 31, 23, 58, 46};
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    const auto record = stat("dev0:\\TEN.TXT");
    EXPECT_EQ(loadLe32(&record[0]), ATTR_ARCHIVE);
    EXPECT_EQ(loadLe32(&record[8]), 10u);
    EXPECT_EQ(chainLength(loadLe32(&record[4])), 1u);
    EXPECT_EQ(loadLe16(&record[12]), 2025);
    EXPECT_EQ(record[14], 12);
    EXPECT_EQ(record[15], 31);
    EXPECT_EQ(record[16], 23);
    EXPECT_EQ(record[17], 58);
    EXPECT_EQ(record[18], 23);  // two-second count
    EXPECT_EQ(record[19], 0);
    EXPECT_EQ(readWhole("dev0:\\TEN.TXT"), data);
    EXPECT_EQ(fs().closeFile(handle), FS_NOT_OPEN);
}

TEST_F(FileTest, BufferedBytesAreReadBackBeforeTheyReachTheCard) {
    const uint32_t handle = create("dev0:\\BUF.TXT");
    const auto first = patternBytes(700, 1);   // direct
    const auto second = patternBytes(100, 2);  // buffered
    ASSERT_EQ(fs().writeFile(handle, first.data(), 700), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, second.data(), 100), FS_OK);
    uint32_t previous = 0, delivered = 0;
    ASSERT_EQ(fs().seekFile(handle, 1, 650, &previous), FS_OK);
    EXPECT_EQ(previous, 800u);
    std::vector<uint8_t> back(200);
    EXPECT_EQ(fs().readFile(handle, back.data(), 200, &delivered), FS_END);
    EXPECT_EQ(delivered, 150u);
    std::vector<uint8_t> expected(first.begin() + 650, first.end());
    expected.insert(expected.end(), second.begin(), second.end());
    back.resize(delivered);
    EXPECT_EQ(back, expected);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    auto whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_EQ(readWhole("dev0:\\BUF.TXT"), whole);
}

TEST_F(FileTest, BufferedBytesBeyondTheAllocatedClustersAreReadFromTheBuffer) {
    const uint32_t handle = create("dev0:\\EDGE.BIN");
    const auto full = patternBytes(2 * clusterBytes(), 20);  // direct: ends on a cluster boundary
    const auto tail = patternBytes(100, 21);                  // buffered, behind the last cluster
    ASSERT_EQ(fs().writeFile(handle, full.data(), static_cast<uint32_t>(full.size())), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, tail.data(), 100), FS_OK);
    uint32_t previous = 0, delivered = 0;
    ASSERT_EQ(fs().seekFile(handle, 1, static_cast<int32_t>(full.size()) - 50, &previous), FS_OK);
    std::vector<uint8_t> back(150);
    ASSERT_EQ(fs().readFile(handle, back.data(), 150, &delivered), FS_OK);
    std::vector<uint8_t> expected(full.end() - 50, full.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(back, expected);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    auto whole = full;
    whole.insert(whole.end(), tail.begin(), tail.end());
    EXPECT_EQ(readWhole("dev0:\\EDGE.BIN"), whole);
}

TEST_F(FileTest, ManySmallWritesAcrossClusters) {
    const uint32_t handle = create("dev0:\\SMALL.BIN");
    std::vector<uint8_t> all;
    for (uint32_t i = 0; i < 300; ++i) {
        const auto piece = patternBytes(37 + i % 50, i);
        all.insert(all.end(), piece.begin(), piece.end());
        ASSERT_EQ(fs().writeFile(handle, piece.data(), static_cast<uint32_t>(piece.size())), FS_OK) << i;
    }
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\SMALL.BIN"), all);
    uint32_t size = 0;
    ASSERT_EQ(fs().getSizeFile("dev0:\\SMALL.BIN", &size), FS_OK);
    EXPECT_EQ(chainLength(stat("dev0:\\SMALL.BIN")[4] | (stat("dev0:\\SMALL.BIN")[5] << 8)),
              (size + clusterBytes() - 1) / clusterBytes());
}

TEST_F(FileTest, SeekToTheSecondClusterWritesThere) {
    const uint32_t handle = create("dev0:\\TWO.BIN");
    const auto data = patternBytes(2 * clusterBytes(), 4);
    ASSERT_EQ(fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), FS_OK);
    uint32_t previous = 0;
    ASSERT_EQ(fs().seekFile(handle, 1, static_cast<int32_t>(clusterBytes()), &previous), FS_OK);
    const uint8_t x = 0x5C;
    ASSERT_EQ(fs().writeFile(handle, &x, 1), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    auto expected = data;
    expected[clusterBytes()] = x;
    EXPECT_EQ(readWhole("dev0:\\TWO.BIN"), expected);
}

TEST_F(FileTest, SeekClampsAndChecksItsOrigin) {
    writeFile("dev0:\\S.BIN", patternBytes(1000, 5));
    uint32_t handle = 0, previous = 0, delivered = 9;
    ASSERT_EQ(fs().openFile("dev0:\\S.BIN", 1, &handle), FS_OK);
    ASSERT_EQ(fs().seekFile(handle, 2, 5, &previous), FS_OK);
    uint8_t byte = 0;
    EXPECT_EQ(fs().readFile(handle, &byte, 1, &delivered), FS_END);
    EXPECT_EQ(delivered, 0u);
    ASSERT_EQ(fs().seekFile(handle, 0, -5000, &previous), FS_OK);
    EXPECT_EQ(previous, 1000u);
    ASSERT_EQ(fs().seekFile(handle, 0, 10, &previous), FS_OK);
    EXPECT_EQ(previous, 0u);
    ASSERT_EQ(fs().readFile(handle, &byte, 1, &delivered), FS_OK);
    EXPECT_EQ(byte, patternBytes(1000, 5)[10]);
    EXPECT_EQ(fs().seekFile(handle, 3, 0, &previous), FS_INVALID);
    EXPECT_EQ(fs().writeFile(handle, &byte, 1), FS_READ_ONLY);
    EXPECT_EQ(fs().closeFile(handle), FS_OK);
}

TEST_F(FileTest, InstancesAndTheOpenFileLimit) {
    writeFile("dev0:\\ONE.TXT", bytesOf("one"));
    std::vector<uint32_t> handles;
    for (int i = 0; i < 10; ++i) {
        uint32_t handle = 0;
        ASSERT_EQ(fs().openFile("dev0:\\ONE.TXT", 1, &handle), FS_OK);
        EXPECT_EQ((handle >> 16) & 0xFF, static_cast<uint32_t>(i));
        handles.push_back(handle);
    }
    uint32_t handle = 0;
    EXPECT_EQ(fs().openFile("dev0:\\ONE.TXT", 1, &handle), FS_TOO_MANY_INSTANCES);
    ASSERT_EQ(fs().closeFile(handles[4]), FS_OK);
    ASSERT_EQ(fs().openFile("dev0:\\ONE.TXT", 1, &handle), FS_OK);
    EXPECT_EQ((handle >> 16) & 0xFF, 4u);
    // Bit 31 is ignored; other volume bits are not.
    uint32_t delivered = 0;
    uint8_t text[3];
    EXPECT_EQ(fs().readFile(handle | 0x80000000u, text, 3, &delivered), FS_OK);
    EXPECT_EQ(fs().readFile(handle | 0x01000000u, text, 3, &delivered), FS_INVALID);
    EXPECT_EQ(fs().createFile("dev0:\\OTHER.TXT", 0, &handle), FS_TOO_MANY_FILES);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"ONE.TXT"}));
    // A mount forgets every open file.
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(fs().closeFile(handles[0]), FS_NOT_OPEN);
}

TEST_F(FileTest, CreateOverExistingNames) {
    writeFile("dev0:\\OLD.BIN", patternBytes(3 * clusterBytes(), 6));
    const uint32_t freeWithOld = freeClusters();
    uint32_t handle = 0;
    EXPECT_EQ(fs().createFile("dev0:\\OLD.BIN", 0, &handle), FS_EXISTS);
    ASSERT_EQ(fs().createFile("dev0:\\OLD.BIN", 1, &handle), FS_OK);
    EXPECT_EQ(freeClusters(), freeWithOld + 3 - 1);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\OLD.BIN"), std::vector<uint8_t>{});
    // Removing an empty file frees its one cluster too.
    ASSERT_EQ(fs().removeFile("dev0:\\OLD.BIN"), FS_OK);
    EXPECT_EQ(freeClusters(), freeWithOld + 3);
    EXPECT_EQ(fs().removeFile("dev0:\\OLD.BIN"), FS_NOT_FOUND);
}

TEST_F(FileTest, ExtendedFileIsWrittenWithoutBlockCopies) {
    const uint32_t total = 5 * clusterBytes() + 1234;
    const auto data = patternBytes(total, 7);
    uint32_t handle = create("dev0:\\FW.BIN");
    ASSERT_EQ(fs().fileExtend(handle, total), FS_OK);
    const uint32_t first = handle & 0xFFFF;
    EXPECT_EQ(chainLength(first), 1 + 6u);  // the first cluster and six more
    const uint64_t erasesBefore = card().counters().blockErases;
    for (uint32_t at = 0; at < total; at += 2048) {
        const uint32_t piece = std::min<uint32_t>(2048, total - at);
        ASSERT_EQ(fs().writeFile(handle, data.data() + at, piece), FS_OK) << at;
    }
    EXPECT_EQ(card().counters().blockErases, erasesBefore);  // programmed in place
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(chainLength(first), 6u);  // the surplus cluster is freed at close
    EXPECT_EQ(readWhole("dev0:\\FW.BIN"), data);
    // Extending a file that holds data keeps its chain and data.
    ASSERT_EQ(fs().openFile("dev0:\\FW.BIN", 3, &handle), FS_OK);
    ASSERT_EQ(fs().fileExtend(handle, 3 * clusterBytes()), FS_OK);
    uint32_t previous = 0;
    ASSERT_EQ(fs().seekFile(handle, 2, 0, &previous), FS_OK);
    const auto more = patternBytes(3000, 8);
    ASSERT_EQ(fs().writeFile(handle, more.data(), 3000), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    auto expected = data;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(readWhole("dev0:\\FW.BIN"), expected);
}

TEST_F(FileTest, DiskFullIsReported) {
    makeCard(1);
    const uint32_t handle = create("dev0:\\HUGE.BIN");
    const auto chunk = patternBytes(32768, 9);
    uint32_t result = FS_OK;
    for (int i = 0; i < 64 && result == FS_OK; ++i) result = fs().writeFile(handle, chunk.data(), 32768);
    EXPECT_EQ(result, FS_DISK_FULL);
}

TEST_F(FileTest, MovingFilesAndDirectories) {
    writeFile("dev0:\\A.TXT", bytesOf("a"));
    ASSERT_EQ(fs().createDir("dev0:\\D"), FS_OK);
    EXPECT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\A.TXT"), FS_OK);
    EXPECT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\NODIR\\A.TXT"), FS_MOVE_NOT_FOUND);
    EXPECT_EQ(fs().moveFile("dev0:\\NONE.TXT", "dev0:\\D\\A.TXT"), FS_MOVE_NOT_FOUND);
    writeFile("dev0:\\D\\TAKEN.TXT", bytesOf("t"));
    EXPECT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\D\\TAKEN.TXT"), FS_EXISTS);
    ASSERT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\D\\B.TXT"), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\D\\B.TXT"), bytesOf("a"));
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"D"}));
    EXPECT_EQ(fs().moveFile("dev0:\\D", "dev0:\\D\\INSIDE"), FS_INVALID);  // would cut it off
    ASSERT_EQ(fs().createDir("dev0:\\E"), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\D", "dev0:\\E\\D2"), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\E\\D2\\B.TXT"), bytesOf("a"));
    EXPECT_EQ(fs().moveFile("dev0:\\E\\D2\\B.TXT", "dev1:\\B.TXT"), FS_INVALID);
}

TEST_F(FileTest, DirectoriesAreNeitherReplacedNorRemovedAsFiles) {
    ASSERT_EQ(fs().createDir("dev0:\\D"), FS_OK);
    writeFile("dev0:\\D\\IN.TXT", bytesOf("inside"));
    uint32_t handle = 0;
    EXPECT_EQ(fs().createFile("dev0:\\D", 1, &handle), FS_EXISTS);
    EXPECT_EQ(fs().removeFile("dev0:\\D"), FS_INVALID);
    EXPECT_EQ(readWhole("dev0:\\D\\IN.TXT"), bytesOf("inside"));
}

TEST_F(FileTest, RemovingAnOpenFileClosesItsHandles) {
    uint32_t handle = create("dev0:\\GONE.BIN");
    const auto data = patternBytes(700, 13);
    ASSERT_EQ(fs().writeFile(handle, data.data(), 700), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, data.data(), 100), FS_OK);  // buffered
    ASSERT_EQ(fs().removeFile("dev0:\\GONE.BIN"), FS_OK);
    writeFile("dev0:\\NEW.BIN", patternBytes(900, 14));  // takes the freed cluster
    EXPECT_EQ(fs().writeFile(handle, data.data(), 100), FS_NOT_OPEN);
    EXPECT_EQ(fs().closeFile(handle), FS_NOT_OPEN);
    EXPECT_EQ(readWhole("dev0:\\NEW.BIN"), patternBytes(900, 14));
}

TEST_F(FileTest, MovedEntriesLeaveNothingBehind) {
    writeFile("dev0:\\LONG.TXT", bytesOf("l"));
    const std::u16string name = u"a long file name.txt";
    std::vector<uint16_t> longName(name.begin(), name.end());
    longName.push_back(0);
    ASSERT_EQ(fs().setLongName("dev0:\\LONG.TXT", longName.data()), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\LONG.TXT", "dev0:\\DIR\\LONG.TXT"), FS_OK);
    // No live long-name entry stays in the root.
    const RegionStart root = fs().clusters().rootStart();
    std::vector<uint8_t> region(256 * 32);
    ASSERT_EQ(fs().clusters().read(root.cluster, root.offset, region.data(), 256 * 32), FS_OK);
    for (size_t at = 0; at < region.size(); at += 32) {
        if (region[at] != 0 && region[at] != 0xE5) {
            EXPECT_NE(region[at + 11] & 0x0F, 0x0F) << at;
        }
    }
    // A moved directory's ".." names its new parent.
    ASSERT_EQ(fs().createDir("dev0:\\NEWHOME"), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\DIR", "dev0:\\NEWHOME\\DIR"), FS_OK);
    std::vector<uint8_t> records(2 * 116);
    uint32_t delivered = 0;
    ASSERT_EQ(fs().readDirEx("dev0:\\NEWHOME", 0, 1, records.data(), &delivered), FS_OK);
    const uint32_t newHome = loadLe32(&records[96 + 4]);
    ASSERT_EQ(fs().readDirEx("dev0:\\NEWHOME\\DIR", 0, 2, records.data(), &delivered), FS_OK);
    EXPECT_EQ(loadLe32(&records[116 + 96 + 4]), newHome);
    EXPECT_EQ(readWhole("dev0:\\NEWHOME\\DIR\\LONG.TXT"), bytesOf("l"));
}

TEST_F(FileTest, EmptyFilesOwnNoClusterOnTheCard) {
    const uint32_t freeBefore = freeClusters();
    writeFile("dev0:\\EMPTY.TXT", {});
    EXPECT_EQ(freeClusters(), freeBefore);
    EXPECT_EQ(loadLe32(&stat("dev0:\\EMPTY.TXT")[4]), 0u);
    // Opened for writing, it gets a cluster again and takes data.
    uint32_t handle = 0;
    ASSERT_EQ(fs().openFile("dev0:\\EMPTY.TXT", 3, &handle), FS_OK);
    EXPECT_EQ(freeClusters(), freeBefore - 1);
    const auto data = bytesOf("no longer empty");
    ASSERT_EQ(fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\EMPTY.TXT"), data);
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\EMPTY.TXT"), data);
}

TEST_F(FileTest, StatRecordsOfFilesAndTheRoot) {
    writeFile("dev0:\\ST.TXT", bytesOf("stat"));
    auto record = stat("dev0:\\ST.TXT");
    record[0] = 0x21;  // read-only | archive
    storeLe16(&record[12], 2001);
    record[14] = 2;
    record[15] = 3;
    record[16] = 4;
    record[17] = 5;
    record[18] = 59;
    ASSERT_EQ(fs().writeStat("dev0:\\ST.TXT", record.data()), FS_OK);
    const auto back = stat("dev0:\\ST.TXT");
    EXPECT_EQ(back[0], 0x21);
    EXPECT_EQ(loadLe16(&back[12]), 2001);
    EXPECT_EQ(back[14], 2);
    EXPECT_EQ(back[15], 3);
    EXPECT_EQ(back[16], 4);
    EXPECT_EQ(back[17], 5);
    EXPECT_EQ(back[18], 29);
    EXPECT_EQ(loadLe32(&back[8]), 4u);  // size untouched
    storeLe16(&record[12], 1975);
    ASSERT_EQ(fs().writeStat("dev0:\\ST.TXT", record.data()), FS_OK);
    EXPECT_EQ(loadLe16(&stat("dev0:\\ST.TXT")[12]), 1980);
    std::vector<uint8_t> root(20);
    EXPECT_EQ(fs().readStat("dev0:\\", root.data()), FS_ROOT_STAT);
    EXPECT_EQ(fs().writeStat("dev0:\\", root.data()), FS_ROOT_STAT);
    EXPECT_EQ(fs().readStat("dev0:\\NO.TXT", root.data()), FS_NOT_FOUND);
}

TEST_F(FileTest, CallbackSlots) {
    int anything = 0;
    EXPECT_EQ(fs().registerCallBack(0, 0, &anything), FS_OK);
    EXPECT_EQ(fs().registerCallBack(5, 1, &anything), FS_OK);
    EXPECT_EQ(fs().registerCallBack(0, 2, &anything), FS_INVALID);
    EXPECT_EQ(fs().unregisterCallBack(0, 1), FS_OK);
    EXPECT_EQ(fs().unregisterCallBack(0, 2), FS_INVALID);
}

TEST_F(FileTest, EverythingSurvivesARemountAndARescan) {
    ASSERT_EQ(fs().createDir("dev0:\\FW"), FS_OK);
    writeFile("dev0:\\FW\\L1_1.BIN", patternBytes(20000, 10));
    writeFile("dev0:\\FW\\L2_1.MI", patternBytes(300, 11));
    writeFile("dev0:\\FPGA.BIR", patternBytes(9000, 12));
    card().maps().smFreeMaps();
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\FW\\L1_1.BIN"), patternBytes(20000, 10));
    EXPECT_EQ(readWhole("dev0:\\FW\\L2_1.MI"), patternBytes(300, 11));
    EXPECT_EQ(readWhole("dev0:\\FPGA.BIR"), patternBytes(9000, 12));
}

}  // namespace
}  // namespace kestrel::fatfs::test
