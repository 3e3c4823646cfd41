// Operations that write a file's entry anew before deleting the old one (a
// long name, a move to another directory), cut at every program and erase
// they make: afterwards the file is there exactly once, with all its data,
// under its old name or place or its new one, and fsck.fat finds no
// clusters shared by two entries.
#include "fatfs/dir_tree.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/powercut/fsck_report.h"

#include <filesystem>
#include <functional>
#include <random>

namespace kestrel::fatfs::test {

namespace {

using media::test::CardCall;

const std::vector<uint8_t> kept = patternBytes(9000, 2);

std::vector<uint16_t> wide(const std::u16string& text) {
    std::vector<uint16_t> units(text.begin(), text.end());
    units.push_back(0);
    return units;
}

uint32_t cardWork(const std::vector<CardCall>& calls) {
    uint32_t work = 0;
    for (const auto& c : calls) work += c.kind == CardCall::Program || c.kind == CardCall::Erase;
    return work;
}

}  // namespace

class DoubledEntryCutTest : public FsTest {
protected:
    void SetUp() override {}

    // KEEP.TXT in the root; DOCS with OLD.BIN (9000 bytes) behind `fillers`
    // empty files, so that OLD.BIN's entry lies in the sector the caller
    // wants.
    void makeSeededCard(uint32_t fillers) {
        makeCard(4);
        writeFile("dev0:\\KEEP.TXT", patternBytes(3000, 1));
        ASSERT_EQ(fs().createDir("dev0:\\DOCS"), FS_OK);
        for (uint32_t i = 0; i < fillers; ++i) writeFile("dev0:\\DOCS\\F" + std::to_string(i) + ".TXT", {});
        writeFile("dev0:\\DOCS\\OLD.BIN", kept);
        ASSERT_EQ(fs().createDir("dev0:\\DOCS\\SUB"), FS_OK);
        writeFile("dev0:\\DOCS\\SUB\\IN.TXT", patternBytes(700, 3));
        if (seedMore) seedMore();
    }

    std::function<void()> seedMore;

    // The live entries of the volume whose first cluster is `first`.
    std::vector<FoundEntry> entriesOn(uint32_t first) {
        std::vector<FoundEntry> found;
        const uint32_t walked = walkTree(
            fs().directory(), fs().fat(), 0,
            [&](const FoundEntry& entry, uint32_t) {
                if (entry.entry.firstCluster() == first) found.push_back(entry);
                return FS_OK;
            },
            OnDamage::Skip);
        EXPECT_EQ(walked, FS_OK);
        return found;
    }

    uint32_t firstClusterOf(const std::string& path) {
        uint8_t stat[STAT_RECORD] = {};
        EXPECT_EQ(fs().readStat(path, stat), FS_OK) << path;
        return stat[4] | (stat[5] << 8);
    }

    bool exists(const std::string& path) {
        uint32_t size = 0;
        const uint32_t result = fs().getSizeFile(path, &size);
        EXPECT_TRUE(result == FS_OK || result == FS_NOT_FOUND) << path << ": " << result;
        return result == FS_OK;
    }

    // Runs `operation` once to count its programs and erases, then cuts it
    // at each of them on a fresh seeded card; after each cut a new file
    // system mounts the card, `check` judges it, and fsck.fat must find no
    // problem. Returns the number of cuts.
    uint32_t cutAtEveryOperation(uint32_t fillers, const std::function<void()>& operation,
                                 const std::function<void(uint32_t cut)>& check) {
        makeSeededCard(fillers);
        const size_t before = card().log().calls.size();
        operation();
        const uint32_t work = cardWork({card().log().calls.begin() + static_cast<long>(before), card().log().calls.end()});
        EXPECT_GT(work, 0u);
        const std::string image =
            (std::filesystem::temp_directory_path() / ("kestrel-doubled-" + std::to_string(std::random_device{}())))
                .string();
        for (uint32_t n = 1; n <= work; ++n) {
            SCOPED_TRACE("cut at card operation " + std::to_string(n) + " of " + std::to_string(work));
            makeSeededCard(fillers);
            EXPECT_EQ(card().simCommand("power-cut " + std::to_string(n) + " " + std::to_string(n)), "ok");
            operation();
            EXPECT_NE(card().simCommand("stats").find("power = lost"), std::string::npos);
            EXPECT_EQ(card().simCommand("reset"), "ok");
            fs_ = std::make_unique<FileSystem>(card().media(), nullptr, [this] { return now_; });
            EXPECT_EQ(fs().init(), FS_OK);
            EXPECT_EQ(readWhole("dev0:\\KEEP.TXT"), patternBytes(3000, 1)) << "an untouched file";
            check(n);
            exportImage(image, partitionStart());
            const auto report = powercut::runFsck(image);
            for (const auto& problem : report.problems) ADD_FAILURE() << problem;
        }
        std::filesystem::remove(image);
        return work;
    }

    void checkOnceWithItsData(const std::string& oldPath, const std::string& newPath, bool* atNew) {
        const bool old = exists(oldPath), moved = exists(newPath);
        ASSERT_NE(old, moved) << "exactly one of " << oldPath << " and " << newPath;
        *atNew = moved;
        const std::string path = moved ? newPath : oldPath;
        EXPECT_EQ(readWhole(path), kept);
        EXPECT_EQ(entriesOn(firstClusterOf(path)).size(), 1u) << "one entry names the chain";
    }

    // The long name of DOCS\OLD.BIN: empty or `expected`, nothing else.
    void checkLongName(const std::u16string& expected, const std::u16string& before = u"") {
        FoundEntry found;
        uint32_t docs = firstClusterOf("dev0:\\DOCS");
        ASSERT_EQ(fs().directory().findByName(docs, "OLD.BIN", &found), FS_OK);
        std::u16string name;
        const uint32_t read = fs().directory().readLongName(found, &name);
        EXPECT_TRUE(read == FS_OK || read == FS_NO_LONG_NAME) << read;
        EXPECT_TRUE(name == expected || name == before) << "a long name of neither state";
    }

    const std::u16string longName = u"A rather long name for it.bin";
};

// The run goes in front of the entry when the directory's sector holds it
// (here: at the end slot behind the entry, one write), else behind the
// entry in the next sector (two writes, the doubled entry undone by the
// next mount).
TEST_F(DoubledEntryCutTest, ALongNameCutAnywhereLeavesTheFileOnceWithItsData) {
    for (const uint32_t fillers : {0u, 12u}) {
        SCOPED_TRACE(std::to_string(fillers) + " files before it");
        const uint32_t cuts = cutAtEveryOperation(
            fillers, [this] { (void)fs().setLongName("dev0:\\DOCS\\OLD.BIN", wide(longName).data()); },
            [this](uint32_t) {
                bool atNew = false;
                checkOnceWithItsData("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NONE.BIN", &atNew);
                checkLongName(longName);
            });
        EXPECT_GT(cuts, 16u) << "the cuts reach into the block copies";
    }
}

// A second long name over a first one, with the deleted slots in front of
// the entry that it fits into: rewritten in place.
TEST_F(DoubledEntryCutTest, ASecondLongNameCutAnywhereLeavesTheFirstOrTheSecond) {
    const std::u16string first = u"First long name of the file, long.bin";  // three entries
    const std::u16string second = u"Second name.bin";                       // two entries
    seedMore = [&, this] { ASSERT_EQ(fs().setLongName("dev0:\\DOCS\\OLD.BIN", wide(first).data()), FS_OK); };
    cutAtEveryOperation(
        3, [&, this] { (void)fs().setLongName("dev0:\\DOCS\\OLD.BIN", wide(second).data()); },
        [&, this](uint32_t) {
            bool atNew = false;
            checkOnceWithItsData("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NONE.BIN", &atNew);
            checkLongName(second, first);
        });
}

// A file moved to another directory: once the new entry is on the card,
// no later cut brings the old place back (the new entry is stamped later).
TEST_F(DoubledEntryCutTest, AMoveCutAnywhereLeavesTheFileOnceAndNeverGoesBack) {
    bool reachedNew = false;
    cutAtEveryOperation(
        0,
        [this] {
            now_.second += 4;
            (void)fs().moveFile("dev0:\\DOCS\\OLD.BIN", "dev0:\\MOVED.BIN");
            now_ = fixedTime();
        },
        [&, this](uint32_t) {
            bool atNew = false;
            checkOnceWithItsData("dev0:\\DOCS\\OLD.BIN", "dev0:\\MOVED.BIN", &atNew);
            EXPECT_FALSE(reachedNew && !atNew) << "a later cut went back to the old place";
            reachedNew = reachedNew || atNew;
        });
    EXPECT_TRUE(reachedNew) << "the last cuts leave the file moved";
}

// A directory moved to another directory: its ".." names the directory it
// is in, and its file is whole.
TEST_F(DoubledEntryCutTest, ADirectoryMoveCutAnywhereLeavesItOnceWithATrueParent) {
    cutAtEveryOperation(
        0, [this] { (void)fs().moveFile("dev0:\\DOCS\\SUB", "dev0:\\SUB2"); },
        [this](uint32_t) {
            const bool old = exists("dev0:\\DOCS\\SUB\\IN.TXT"), moved = exists("dev0:\\SUB2\\IN.TXT");
            ASSERT_NE(old, moved);
            const std::string dir = moved ? "dev0:\\SUB2" : "dev0:\\DOCS\\SUB";
            EXPECT_EQ(readWhole(dir + "\\IN.TXT"), patternBytes(700, 3));
            const uint32_t cluster = firstClusterOf(dir);
            const auto entries = entriesOn(cluster);
            ASSERT_EQ(entries.size(), 1u) << "one entry names the directory";
            FoundEntry dotDot;
            const ShortName dotDotName = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
            ASSERT_EQ(fs().directory().search(cluster, SearchMode::ShortNameEquals, {dotDotName, 0}, &dotDot), FS_OK);
            EXPECT_EQ(dotDot.entry.firstCluster(), entries[0].position.directory) << "\"..\" names its parent";
        });
}

// A long-named file removed or renamed in its directory: its long name goes
// in the same write as its entry, so that no cut leaves a part of a long
// name in front of a deleted or renamed entry (fsck.fat: an orphaned long
// name).
TEST_F(DoubledEntryCutTest, RemovingOrRenamingALongNamedFileLeavesNoOrphanedLongName) {
    seedMore = [this] { ASSERT_EQ(fs().setLongName("dev0:\\DOCS\\OLD.BIN", wide(longName).data()), FS_OK); };
    cutAtEveryOperation(
        0, [this] { (void)fs().removeFile("dev0:\\DOCS\\OLD.BIN"); },
        [this](uint32_t) {
            if (!exists("dev0:\\DOCS\\OLD.BIN")) return;
            EXPECT_EQ(readWhole("dev0:\\DOCS\\OLD.BIN"), kept);
            checkLongName(longName, longName);
        });
    cutAtEveryOperation(
        0, [this] { (void)fs().moveFile("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NEW.BIN"); },
        [this](uint32_t) {
            bool atNew = false;
            checkOnceWithItsData("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NEW.BIN", &atNew);
            if (!atNew) checkLongName(longName, longName);
        });
}

}  // namespace kestrel::fatfs::test
