// Damaged volumes: cards whose FAT or directories were left broken by
// another device, a crash or wear. Every operation must end with an error
// in bounded time, and an operation that was refused must leave the card
// byte for byte as it was.
#include "fatfs/dir_tree.h"
#include "media/media_errors.h"
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"

#include <chrono>
#include <string>

namespace kestrel::fatfs::test {
namespace {

class DamagedVolumeTest : public FsTest {
protected:
    // Every logical sector of the card (unmapped blocks read as zeros).
    std::vector<std::vector<uint8_t>> snapshot() {
        std::vector<std::vector<uint8_t>> sectors(geometry().totalSectors, std::vector<uint8_t>(512, 0));
        for (uint32_t s = 0; s < sectors.size(); ++s) (void)card().maps().smReadLogSector(0, s, 0, sectors[s].data(), 512);
        return sectors;
    }
    // The numbers of the sectors that differ between two snapshots.
    static std::vector<uint32_t> changed(const std::vector<std::vector<uint8_t>>& a,
                                         const std::vector<std::vector<uint8_t>>& b) {
        std::vector<uint32_t> out;
        for (uint32_t s = 0; s < a.size(); ++s) {
            if (a[s] != b[s]) out.push_back(s);
        }
        return out;
    }
    FoundEntry entryOf(uint32_t directory, const std::string& name) {
        FoundEntry found;
        EXPECT_EQ(fs().directory().findByName(directory, name, &found), FS_OK) << name;
        return found;
    }
    uint32_t firstClusterOf(const std::string& path) {
        uint8_t stat[20] = {};
        EXPECT_EQ(fs().readStat(path, stat), FS_OK) << path;
        return loadLe32(stat + 4);
    }
    // Changes FAT entries in the image, stores them into both copies and
    // mounts the card afresh.
    void setLinks(std::initializer_list<std::pair<uint32_t, uint16_t>> links) {
        for (const auto& [cluster, value] : links) fs().volume().fat.set(cluster, value);
        ASSERT_EQ(fs().fat().store(), FS_OK);
        remount();
    }
    void rewriteEntry(uint32_t directory, const std::string& name, const std::function<void(DirEntry&)>& change) {
        FoundEntry found = entryOf(directory, name);
        change(found.entry);
        ASSERT_EQ(fs().directory().writeEntry(found.position, found.entry), FS_OK);
        remount();
    }
    void remount() { ASSERT_EQ(fs().init(), FS_OK); }
    // Every way to reach a file's data: reading and writing handles. Each
    // must be refused with the chain error, and the card stay unchanged.
    void expectRefusedWithoutChange(const std::string& path) {
        const auto before = snapshot();
        for (const uint32_t mode : {1u, 2u, 3u}) {
            uint32_t handle = 0;
            EXPECT_EQ(fs().openFile(path, mode, &handle), FS_BROKEN_CHAIN) << path << " mode " << mode;
        }
        EXPECT_EQ(fs().openFiles().size(), 0u);
        EXPECT_EQ(changed(before, snapshot()), std::vector<uint32_t>{}) << path;
    }
};

// --- FAT links ------------------------------------------------------------

TEST_F(DamagedVolumeTest, ALinkOfZeroOneOrBeyondTheVolumeBreaksTheChainForReadsAndWrites) {
    writeFile("dev0:\\KEEP.TXT", bytesOf("keep me"));
    writeFile("dev0:\\A.BIN", patternBytes(12288, 1));  // three clusters on a 2 MB card
    // The link inside the chain is broken: a first cluster that is free in
    // the FAT is the mark of a write cut off before its close, which the
    // mount keeps as a one-cluster chain.
    const uint32_t first = fs().volume().fat.get(firstClusterOf("dev0:\\A.BIN"));
    const uint32_t beyond = fs().volume().fat.count();  // one past the last entry
    const uint32_t lastOfData = (geometry().totalSectors - fs().volume().dataStart) / 8 + 2;  // first missing cluster
    for (const uint16_t link : {uint16_t{0}, uint16_t{1}, static_cast<uint16_t>(lastOfData), static_cast<uint16_t>(beyond),
                                FAT_BAD}) {
        SCOPED_TRACE(link);
        setLinks({{first, link}});
        expectRefusedWithoutChange("dev0:\\A.BIN");
        EXPECT_EQ(readWhole("dev0:\\KEEP.TXT"), bytesOf("keep me"));
    }
}

TEST_F(DamagedVolumeTest, AWriteNeverFollowsABrokenLinkIntoTheRootOrTheFat) {
    // A link broken after the open (another handle cannot do that, but the
    // image is the library's own): the write stops at the broken link.
    writeFile("dev0:\\KEEP.TXT", bytesOf("keep me"));
    writeFile("dev0:\\A.BIN", patternBytes(8192, 1));
    const uint32_t first = firstClusterOf("dev0:\\A.BIN");
    uint32_t handle = 0;
    ASSERT_EQ(fs().openFile("dev0:\\A.BIN", 3, &handle), FS_OK);
    const auto before = snapshot();
    fs().volume().fat.set(first, 0);
    const auto data = patternBytes(8192, 2);
    EXPECT_EQ(fs().writeFile(handle, data.data(), 8192), FS_BROKEN_CHAIN);
    // Only the file's own first cluster (8 sectors) may have been written.
    const uint32_t firstSector = fs().volume().dataStart + (first - 2) * 8;
    for (const uint32_t s : changed(before, snapshot())) {
        EXPECT_TRUE(s >= firstSector && s < firstSector + 8) << "sector " << s;
    }
    uint32_t delivered = 0, previous = 0;
    std::vector<uint8_t> back(8192);
    ASSERT_EQ(fs().seekFile(handle, 1, 0, &previous), FS_OK);
    EXPECT_EQ(fs().readFile(handle, back.data(), 8192, &delivered), FS_BROKEN_CHAIN);
}

TEST_F(DamagedVolumeTest, LoopingChainsAndCrossLinksAreRefused) {
    writeFile("dev0:\\A.BIN", patternBytes(12288, 1));  // three clusters each
    writeFile("dev0:\\B.BIN", patternBytes(12288, 2));
    writeFile("dev0:\\C.BIN", patternBytes(100, 3));
    const uint32_t a = firstClusterOf("dev0:\\A.BIN"), b = firstClusterOf("dev0:\\B.BIN");
    const uint32_t a3 = fs().volume().fat.get(fs().volume().fat.get(a));
    const uint32_t b2 = fs().volume().fat.get(b);
    {
        SCOPED_TRACE("a loop back to the first cluster, on a file as large as a size can be");
        setLinks({{a3, static_cast<uint16_t>(a)}});
        rewriteEntry(0, "A.BIN", [](DirEntry& e) { e.setSize(0xFFFFFFFF); });
        const auto started = std::chrono::steady_clock::now();
        expectRefusedWithoutChange("dev0:\\A.BIN");
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        // Nor is it removed: its clusters are not known to be its own.
        const auto before = snapshot();
        EXPECT_EQ(fs().removeFile("dev0:\\A.BIN"), FS_BROKEN_CHAIN);
        EXPECT_EQ(changed(before, snapshot()), std::vector<uint32_t>{});
    }
    {
        SCOPED_TRACE("B's chain runs into C's first cluster");
        const uint32_t c = firstClusterOf("dev0:\\C.BIN");
        setLinks({{b2, static_cast<uint16_t>(c)}});
        expectRefusedWithoutChange("dev0:\\B.BIN");
        expectRefusedWithoutChange("dev0:\\C.BIN");
        const auto before = snapshot();
        EXPECT_EQ(fs().removeFile("dev0:\\B.BIN"), FS_BROKEN_CHAIN);
        uint32_t handle = 0;
        EXPECT_EQ(fs().createFile("dev0:\\B.BIN", 1, &handle), FS_BROKEN_CHAIN);  // an overwrite neither
        EXPECT_EQ(changed(before, snapshot()), std::vector<uint32_t>{});  // C's cluster still taken
    }
}

TEST_F(DamagedVolumeTest, AChainThatJoinsAnotherIsRefusedForBothFiles) {
    writeFile("dev0:\\A.BIN", patternBytes(8192, 1));
    writeFile("dev0:\\B.BIN", patternBytes(8192, 2));
    const uint32_t a = firstClusterOf("dev0:\\A.BIN"), b = firstClusterOf("dev0:\\B.BIN");
    setLinks({{a, fs().volume().fat.get(b)}});  // A's second cluster is B's second
    expectRefusedWithoutChange("dev0:\\A.BIN");
    expectRefusedWithoutChange("dev0:\\B.BIN");
    // A second entry naming a file's first cluster: both are refused too.
    writeFile("dev0:\\D.BIN", patternBytes(100, 4));
    rewriteEntry(0, "D.BIN", [b](DirEntry& e) { e.setFirstCluster(static_cast<uint16_t>(b)); });
    expectRefusedWithoutChange("dev0:\\D.BIN");
}

TEST_F(DamagedVolumeTest, SoundChainsPassTheChecks) {
    writeFile("dev0:\\A.BIN", patternBytes(12288, 1));
    ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
    writeFile("dev0:\\DIR\\B.BIN", patternBytes(5000, 2));
    uint32_t length = 0;
    EXPECT_EQ(fs().fat().checkChain(firstClusterOf("dev0:\\A.BIN"), &length), FS_OK);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(fs().fat().checkChain(firstClusterOf("dev0:\\DIR\\B.BIN"), &length), FS_OK);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(readWhole("dev0:\\DIR\\B.BIN"), patternBytes(5000, 2));
    uint32_t entries = 0;
    EXPECT_EQ(walkTree(fs().directory(), fs().fat(), 0, [&](const FoundEntry&, uint32_t) {
                  ++entries;
                  return FS_OK;
              }),
              FS_OK);
    EXPECT_EQ(entries, 3u);  // A.BIN, DIR, DIR\B.BIN
}

// --- directories ----------------------------------------------------------

class DirectoryLoopTest : public DamagedVolumeTest {
protected:
    void SetUp() override {
        DamagedVolumeTest::SetUp();
        writeFile("dev0:\\KEEP.TXT", bytesOf("keep me"));
        ASSERT_EQ(fs().createDir("dev0:\\OTHER"), FS_OK);
        writeFile("dev0:\\OTHER\\O.TXT", bytesOf("other"));
        ASSERT_EQ(fs().createDir("dev0:\\DIR"), FS_OK);
        ASSERT_EQ(fs().createDir("dev0:\\DIR\\SUB"), FS_OK);
        writeFile("dev0:\\DIR\\SUB\\F.TXT", bytesOf("file"));
        dir_ = firstClusterOf("dev0:\\DIR");
        sub_ = firstClusterOf("dev0:\\DIR\\SUB");
    }
    // Every walk over directories on the damaged card ends with the chain
    // error, in bounded time, and changes nothing.
    void expectWalksEnd(const std::string& loopPath) {
        const auto before = snapshot();
        const auto started = std::chrono::steady_clock::now();
        uint32_t count = 0, handle = 0, size = 0;
        ASSERT_EQ(fs().getListNumDir(loopPath, &count), FS_BROKEN_CHAIN) << loopPath;
        EXPECT_EQ(fs().getListNumDir(loopPath + "\\SUB", &count), FS_BROKEN_CHAIN);
        EXPECT_EQ(fs().openFile(loopPath + "\\KEEP.TXT", 1, &handle), FS_BROKEN_CHAIN);
        EXPECT_EQ(fs().getSizeFile(loopPath + "\\SUB\\F.TXT", &size), FS_BROKEN_CHAIN);
        EXPECT_EQ(fs().createFile(loopPath + "\\NEW.TXT", 0, &handle), FS_BROKEN_CHAIN);
        EXPECT_EQ(fs().removeDir("dev0:\\DIR", 1), FS_BROKEN_CHAIN);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_EQ(changed(before, snapshot()), std::vector<uint32_t>{});
        // The rest of the volume is as it was.
        EXPECT_EQ(readWhole("dev0:\\KEEP.TXT"), bytesOf("keep me"));
        EXPECT_EQ(readWhole("dev0:\\OTHER\\O.TXT"), bytesOf("other"));
        EXPECT_EQ(list("dev0:\\DIR\\SUB"), (std::vector<std::string>{".", "..", "F.TXT"}));
    }

    uint32_t dir_ = 0, sub_ = 0;
};

TEST_F(DirectoryLoopTest, ASubdirectoryNamingItsParent) {
    rewriteEntry(sub_, "F.TXT", [this](DirEntry& e) {
        e.bytes[11] = ATTR_DIRECTORY;
        e.setFirstCluster(static_cast<uint16_t>(dir_));
        e.setSize(0);
    });
    // DIR\SUB\F.TXT is now DIR itself.
    expectWalksEnd("dev0:\\DIR\\SUB\\F.TXT");
}

TEST_F(DirectoryLoopTest, ASubdirectoryNamingTheRoot) {
    rewriteEntry(sub_, "F.TXT", [](DirEntry& e) {
        e.bytes[11] = ATTR_DIRECTORY;
        e.setFirstCluster(0);
        e.setSize(0);
    });
    expectWalksEnd("dev0:\\DIR\\SUB\\F.TXT");
}

TEST_F(DirectoryLoopTest, ADirectoryChainThatLoops) {
    // SUB's one cluster links to itself: a walk over all of it never ends.
    setLinks({{sub_, static_cast<uint16_t>(sub_)}});
    const auto before = snapshot();
    uint32_t count = 0;
    EXPECT_EQ(fs().getListNumDir("dev0:\\DIR\\SUB", &count), FS_BROKEN_CHAIN);
    // Searches stop at the end marker in the first cluster.
    std::vector<uint8_t> records(16 * 4);
    EXPECT_EQ(fs().readDir("dev0:\\DIR\\SUB", 0, 4, records.data(), &count), FS_END);
    EXPECT_EQ(count, 3u);
    // The removal sees the loop before it removes anything.
    EXPECT_EQ(fs().removeDir("dev0:\\DIR", 1), FS_BROKEN_CHAIN);
    EXPECT_EQ(changed(before, snapshot()), std::vector<uint32_t>{});
}

TEST_F(DirectoryLoopTest, RecursiveRemovalOfASoundTreeStillRemovesIt) {
    const uint32_t freeBefore = freeClusters();
    EXPECT_EQ(fs().removeDir("dev0:\\DIR", 1), FS_OK);
    EXPECT_EQ(freeClusters(), freeBefore + 3);  // DIR, SUB, F.TXT
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"KEEP.TXT", "OTHER"}));
}

// --- long names -----------------------------------------------------------

class LongNameCheckTest : public DamagedVolumeTest {
protected:
    static uint8_t checksumOf(const std::string& elevenBytes) {
        uint8_t sum = 0;
        for (const char c : elevenBytes) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(c));
        return sum;
    }
    std::u16string longNameOf(const std::string& directory, uint32_t index) {
        std::vector<uint8_t> record(116);
        uint32_t delivered = 0;
        EXPECT_EQ(fs().readDirEx(directory, index, 1, record.data(), &delivered), FS_OK);
        std::u16string name;
        for (size_t at = 16; at < 96 && (record[at] | record[at + 1]); at += 2) {
            name += static_cast<char16_t>(record[at] | (record[at + 1] << 8));
        }
        return name;
    }
    // The root entry `index` (32 bytes), and writing it back.
    DirEntry rootEntry(uint32_t index) {
        DirEntry entry;
        EXPECT_EQ(fs().directory().readEntry({0, 0, index * 32}, &entry), FS_OK);
        return entry;
    }
    void setRootEntry(uint32_t index, const DirEntry& entry) {
        ASSERT_EQ(fs().directory().writeEntry({0, 0, index * 32}, entry), FS_OK);
    }
    void SetUp() override {
        DamagedVolumeTest::SetUp();
        writeFile("dev0:\\SONG.MP3", bytesOf("la"));
        const std::u16string name = u"A song with a long title.mp3";  // 28 characters: three entries
        std::vector<uint16_t> units(name.begin(), name.end());
        units.push_back(0);
        ASSERT_EQ(fs().setLongName("dev0:\\SONG.MP3", units.data()), FS_OK);
        ASSERT_EQ(longNameOf("dev0:\\", 0), name);
    }
};

TEST_F(LongNameCheckTest, TheStoredRunCarriesTheShortNamesChecksumAndItsSequence) {
    // Deleted old entry at 0, then the run at 1..3 and the short entry at 4.
    const DirEntry shortEntry = rootEntry(4);
    ASSERT_EQ(std::string(shortEntry.bytes.begin(), shortEntry.bytes.begin() + 11), "SONG    MP3");
    const uint8_t sum = checksumOf("SONG    MP3");
    EXPECT_EQ(sum, 0x6F);  // worked out by hand from the rotate-and-add rule
    const uint8_t sequences[3] = {0x43, 0x02, 0x01};
    for (uint32_t i = 0; i < 3; ++i) {
        const DirEntry entry = rootEntry(1 + i);
        EXPECT_EQ(entry.bytes[0], sequences[i]) << i;
        EXPECT_EQ(entry.bytes[11], ATTR_LONG_NAME);
        EXPECT_EQ(entry.bytes[13], sum) << i;
    }
}

TEST_F(LongNameCheckTest, ARunWithAWrongChecksumIsIgnored) {
    DirEntry entry = rootEntry(2);
    entry.bytes[13] ^= 0x01;
    setRootEntry(2, entry);
    EXPECT_EQ(longNameOf("dev0:\\", 0), u"");
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"SONG.MP3"}));
}

TEST_F(LongNameCheckTest, ARunOutOfSequenceIsIgnored) {
    for (const auto& [index, sequence] : {std::pair<uint32_t, uint8_t>{3, 0x02}, {2, 0x03}, {1, 0x42}}) {
        SCOPED_TRACE(index);
        DirEntry entry = rootEntry(index);
        const uint8_t kept = entry.bytes[0];
        entry.bytes[0] = sequence;
        setRootEntry(index, entry);
        EXPECT_EQ(longNameOf("dev0:\\", 0), u"");
        entry.bytes[0] = kept;
        setRootEntry(index, entry);
        EXPECT_EQ(longNameOf("dev0:\\", 0), u"A song with a long title.mp3");
    }
}

TEST_F(LongNameCheckTest, ARunLeftBehindByAnotherNameIsNotThisEntrysName) {
    // The short entry replaced in place by another file's (as a tool that
    // knows nothing of long names does): the run's checksum no longer fits.
    DirEntry entry = rootEntry(4);
    const ShortName other = {'O', 'T', 'H', 'E', 'R', ' ', ' ', ' ', 'T', 'X', 'T'};
    entry.setName(other);
    setRootEntry(4, entry);
    EXPECT_EQ(longNameOf("dev0:\\", 0), u"");
}

// --- the mount --------------------------------------------------------------

class MountCheckTest : public DamagedVolumeTest {
protected:
    void patchBootSector(const std::function<void(std::vector<uint8_t>&)>& change) {
        const uint32_t at = partitionStart();
        auto boot = sector(at);
        change(boot);
        overwriteSector(at, boot);
        remount();
    }
    // Every operation gives 5; the mount allocated nothing for the counts.
    void expectUnusable() {
        const auto started = std::chrono::steady_clock::now();
        uint32_t count = 0, handle = 0;
        uint32_t info[6] = {};
        for (int attempt = 0; attempt < 3; ++attempt) {  // retries stay cheap
            EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_VOLUME_UNUSABLE);
            EXPECT_EQ(fs().createFile("dev0:\\NEW.TXT", 0, &handle), FS_VOLUME_UNUSABLE);
            EXPECT_EQ(fs().getVolInfo("dev0:", info), FS_VOLUME_UNUSABLE);
        }
        EXPECT_EQ(fs().volume().fat.count(), 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    }
};

TEST_F(MountCheckTest, ATotalSectorCountBeyondTheCardIsRefused) {
    patchBootSector([](std::vector<uint8_t>& boot) {
        storeLe16(&boot[19], 0);
        storeLe32(&boot[32], 0x10000000);
    });
    expectUnusable();
}

TEST_F(MountCheckTest, APartitionThatEndsBeyondTheCardIsRefused) {
    // 4000 sectors from sector 11 on a card of 4000.
    patchBootSector([](std::vector<uint8_t>& boot) { storeLe16(&boot[19], 4000); });
    expectUnusable();
}

TEST_F(MountCheckTest, AFatThatLeavesNoDataAreaIsRefused) {
    patchBootSector([](std::vector<uint8_t>& boot) { storeLe16(&boot[22], 0xFFFF); });
    expectUnusable();
}

TEST_F(MountCheckTest, MoreClustersThanTheFatTypeCanNumberAreRefused) {
    // Clusters of one sector on a 2 MB card are fine for FAT12 (3991);
    // on a 4 MB card (7973) they are more than FAT12 can number.
    makeCard(4);
    patchBootSector([](std::vector<uint8_t>& boot) { boot[13] = 1; });
    expectUnusable();
}

TEST_F(MountCheckTest, AClusterSizeThatIsNoPowerOfTwoIsRefused) {
    patchBootSector([](std::vector<uint8_t>& boot) { boot[13] = 3; });
    expectUnusable();
}

TEST_F(MountCheckTest, TheVolumeMountsAgainOnceTheBootSectorIsSound) {
    const auto original = sector(partitionStart());
    patchBootSector([](std::vector<uint8_t>& boot) { storeLe16(&boot[22], 0xFFFF); });
    expectUnusable();
    overwriteSector(partitionStart(), original);
    uint32_t count = 7;
    EXPECT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace kestrel::fatfs::test

namespace kestrel::fatfs::test {

// A block rewritten by copy-on-write while one of its other sectors fails
// its ECC: that sector must not reach the fresh block with a fresh ECC,
// where its damage would read as good data.
class DamagedSectorRewriteTest : public FsTest {
protected:
    void SetUp() override {
        makeCard(2);
        block_ = geometry().logicalBlocks - 1;
        for (uint32_t i = 0; i < 4; ++i) {
            sectors_.push_back(patternBytes(512, 40 + i));
            ASSERT_EQ(fs().clusters().writeInBlock(block_, i * 512, sectors_[i].data(), 512), FS_OK);
        }
        // Two wrong bits in the first half of sector 1: uncorrectable.
        const uint32_t physical = card().maps().state().logicalMap[block_];
        const uint32_t page = (physical * geometry().sectorsPerBlock + 1) * card().pagesPerSector();
        ASSERT_EQ(card().simCommand("flip " + std::to_string(page) + " 20 3"), "ok");
        ASSERT_EQ(card().simCommand("flip " + std::to_string(page) + " 21 3"), "ok");
        ASSERT_EQ(read(1, media::MEDIA_UNCORRECTABLE).size(), 512u);
    }

    std::vector<uint8_t> read(uint32_t sector, uint32_t expected = FS_OK) {
        std::vector<uint8_t> data(512);
        EXPECT_EQ(card().maps().smReadLogBlock(0, block_, sector * 512, data.data(), 512), expected) << sector;
        return data;
    }

    uint32_t block_ = 0;
    std::vector<std::vector<uint8_t>> sectors_;
};

TEST_F(DamagedSectorRewriteTest, ARewriteBesideIsRefusedAndTheDamageStaysVisible) {
    const uint32_t home = card().maps().state().logicalMap[block_];
    const auto other = patternBytes(512, 50);
    EXPECT_EQ(fs().clusters().writeInBlock(block_, 2 * 512, other.data(), 512), media::MEDIA_UNCORRECTABLE);
    // A part of the damaged sector cannot be written either: the rest of
    // it is unknown.
    EXPECT_EQ(fs().clusters().writeInBlock(block_, 512 + 100, other.data(), 10), media::MEDIA_UNCORRECTABLE);
    EXPECT_EQ(card().maps().state().logicalMap[block_], home) << "the old block stays mapped";
    read(1, media::MEDIA_UNCORRECTABLE);
    EXPECT_EQ(read(0), sectors_[0]);
    EXPECT_EQ(read(2), sectors_[2]) << "the refused write changed nothing";
    EXPECT_EQ(read(3), sectors_[3]);
    EXPECT_EQ(card().media().pool().available(), media::SectorBufferPool::BUFFER_COUNT);
}

TEST_F(DamagedSectorRewriteTest, AWriteThatReplacesTheWholeDamagedSectorGoesThrough) {
    std::vector<uint8_t> two(1024);
    for (uint32_t i = 0; i < two.size(); ++i) two[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(fs().clusters().writeInBlock(block_, 512, two.data(), 1024), FS_OK);
    EXPECT_EQ(read(1), std::vector<uint8_t>(two.begin(), two.begin() + 512));
    EXPECT_EQ(read(2), std::vector<uint8_t>(two.begin() + 512, two.end()));
    EXPECT_EQ(read(0), sectors_[0]);
    EXPECT_EQ(read(3), sectors_[3]);
}

}  // namespace kestrel::fatfs::test
