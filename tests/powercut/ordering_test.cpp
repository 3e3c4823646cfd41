// The order in which the file system updates the card: power failing
// between two of its sector writes must leave a volume that fsck.fat finds
// consistent, apart from lost clusters and chains longer than their file.
// Each case cuts the operation just before each of its block copies starts
// (the erase of the fresh block), where the card holds whole sector writes
// only, so that what is judged is the order of the writes alone.
#include "tests/fatfs/fs_fixture.h"
#include "tests/powercut/fsck_report.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

namespace kestrel::fatfs::test {

namespace {

using media::test::CardCall;

// 1-based numbers, among the programs and erases of `calls`, of the erases
// that start a block copy (the next program goes to the block just erased).
std::vector<uint32_t> copyStarts(const std::vector<CardCall>& calls, uint32_t pagesPerBlock) {
    std::vector<const CardCall*> work;
    for (const auto& c : calls)
        if (c.kind == CardCall::Program || c.kind == CardCall::Erase) work.push_back(&c);
    std::vector<uint32_t> starts;
    for (size_t i = 0; i + 1 < work.size(); ++i) {
        if (work[i]->kind == CardCall::Erase && work[i + 1]->kind == CardCall::Program &&
            work[i]->page / pagesPerBlock == work[i + 1]->page / pagesPerBlock)
            starts.push_back(static_cast<uint32_t>(i + 1));
    }
    return starts;
}

}  // namespace

class CutBetweenWritesTest : public FsTest {
protected:
    void SetUp() override {}

    void makeSeededCard() {
        makeCard(4);
        writeFile("dev0:\\KEEP.TXT", patternBytes(3000, 1));
        uint32_t result = fs().createDir("dev0:\\DOCS");
        ASSERT_EQ(result, FS_OK);
        writeFile("dev0:\\DOCS\\OLD.BIN", patternBytes(9000, 2));
    }

    // Runs `operation` on a fresh seeded card once to find its block
    // copies, then again with power failing before each of them; after each
    // cut the card is checked with fsck.fat.
    void cutBeforeEachCopy(const std::function<void()>& operation) {
        makeSeededCard();
        const size_t before = card().log().calls.size();
        operation();
        const std::vector<CardCall> calls(card().log().calls.begin() + static_cast<long>(before),
                                          card().log().calls.end());
        const auto cuts = copyStarts(calls, geometry().sectorsPerBlock * card().pagesPerSector());
        ASSERT_FALSE(cuts.empty()) << "the operation copies blocks";
        const std::string image =
            (std::filesystem::temp_directory_path() / ("kestrel-order-" + std::to_string(std::random_device{}())))
                .string();
        for (const uint32_t n : cuts) {
            SCOPED_TRACE("cut at card operation " + std::to_string(n));
            makeSeededCard();
            ASSERT_EQ(card().simCommand("power-cut " + std::to_string(n)), "ok");
            operation();
            ASSERT_NE(card().simCommand("stats").find("power = lost"), std::string::npos);
            ASSERT_EQ(card().simCommand("reset"), "ok");
            fs_ = std::make_unique<FileSystem>(card().media(), nullptr, [this] { return now_; });
            ASSERT_EQ(fs().init(), FS_OK);
            exportImage(image, partitionStart());
            const auto report = powercut::runFsck(image);
            for (const auto& problem : report.problems) ADD_FAILURE() << problem;
            EXPECT_EQ(readWhole("dev0:\\KEEP.TXT"), patternBytes(3000, 1)) << "an untouched file";
        }
        std::filesystem::remove(image);
    }
};

// A new file's clusters are on the card's FAT before any entry names them.
TEST_F(CutBetweenWritesTest, CreatingAndClosingAFileNeverLeavesItsEntryOnFreeClusters) {
    cutBeforeEachCopy([this] {
        uint32_t handle = 0;
        if (fs().createFile("dev0:\\NEW.BIN", 1, &handle) != FS_OK) return;
        const auto data = patternBytes(20000, 3);
        if (fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())) != FS_OK) return;
        (void)fs().closeFile(handle);
    });
}

TEST_F(CutBetweenWritesTest, AppendingNeverLeavesTheEntryBeyondItsChain) {
    cutBeforeEachCopy([this] {
        uint32_t handle = 0;
        if (fs().openFile("dev0:\\DOCS\\OLD.BIN", 2, &handle) != FS_OK) return;
        uint32_t previous = 0;
        if (fs().seekFile(handle, 2, 0, &previous) != FS_OK) return;
        const auto data = patternBytes(20000, 4);
        if (fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())) != FS_OK) return;
        (void)fs().closeFile(handle);
    });
}

TEST_F(CutBetweenWritesTest, MakingADirectoryNeverLeavesItsEntryOnAFreeCluster) {
    cutBeforeEachCopy([this] { (void)fs().createDir("dev0:\\DOCS\\SUB"); });
}

// Renaming within a directory never shows the file twice (two entries on
// one chain: clusters cross-linked).
TEST_F(CutBetweenWritesTest, RenamingInADirectoryNeverLeavesTwoEntriesOnOneChain) {
    cutBeforeEachCopy([this] { (void)fs().moveFile("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NEW.BIN"); });
}

// A format cut while it writes the volume's layout: the card holds no
// volume the library mounts, or a sound empty one, never a volume whose
// FATs or root directory were not written yet.
TEST_F(CutBetweenWritesTest, AFormatCutInItsLayoutLeavesNoVolumeOrASoundEmptyOne) {
    makeSeededCard();
    const size_t before = card().log().calls.size();
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
    std::vector<const CardCall*> work;
    for (auto c = card().log().calls.begin() + static_cast<long>(before); c != card().log().calls.end(); ++c)
        if (c->kind == CardCall::Program || c->kind == CardCall::Erase) work.push_back(&*c);
    // The layout's writes and the end of the physical format before them.
    constexpr uint32_t TAIL = 100;
    ASSERT_GT(work.size(), TAIL);
    const std::string image =
        (std::filesystem::temp_directory_path() / ("kestrel-format-" + std::to_string(std::random_device{}())))
            .string();
    uint32_t mounted = 0;
    for (auto n = static_cast<uint32_t>(work.size() - TAIL); n <= work.size(); ++n) {
        SCOPED_TRACE("cut at card operation " + std::to_string(n) + " of " + std::to_string(work.size()));
        makeSeededCard();
        ASSERT_EQ(card().simCommand("power-cut " + std::to_string(n) + " " + std::to_string(n)), "ok");
        (void)fs().formatVol("dev0:", "NO NAME", 0, &bad, {});
        ASSERT_EQ(card().simCommand("reset"), "ok");
        fs_ = std::make_unique<FileSystem>(card().media(), nullptr, [this] { return now_; });
        ASSERT_EQ(fs().init(), FS_OK);
        uint32_t info[6] = {};
        if (fs().getVolInfo("dev0:", info) != FS_OK) continue;
        ++mounted;
        EXPECT_EQ(list("dev0:\\"), std::vector<std::string>{}) << "an empty root";
        EXPECT_EQ(info[1], 0u) << "no cluster in use";
        exportImage(image, partitionStart());
        const auto report = powercut::runFsck(image);
        for (const auto& problem : report.problems) ADD_FAILURE() << problem;
    }
    std::filesystem::remove(image);
    // Whatever a cut left, the card formats again.
    ASSERT_EQ(fs().formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
    uint32_t info[6] = {};
    EXPECT_EQ(fs().getVolInfo("dev0:", info), FS_OK);
    std::printf("%u of %u cuts left a mountable volume\n", mounted, TAIL + 1);
}

TEST_F(CutBetweenWritesTest, RenameInADirectoryKeepsTheFileAndDropsItsOldLongName) {
    makeSeededCard();
    const std::u16string longName = u"A rather long name for it.bin";
    std::vector<uint16_t> wide(longName.begin(), longName.end());
    wide.push_back(0);
    ASSERT_EQ(fs().setLongName("dev0:\\DOCS\\OLD.BIN", wide.data()), FS_OK);
    ASSERT_EQ(fs().moveFile("dev0:\\DOCS\\OLD.BIN", "dev0:\\DOCS\\NEW.BIN"), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\DOCS\\NEW.BIN"), patternBytes(9000, 2));
    uint32_t size = 0;
    EXPECT_EQ(fs().getSizeFile("dev0:\\DOCS\\OLD.BIN", &size), FS_NOT_FOUND);
    EXPECT_EQ(fs().getSizeFile("dev0:\\DOCS\\A rather long name for it.bin", &size), FS_NOT_FOUND)
        << "the old long name went with the old name";
    EXPECT_EQ(fs().moveFile("dev0:\\DOCS\\NEW.BIN", "dev0:\\DOCS\\KEEP.TXT"), FS_OK) << "no clash in DOCS";
    EXPECT_EQ(fs().moveFile("dev0:\\DOCS\\KEEP.TXT", "dev0:\\DOCS\\BAD|NAME"), FS_INVALID);
    EXPECT_EQ(readWhole("dev0:\\DOCS\\KEEP.TXT"), patternBytes(9000, 2));
    const std::string image =
        (std::filesystem::temp_directory_path() / ("kestrel-order-" + std::to_string(std::random_device{}())))
            .string();
    exportImage(image, partitionStart());
    const auto report = powercut::runFsck(image);
    std::filesystem::remove(image);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_EQ(report.lostClusters, 0u);
}

}  // namespace kestrel::fatfs::test
