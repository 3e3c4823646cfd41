// Callers' mistakes and cut-off writes: every refused operation leaves the
// card as it was, every one that succeeds leaves a card fsck.fat calls
// clean, and an open file closes into its own entry whatever happened to
// the directory meanwhile.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"

#include <string>

namespace kestrel::fatfs::test {
namespace {

class MisuseTest : public FsTest {
protected:
    uint32_t create(const std::string& path) {
        uint32_t handle = 0;
        EXPECT_EQ(fs().createFile(path, 0, &handle), FS_OK) << path;
        return handle;
    }
    uint32_t firstClusterOf(const std::string& path) {
        std::vector<uint8_t> record(STAT_RECORD);
        EXPECT_EQ(fs().readStat(path, record.data()), FS_OK) << path;
        return loadLe32(&record[4]);
    }
    uint32_t attributesOf(const std::string& path) {
        std::vector<uint8_t> record(STAT_RECORD);
        EXPECT_EQ(fs().readStat(path, record.data()), FS_OK) << path;
        return loadLe32(&record[0]);
    }
    uint32_t writeStatAttributes(const std::string& path, uint32_t attributes) {
        std::vector<uint8_t> record(STAT_RECORD);
        EXPECT_EQ(fs().readStat(path, record.data()), FS_OK) << path;
        storeLe32(&record[0], attributes);
        return fs().writeStat(path, record.data());
    }
    // The entry of cluster `c` in the card's first FAT copy (FAT12).
    uint32_t cardFatEntry(uint32_t c) {
        const uint32_t byte = c * 3 / 2;
        const auto first = sector(fs().volume().fatStart + byte / 512);
        const auto second = sector(fs().volume().fatStart + (byte + 1) / 512);
        const uint32_t pair = first[byte % 512] | (second[(byte + 1) % 512] << 8);
        return (c & 1) ? pair >> 4 : pair & 0xFFF;
    }
    std::u16string longNameOf(const std::string& directory, uint32_t index) {
        std::vector<uint8_t> record(DIR_RECORD);
        uint32_t delivered = 0;
        EXPECT_EQ(fs().readDirEx(directory, index, 1, record.data(), &delivered), FS_OK);
        std::u16string name;
        for (size_t at = 16; at < 96 && (record[at] | record[at + 1]); at += 2) {
            name += static_cast<char16_t>(record[at] | (record[at + 1] << 8));
        }
        return name;
    }
    static std::vector<uint16_t> utf16(const std::string& text) {
        std::vector<uint16_t> out(text.begin(), text.end());
        out.push_back(0);
        return out;
    }
    uint32_t clusterBytes() const { return fs_->volume().clusterBytes(); }
    // A subdirectory of one cluster holds 128 entries: filled up to `used`
    // entries ("." and ".." included) with empty files.
    void fillDirectory(const std::string& directory, uint32_t used) {
        ASSERT_EQ(fs().createDir(directory), FS_OK);
        for (uint32_t i = 2; i < used; ++i) {
            uint32_t handle = 0;
            ASSERT_EQ(fs().createFile(directory + "\\E" + std::to_string(i), 0, &handle), FS_OK);
            ASSERT_EQ(fs().closeFile(handle), FS_OK);
        }
    }
    // A file that takes every cluster still free.
    void fillCard(const std::string& path) {
        const uint32_t handle = create(path);
        const auto piece = patternBytes(clusterBytes(), 9);
        uint32_t result = FS_OK;
        for (uint32_t n = 0; n < fs().volume().fat.count() && result == FS_OK; ++n) {
            result = fs().writeFile(handle, piece.data(), clusterBytes());
        }
        EXPECT_EQ(result, FS_DISK_FULL);
        ASSERT_EQ(fs().closeFile(handle), FS_OK);
        ASSERT_EQ(fs().fat().findFree(), 0u);
    }
};

// A card left by a write that was cut off: U.BIN's entry names a cluster
// its FAT calls free. The next file must neither get that cluster nor
// close into U.BIN's entry.
TEST_F(MisuseTest, EntryNamingAFreeClusterNeverSharesItWithTheNextFile) {
    const auto old = patternBytes(100, 1);
    writeFile("dev0:\\U.BIN", old);
    const uint32_t stale = firstClusterOf("dev0:\\U.BIN");
    fs().volume().fat.set(stale, FAT_FREE);
    ASSERT_EQ(fs().fat().store(), FS_OK);
    ASSERT_EQ(fs().init(), FS_OK);

    const auto data = patternBytes(3 * clusterBytes() + 17, 2);
    writeFile("dev0:\\V.BIN", data);
    EXPECT_NE(firstClusterOf("dev0:\\V.BIN"), stale);
    EXPECT_EQ(readWhole("dev0:\\V.BIN"), data);
    EXPECT_EQ(readWhole("dev0:\\U.BIN"), old);  // its one cluster holds what it had
    ASSERT_EQ(fs().removeFile("dev0:\\U.BIN"), FS_OK);
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\V.BIN"), data);
    EXPECT_TRUE(cardPassesFsck());
}

// The device unplugged while a file is written: the records go, the FAT
// image with them. The create took its first cluster on the card before the
// entry named it, so the entry never names a free cluster (cards written
// otherwise are the test above).
TEST_F(MisuseTest, InterruptedWriteLeavesNoClusterToBeHandedOutTwice) {
    const uint32_t handle = create("dev0:\\U.BIN");
    const auto partial = patternBytes(2 * clusterBytes(), 3);
    ASSERT_EQ(fs().writeFile(handle, partial.data(), static_cast<uint32_t>(partial.size())), FS_OK);
    const uint32_t first = FileHandle::decode(handle).firstCluster;
    ASSERT_EQ(fs().init(), FS_OK);  // unplugged: nothing more reaches the card
    ASSERT_EQ(cardFatEntry(first), 0xFFFu);

    const auto data = patternBytes(clusterBytes() + 5, 4);
    writeFile("dev0:\\W.BIN", data);
    EXPECT_NE(firstClusterOf("dev0:\\W.BIN"), first);
    uint32_t size = 99;
    ASSERT_EQ(fs().getSizeFile("dev0:\\U.BIN", &size), FS_OK);
    EXPECT_EQ(size, 0u);
    ASSERT_EQ(fs().removeFile("dev0:\\U.BIN"), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\W.BIN"), data);
    EXPECT_TRUE(cardPassesFsck());
}

// Moves and renames move the entry; the open handle follows it and its
// data, buffered bytes included, is on the card after the close.
TEST_F(MisuseTest, OpenFileClosesIntoItsEntryAfterAMoveOrARename) {
    ASSERT_EQ(fs().createDir("dev0:\\SUB"), FS_OK);
    const auto direct = patternBytes(1000, 5);
    const auto buffered = patternBytes(30, 6);
    auto whole = direct;
    whole.insert(whole.end(), buffered.begin(), buffered.end());

    uint32_t handle = create("dev0:\\A.TXT");
    ASSERT_EQ(fs().writeFile(handle, direct.data(), 1000), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\SUB\\B.TXT"), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, buffered.data(), 30), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\SUB\\B.TXT"), whole);

    // Renamed within its directory, then given a long name (which moves
    // the short entry behind the new long-name entries).
    handle = create("dev0:\\C.TXT");
    ASSERT_EQ(fs().writeFile(handle, direct.data(), 1000), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\C.TXT", "dev0:\\D.TXT"), FS_OK);
    ASSERT_EQ(fs().setLongName("dev0:\\D.TXT", utf16("A rather long name.txt").data()), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, buffered.data(), 30), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\D.TXT"), whole);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"SUB", "D.TXT"}));
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\SUB\\B.TXT"), whole);
    EXPECT_TRUE(cardPassesFsck());
}

// The moved or renamed entry lands in a cluster the directory gains on the
// way; the handle follows it there and the grown directory survives a
// remount.
TEST_F(MisuseTest, OpenFileFollowsItsEntryIntoAGrownDirectory) {
    const uint32_t perCluster = clusterBytes() / 32;
    fillDirectory("dev0:\\FULL", perCluster);
    fillDirectory("dev0:\\ALMOST", perCluster - 1);
    const auto data = patternBytes(clusterBytes() + 300, 11);

    uint32_t moved = create("dev0:\\A.BIN");
    ASSERT_EQ(fs().writeFile(moved, data.data(), 700), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\A.BIN", "dev0:\\FULL\\B.BIN"), FS_OK);
    ASSERT_EQ(fs().writeFile(moved, data.data() + 700, static_cast<uint32_t>(data.size()) - 700), FS_OK);

    // Three entries from the last slot on: two of them in a new cluster.
    uint32_t renamed = create("dev0:\\ALMOST\\C.BIN");
    ASSERT_EQ(fs().writeFile(renamed, data.data(), 100), FS_OK);
    ASSERT_EQ(fs().setLongName("dev0:\\ALMOST\\C.BIN", utf16("Fourteen chars").data()), FS_OK);
    ASSERT_EQ(fs().writeFile(renamed, data.data() + 100, 20), FS_OK);

    ASSERT_EQ(fs().closeFile(moved), FS_OK);
    ASSERT_EQ(fs().closeFile(renamed), FS_OK);
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\FULL\\B.BIN"), data);
    EXPECT_EQ(readWhole("dev0:\\ALMOST\\C.BIN"), std::vector<uint8_t>(data.begin(), data.begin() + 120));
    EXPECT_EQ(list("dev0:\\FULL").size(), perCluster + 1);
    EXPECT_EQ(list("dev0:\\FULL").back(), "B.BIN");
    EXPECT_EQ(list("dev0:\\ALMOST").back(), "C.BIN");
    EXPECT_EQ(longNameOf("dev0:\\ALMOST", perCluster - 1), u"Fourteen chars");
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, DirectoriesAndLabelsAreNotOpenedForWriting) {
    ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
    writeFile("dev0:\\DIR\\IN.TXT", bytesOf("inside"));
    const auto before = cardBytes();
    uint32_t handle = 0;
    EXPECT_EQ(fs().openFile("dev0:\\DIR", 2, &handle), FS_INVALID);
    EXPECT_EQ(fs().openFile("dev0:\\DIR", 3, &handle), FS_INVALID);
    EXPECT_EQ(fs().openFile("dev0:\\DIR\\.", 2, &handle), FS_INVALID);
    EXPECT_EQ(fs().openFile("dev0:\\DIR\\..", 2, &handle), FS_INVALID);
    EXPECT_EQ(fs().openFiles().size(), 0u);
    EXPECT_EQ(cardBytes(), before);
    // Reading is harmless and stays allowed.
    ASSERT_EQ(fs().openFile("dev0:\\DIR", 1, &handle), FS_OK);
    EXPECT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\DIR\\IN.TXT"), bytesOf("inside"));
}

TEST_F(MisuseTest, PathsThroughFilesAreRefused) {
    const auto data = patternBytes(700, 7);
    writeFile("dev0:\\DATA.BIN", data);
    writeFile("dev0:\\EMPTY.BIN", {});  // first cluster 0: would lead to the root
    const auto before = cardBytes();
    uint32_t handle = 0, count = 0;
    for (const char* through : {"dev0:\\DATA.BIN\\X.TXT", "dev0:\\EMPTY.BIN\\X.TXT", "dev0:\\NODIR\\X.TXT"}) {
        EXPECT_EQ(fs().createFile(through, 1, &handle), FS_NOT_FOUND) << through;
        EXPECT_EQ(fs().createDir(through), FS_NOT_FOUND) << through;
        EXPECT_EQ(fs().openFile(through, 1, &handle), FS_NOT_FOUND) << through;
    }
    EXPECT_EQ(fs().getListNumDir("dev0:\\DATA.BIN\\", &count), FS_NOT_FOUND);
    EXPECT_EQ(fs().moveFile("dev0:\\DATA.BIN", "dev0:\\EMPTY.BIN\\DATA.BIN"), FS_MOVE_NOT_FOUND);
    EXPECT_EQ(cardBytes(), before);
    EXPECT_EQ(readWhole("dev0:\\DATA.BIN"), data);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"DATA.BIN", "EMPTY.BIN"}));
}

TEST_F(MisuseTest, DirectoryCannotMoveIntoItsOwnTreeHoweverThePathIsSpelt) {
    ASSERT_EQ(fs().createDir("dev0:\\A"), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\A\\B"), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\X"), FS_OK);
    writeFile("dev0:\\A\\B\\F.TXT", bytesOf("deep"));
    const auto before = cardBytes();
    EXPECT_EQ(fs().moveFile("dev0:\\A", "dev0:\\A\\N"), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\A", "dev0:\\X\\..\\A\\B\\N"), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\A\\", "dev0:\\A\\B\\N"), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\a", "dev0:\\a\\b\\N"), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\A\\B", "dev0:\\A\\B\\.\\N"), FS_INVALID);
    EXPECT_EQ(cardBytes(), before);
    // Through the tree and out again is no move into it.
    ASSERT_EQ(fs().moveFile("dev0:\\A\\B", "dev0:\\A\\..\\X\\B"), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\X\\B\\F.TXT"), bytesOf("deep"));
    EXPECT_EQ(list("dev0:\\A"), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, AnOverwriteThatFailsAtEachOfItsChecksLeavesTheOldFile) {
    const auto old = patternBytes(5000, 8);
    writeFile("dev0:\\OLD.TXT", old);
    ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
    uint32_t handle = 0;

    // Ten other files open: the open-file list is full.
    std::vector<uint32_t> handles;
    for (int i = 0; i < 10; ++i) handles.push_back(create("dev0:\\F" + std::to_string(i) + ".TXT"));
    auto before = cardBytes();
    EXPECT_EQ(fs().createFile("dev0:\\OLD.TXT", 1, &handle), FS_TOO_MANY_FILES);
    EXPECT_EQ(cardBytes(), before);
    for (uint32_t h : handles) ASSERT_EQ(fs().closeFile(h), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\OLD.TXT"), old);

    // Not asked to overwrite; a directory is never overwritten.
    before = cardBytes();
    EXPECT_EQ(fs().createFile("dev0:\\OLD.TXT", 0, &handle), FS_EXISTS);
    EXPECT_EQ(fs().createFile("dev0:\\DIR", 1, &handle), FS_EXISTS);
    EXPECT_EQ(cardBytes(), before);

    // A full card: an empty old file frees no cluster for the new one.
    writeFile("dev0:\\EMPTY.TXT", {});
    fillCard("dev0:\\FILL.BIN");
    before = cardBytes();
    EXPECT_EQ(fs().createFile("dev0:\\EMPTY.TXT", 1, &handle), FS_DISK_FULL);
    EXPECT_EQ(cardBytes(), before);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"OLD.TXT", "DIR", "F0.TXT", "F1.TXT", "F2.TXT", "F3.TXT",
                                                         "F4.TXT", "F5.TXT", "F6.TXT", "F7.TXT", "F8.TXT",
                                                         "F9.TXT", "EMPTY.TXT", "FILL.BIN"}));
    EXPECT_EQ(readWhole("dev0:\\OLD.TXT"), old);

    // ... while an old file with data makes room for its replacement.
    ASSERT_EQ(fs().createFile("dev0:\\OLD.TXT", 1, &handle), FS_OK);
    ASSERT_EQ(fs().writeFile(handle, old.data(), 100), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\OLD.TXT"), std::vector<uint8_t>(old.begin(), old.begin() + 100));
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, OverwriteOfAnOpenFileWithTheListFullMakesRoom) {
    writeFile("dev0:\\OLD.TXT", bytesOf("old"));
    std::vector<uint32_t> handles;
    for (int i = 0; i < 9; ++i) handles.push_back(create("dev0:\\F" + std::to_string(i) + ".TXT"));
    uint32_t open = 0, handle = 0;
    ASSERT_EQ(fs().openFile("dev0:\\OLD.TXT", 1, &open), FS_OK);
    ASSERT_EQ(fs().createFile("dev0:\\OLD.TXT", 1, &handle), FS_OK);
    // The replaced file's handle went with it; the new file may have
    // been given the same handle value.
    EXPECT_EQ(fs().openFiles().size(), 10u);
    (void)open;
    ASSERT_EQ(fs().writeFile(handle, bytesOf("new").data(), 3), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    for (uint32_t h : handles) ASSERT_EQ(fs().closeFile(h), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\OLD.TXT"), bytesOf("new"));
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, FirstNameByteE5IsStoredAs05AndReadBackAsE5) {
    const std::string name = "\xE5LAN.TXT";
    const std::string path = "dev0:\\" + name;
    const auto data = patternBytes(600, 10);
    writeFile(path, data);
    const auto root = sector(fs().volume().rootStart);
    EXPECT_EQ(root[0], 0x05);  // 0xE5 would mark it deleted
    EXPECT_EQ(std::string(root.begin() + 1, root.begin() + 11), "LAN    TXT");
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{name}));
    EXPECT_EQ(readWhole(path), data);
    uint32_t handle = 0;
    EXPECT_EQ(fs().createFile(path, 0, &handle), FS_EXISTS);
    EXPECT_TRUE(cardPassesFsck());
    ASSERT_EQ(fs().removeFile(path), FS_OK);
    EXPECT_EQ(list("dev0:\\"), std::vector<std::string>{});
    EXPECT_EQ(freeClusters(), fs().volume().fat.count() - 2);
}

TEST_F(MisuseTest, DotNamesAreRefusedAndLeadingDotsMakeProperShortNames) {
    ASSERT_EQ(fs().createDir("dev0:\\SUB"), FS_OK);
    writeFile("dev0:\\A.TXT", bytesOf("a"));
    const auto before = cardBytes();
    uint32_t handle = 0;
    EXPECT_EQ(fs().createFile("dev0:\\..", 1, &handle), FS_INVALID);
    EXPECT_EQ(fs().createFile("dev0:\\.", 1, &handle), FS_INVALID);
    EXPECT_EQ(fs().createDir("dev0:\\."), FS_INVALID);
    EXPECT_EQ(fs().createDir("dev0:\\.."), FS_INVALID);
    EXPECT_EQ(fs().createDir("dev0:\\SUB\\.."), FS_EXISTS);
    EXPECT_EQ(fs().createFile("dev0:\\SUB\\.", 1, &handle), FS_EXISTS);
    EXPECT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\.."), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\A.TXT", "dev0:\\."), FS_INVALID);
    // Nor are a directory's own "." and ".." removed, moved or renamed.
    EXPECT_EQ(fs().removeDir("dev0:\\SUB\\.", 1), FS_INVALID);
    EXPECT_EQ(fs().removeDir("dev0:\\SUB\\..", 0), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\SUB\\..", "dev0:\\UP"), FS_INVALID);
    EXPECT_EQ(fs().setLongName("dev0:\\SUB\\.", utf16("A long name for a dot").data()), FS_INVALID);
    EXPECT_EQ(cardBytes(), before);

    writeFile("dev0:\\.profile", bytesOf("p"));
    writeFile("dev0:\\SUB\\.x.old", bytesOf("x"));
    ShortName form{};
    ASSERT_EQ(fs().directory().shortForm(0, "..abc", &form), FS_OK);
    EXPECT_EQ(std::string(form.begin(), form.end()), "ABC~1      ");
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"SUB", "A.TXT", "PROFIL~1"}));
    EXPECT_EQ(list("dev0:\\SUB"), (std::vector<std::string>{".", "..", "X~1.OLD"}));
    // As a long name, ".abc" is no short name of its own: it is stored.
    ASSERT_EQ(fs().setLongName("dev0:\\A.TXT", utf16(".abc").data()), FS_OK);
    EXPECT_EQ(longNameOf("dev0:\\", 2), u".abc");
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, LongNameThatFitsTheShortNameRemovesTheOldOne) {
    ASSERT_EQ(fs().createDir("dev0:\\M"), FS_OK);
    writeFile("dev0:\\M\\OLDLON~1.MP3", bytesOf("tune"));
    ASSERT_EQ(fs().setLongName("dev0:\\M\\OLDLON~1.MP3", utf16("Old long title.mp3").data()), FS_OK);
    EXPECT_EQ(longNameOf("dev0:\\M", 2), u"Old long title.mp3");
    ASSERT_EQ(fs().setLongName("dev0:\\M\\OLDLON~1.MP3", utf16("song.mp3").data()), FS_OK);
    EXPECT_EQ(longNameOf("dev0:\\M", 2), u"");
    // An empty long name clears one too.
    ASSERT_EQ(fs().setLongName("dev0:\\M\\OLDLON~1.MP3", utf16("Another long title.mp3").data()), FS_OK);
    ASSERT_EQ(fs().setLongName("dev0:\\M\\OLDLON~1.MP3", utf16("").data()), FS_OK);
    EXPECT_EQ(longNameOf("dev0:\\M", 2), u"");
    EXPECT_EQ(list("dev0:\\M"), (std::vector<std::string>{".", "..", "OLDLON~1.MP3"}));
    EXPECT_EQ(readWhole("dev0:\\M\\OLDLON~1.MP3"), bytesOf("tune"));
    EXPECT_EQ(fs().setLongName("dev0:\\M\\GONE.MP3", utf16("x.mp3").data()), FS_NOT_FOUND);
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(MisuseTest, WriteStatKeepsFilesFilesAndDirectoriesDirectories) {
    writeFile("dev0:\\F.TXT", bytesOf("f"));
    ASSERT_EQ(fs().createDir("dev0:\\D"), FS_OK);
    const auto before = cardBytes();
    for (uint32_t bad : {0x10u, 0x30u, 0x08u, 0x0Fu, 0x28u}) {
        EXPECT_EQ(writeStatAttributes("dev0:\\F.TXT", bad), FS_INVALID) << bad;
    }
    EXPECT_EQ(writeStatAttributes("dev0:\\D", 0x18u), FS_INVALID);
    EXPECT_EQ(writeStatAttributes("dev0:\\D", 0x0Fu), FS_INVALID);
    EXPECT_EQ(cardBytes(), before);

    ASSERT_EQ(writeStatAttributes("dev0:\\F.TXT", 0x21u), FS_OK);  // read-only archive
    EXPECT_EQ(attributesOf("dev0:\\F.TXT"), 0x21u);
    ASSERT_EQ(writeStatAttributes("dev0:\\D", 0x22u), FS_OK);  // hidden: the directory bit stays
    EXPECT_EQ(attributesOf("dev0:\\D"), 0x32u);
    EXPECT_EQ(list("dev0:\\D"), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(cardPassesFsck());
}

}  // namespace
}  // namespace kestrel::fatfs::test
