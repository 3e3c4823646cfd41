// Write batches over several operations: the card ends as the same
// operations leave it one at a time, reads inside a batch see its changes,
// the card is untouched by held changes until the batch is written out,
// and nothing freed inside a batch is handed out while the card still
// names it.
#include "fatfs/cluster_io.h"
#include "tests/fatfs/fs_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::fatfs::test {
namespace {

std::vector<uint16_t> units(const std::string& text) {
    std::vector<uint16_t> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

class BatchTest : public FsTest {
protected:
    void SetUp() override {}

    // One operation as the exported functions run it: its writes gathered.
    uint32_t op(const std::function<uint32_t()>& work) {
        WriteBatch batch(fs().clusters());
        return batch.finish(work());
    }

    // As the kestrel tool puts a new file: created, pre-extended, written
    // in pieces of 2048 bytes, given its time, closed; then its long name
    // when `longName` is not empty.
    void toolPut(const std::string& path, const std::vector<uint8_t>& data, const std::string& longName = "") {
        uint32_t handle = 0;
        ASSERT_EQ(op([&] { return fs().createFile(path, 0, &handle); }), FS_OK) << path;
        ASSERT_EQ(op([&] { return fs().fileExtend(handle, static_cast<uint32_t>(data.size())); }), FS_OK);
        for (size_t at = 0; at < data.size(); at += 2048) {
            const uint32_t length = static_cast<uint32_t>(std::min<size_t>(2048, data.size() - at));
            ASSERT_EQ(op([&] { return fs().writeFile(handle, data.data() + at, length); }), FS_OK);
        }
        uint8_t stat[20] = {};
        stat[12] = 0xE6;  // 2022
        stat[13] = 0x07;
        stat[14] = 3;
        stat[15] = 14;
        stat[16] = 15;
        stat[17] = 9;
        stat[18] = 26;
        ASSERT_EQ(op([&] { return fs().setFileTime(handle, stat); }), FS_OK);
        ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
        if (longName.empty()) return;
        const auto name = units(longName);
        ASSERT_EQ(op([&] { return fs().setLongName(path, name.data()); }), FS_OK);
    }

    std::string albumFile(int i) const { return "dev0:\\ALBUM\\P" + std::to_string(i) + ".JPG"; }

    void putAlbum(int files) {
        for (int i = 0; i < files; ++i) {
            toolPut(albumFile(i), patternBytes(3000 + 97 * static_cast<size_t>(i), 500 + i),
                    i % 3 == 0 ? "Picture number " + std::to_string(i) + ".jpg" : "");
        }
    }

    // The card as a fresh session finds it (what power failing now leaves):
    // a file system of its own over the card, mounted afresh.
    std::unique_ptr<FileSystem> freshView() {
        auto view = std::make_unique<FileSystem>(card().media(), nullptr, [this] { return now_; });
        EXPECT_EQ(view->init(), FS_OK);
        return view;
    }

    static uint32_t readAll(FileSystem& view, const std::string& path, std::vector<uint8_t>* data) {
        uint32_t size = 0;
        if (const uint32_t error = view.getSizeFile(path, &size)) return error;
        uint32_t handle = 0;
        if (const uint32_t error = view.openFile(path, 1, &handle)) return error;
        data->assign(size, 0);
        uint32_t delivered = 0;
        const uint32_t read = size == 0 ? FS_OK : view.readFile(handle, data->data(), size, &delivered);
        const uint32_t closed = view.closeFile(handle);
        return read != FS_OK ? read : closed;
    }
};

// The same 40 files (some with long names) put one operation sequence at a
// time and inside one batch: the same logical sectors, every one of them.
TEST_F(BatchTest, ABatchLeavesTheSectorsTheOperationsLeaveOneAtATime) {
    makeCard(64);  // one cluster per erase block: the files' last blocks are not filled inside a batch
    ASSERT_EQ(op([&] { return fs().createDir("dev0:\\ALBUM"); }), FS_OK);
    putAlbum(40);
    const std::vector<uint8_t> oneAtATime = cardBytes();

    makeCard(64);
    ASSERT_EQ(op([&] { return fs().createDir("dev0:\\ALBUM"); }), FS_OK);
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    putAlbum(40);
    ASSERT_EQ(op([&] { return fs().endBatch(0); }), FS_OK);
    const std::vector<uint8_t> batched = cardBytes();
    ASSERT_EQ(batched.size(), oneAtATime.size());
    for (size_t s = 0; s < batched.size() / 512; ++s) {
        ASSERT_TRUE(std::equal(batched.begin() + static_cast<std::ptrdiff_t>(s * 512),
                               batched.begin() + static_cast<std::ptrdiff_t>((s + 1) * 512),
                               oneAtATime.begin() + static_cast<std::ptrdiff_t>(s * 512)))
            << "logical sector " << s;
    }
    EXPECT_TRUE(cardPassesFsck());
}

// Inside the batch the library answers from its changes, the card holds
// none of the new entries, and the end brings them there.
TEST_F(BatchTest, ReadsInsideTheBatchSeeItAndTheCardGetsItAtTheEnd) {
    makeCard(16);
    ASSERT_EQ(op([&] { return fs().createDir("dev0:\\ALBUM"); }), FS_OK);
    toolPut("dev0:\\ALBUM\\OLD.JPG", patternBytes(5000, 1));
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    putAlbum(12);
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\ALBUM", &count), FS_OK);
    EXPECT_EQ(count, 2u + 1u + 12u);  // ".", "..", OLD.JPG and the new files
    EXPECT_EQ(readWhole(albumFile(11)), patternBytes(3000 + 97 * 11, 511));
    uint8_t stat[20] = {};
    ASSERT_EQ(fs().readStat(albumFile(3), stat), FS_OK);
    EXPECT_EQ(stat[16], 15);  // the time given before the close
    EXPECT_EQ(stat[17], 9);

    {
        auto view = freshView();
        uint32_t onCard = 0;
        ASSERT_EQ(view->getListNumDir("dev0:\\ALBUM", &onCard), FS_OK);
        EXPECT_EQ(onCard, 3u) << "held entries reached the card before the batch ended";
        std::vector<uint8_t> old;
        ASSERT_EQ(readAll(*view, "dev0:\\ALBUM\\OLD.JPG", &old), FS_OK);
        EXPECT_EQ(old, patternBytes(5000, 1));
    }
    // The fresh view rescanned the maps under the batch; the batch's own
    // state is in memory and still goes out whole.
    ASSERT_EQ(op([&] { return fs().endBatch(0); }), FS_OK);
    auto view = freshView();
    uint32_t onCard = 0;
    ASSERT_EQ(view->getListNumDir("dev0:\\ALBUM", &onCard), FS_OK);
    EXPECT_EQ(onCard, 15u);
    for (int i = 0; i < 12; ++i) {
        std::vector<uint8_t> data;
        ASSERT_EQ(readAll(*view, albumFile(i), &data), FS_OK) << i;
        EXPECT_EQ(data, patternBytes(3000 + 97 * static_cast<size_t>(i), 500 + i)) << i;
    }
    EXPECT_TRUE(cardPassesFsck());
}

// 40 small files in one batch: the FAT copies and the folder's block copied
// once each at the end, the data programmed into erased pages. One at a
// time the same files cost four block copies each.
TEST_F(BatchTest, FortySmallFilesCostTheirDataAndOneCopyOfEachChangedBlock) {
    makeCard(64);
    ASSERT_EQ(op([&] { return fs().createDir("dev0:\\ALBUM"); }), FS_OK);
    const sim::SimCounters before = card().counters();
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    for (int i = 0; i < 40; ++i) toolPut(albumFile(i), patternBytes(3000, 700 + i));
    const uint64_t inside = card().counters().blockErases - before.blockErases;
    // Six sectors of data each (512-byte pages), nothing else programmed:
    // the rest of each file's block stays unwritten.
    EXPECT_EQ(card().counters().pagePrograms - before.pagePrograms, 40u * 6u);
    EXPECT_LE(inside, 40u * 3u) << "inside the batch only the pre-extension exchanges blocks";
    ASSERT_EQ(op([&] { return fs().endBatch(0); }), FS_OK);
    // Two FAT copies and the folder: three block copies of two erases.
    EXPECT_EQ(card().counters().blockErases - before.blockErases - inside, 3u * 2u);
    for (int i = 0; i < 40; i += 13) EXPECT_EQ(readWhole(albumFile(i)), patternBytes(3000, 700 + i));
}

// Removing a file inside a batch, then writing a new one that takes its
// clusters: the card must never name the old file over the new file's
// data. The removal reaches the card before its clusters are handed out.
TEST_F(BatchTest, ClustersFreedInsideABatchAreNotWrittenWhileTheCardNamesThem) {
    makeCard(16);
    toolPut("dev0:\\OLD.BIN", patternBytes(40000, 1));
    toolPut("dev0:\\KEEP.BIN", patternBytes(20000, 2));
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    ASSERT_EQ(op([&] { return fs().removeFile("dev0:\\OLD.BIN"); }), FS_OK);
    toolPut("dev0:\\NEW.BIN", patternBytes(40000, 3));
    // Power fails here: the card's files are whole, whatever they are.
    auto view = freshView();
    std::vector<uint8_t> data;
    const uint32_t old = readAll(*view, "dev0:\\OLD.BIN", &data);
    if (old == FS_OK) {
        EXPECT_EQ(data, patternBytes(40000, 1)) << "the card names the old file over new data";
    }
    ASSERT_EQ(readAll(*view, "dev0:\\KEEP.BIN", &data), FS_OK);
    EXPECT_EQ(data, patternBytes(20000, 2));
}

// The same for a file replaced by a create with overwrite, and for a file
// shortened in place: its freed tail is not written while the card still
// gives the file its old size.
TEST_F(BatchTest, ReplacedAndShortenedFilesStayWholeOnTheCardInsideABatch) {
    makeCard(16);
    toolPut("dev0:\\REPL.BIN", patternBytes(30000, 1));
    toolPut("dev0:\\SHORT.BIN", patternBytes(30000, 2));
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    uint32_t handle = 0;
    ASSERT_EQ(op([&] { return fs().createFile("dev0:\\REPL.BIN", 1, &handle); }), FS_OK);
    const auto small = patternBytes(100, 3);
    ASSERT_EQ(op([&] { return fs().writeFile(handle, small.data(), 100); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
    // SHORT.BIN rewritten from its start by a create: its whole chain goes.
    ASSERT_EQ(op([&] { return fs().createFile("dev0:\\SHORT.BIN", 1, &handle); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().writeFile(handle, small.data(), 100); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
    toolPut("dev0:\\FILL.BIN", patternBytes(60000, 4));
    auto view = freshView();
    std::vector<uint8_t> data;
    for (const auto& [path, seed] : {std::pair<std::string, uint32_t>{"dev0:\\REPL.BIN", 1}, {"dev0:\\SHORT.BIN", 2}}) {
        ASSERT_EQ(readAll(*view, path, &data), FS_OK) << path;
        if (data.size() == 30000) {
            EXPECT_EQ(data, patternBytes(30000, seed)) << path;
        } else {
            EXPECT_EQ(data, small) << path;
        }
    }
}

// The close of a file that was on the card before the batch may shorten
// or free its chain: it writes the batch out first and runs as without one.
TEST_F(BatchTest, ClosingAFileOfTheCardWritesTheBatchOutFirst) {
    makeCard(16);
    toolPut("dev0:\\A.BIN", patternBytes(50000, 1));
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    toolPut("dev0:\\B.BIN", patternBytes(3000, 2));  // held
    uint32_t handle = 0;
    ASSERT_EQ(op([&] { return fs().openFile("dev0:\\A.BIN", 3, &handle); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().closeFile(handle); }), FS_OK);
    {
        // The close wrote the batch out first.
        auto view = freshView();
        std::vector<uint8_t> data;
        ASSERT_EQ(readAll(*view, "dev0:\\B.BIN", &data), FS_OK);
        EXPECT_EQ(data, patternBytes(3000, 2));
    }
    ASSERT_EQ(op([&] { return fs().endBatch(0); }), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\A.BIN"), patternBytes(50000, 1));
    EXPECT_TRUE(cardPassesFsck());
}

// An unmount and a reset with a batch open write it out; so does a
// format (before it formats).
TEST_F(BatchTest, UnmountAndResetWriteAnOpenBatchOut) {
    makeCard(16);
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    toolPut("dev0:\\U.BIN", patternBytes(3000, 1));
    ASSERT_EQ(fs().unmountVol(0), FS_OK);
    EXPECT_FALSE(fs().batchOpen());
    {
        auto view = freshView();
        std::vector<uint8_t> data;
        ASSERT_EQ(readAll(*view, "dev0:\\U.BIN", &data), FS_OK);
        EXPECT_EQ(data, patternBytes(3000, 1));
    }
    ASSERT_EQ(fs().init(), FS_OK);
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    toolPut("dev0:\\R.BIN", patternBytes(3000, 2));
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_FALSE(fs().batchOpen());
    EXPECT_EQ(readWhole("dev0:\\R.BIN"), patternBytes(3000, 2));
    EXPECT_EQ(readWhole("dev0:\\U.BIN"), patternBytes(3000, 1));
    EXPECT_TRUE(cardPassesFsck());
}

// Long names inside a batch for the batch's own files, a folder made inside
// it, and a move: each written correctly, the folder and the move written
// in today's order after the batch so far.
TEST_F(BatchTest, FoldersMovesAndLongNamesInsideABatch) {
    makeCard(16);
    toolPut("dev0:\\OLD.TXT", patternBytes(700, 1));
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    toolPut("dev0:\\N1.TXT", patternBytes(800, 2), "A first new file.txt");
    ASSERT_EQ(op([&] { return fs().createDir("dev0:\\SUB"); }), FS_OK);
    toolPut("dev0:\\SUB\\N2.TXT", patternBytes(900, 3), "A second new file.txt");
    const auto name = units("An old file renamed.txt");
    ASSERT_EQ(op([&] { return fs().setLongName("dev0:\\OLD.TXT", name.data()); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().moveFile("dev0:\\OLD.TXT", "dev0:\\SUB\\OLD.TXT"); }), FS_OK);
    ASSERT_EQ(op([&] { return fs().endBatch(0); }), FS_OK);
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\SUB\\OLD.TXT"), patternBytes(700, 1));
    EXPECT_EQ(readWhole("dev0:\\SUB\\N2.TXT"), patternBytes(900, 3));
    const auto names = list("dev0:\\");
    EXPECT_EQ(names.size(), 2u);  // N1.TXT (long name) and SUB
    EXPECT_TRUE(cardPassesFsck());
}

TEST_F(BatchTest, BatchCallsOnOtherVolumesAndWithoutABatch) {
    makeCard(2);
    EXPECT_EQ(fs().beginBatch(1), FS_INVALID);
    EXPECT_EQ(fs().endBatch(1), FS_INVALID);
    EXPECT_EQ(fs().endBatch(0), FS_OK);
    EXPECT_FALSE(fs().batchOpen());
    ASSERT_EQ(fs().beginBatch(0), FS_OK);
    ASSERT_EQ(fs().beginBatch(0), FS_OK);  // stays one batch
    writeFile("dev0:\\A.TXT", patternBytes(10, 1));
    ASSERT_EQ(fs().endBatch(0), FS_OK);
    EXPECT_FALSE(fs().batchOpen());
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(readWhole("dev0:\\A.TXT"), patternBytes(10, 1));
}

// The close's time given beforehand: only for handles open for writing;
// the entry gets it instead of the time of the close.
TEST_F(BatchTest, TheTimeGivenBeforeTheCloseIsTheEntrysTime) {
    makeCard(2);
    writeFile("dev0:\\R.TXT", patternBytes(10, 1));
    uint8_t stat[20] = {};
    stat[12] = 0xD0;  // 2000
    stat[13] = 0x07;
    stat[14] = 12;
    stat[15] = 31;
    stat[16] = 23;
    stat[17] = 59;
    stat[18] = 58;
    uint32_t handle = 0;
    ASSERT_EQ(fs().openFile("dev0:\\R.TXT", 1, &handle), FS_OK);
    EXPECT_EQ(fs().setFileTime(handle, stat), FS_READ_ONLY);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    EXPECT_EQ(fs().setFileTime(handle, stat), FS_NOT_OPEN);
    ASSERT_EQ(fs().createFile("dev0:\\W.TXT", 0, &handle), FS_OK);
    ASSERT_EQ(fs().setFileTime(handle, stat), FS_OK);
    ASSERT_EQ(fs().closeFile(handle), FS_OK);
    uint8_t got[20] = {};
    ASSERT_EQ(fs().readStat("dev0:\\W.TXT", got), FS_OK);
    EXPECT_EQ(got[12], 0xD0);
    EXPECT_EQ(got[13], 0x07);
    EXPECT_EQ(got[14], 12);
    EXPECT_EQ(got[15], 31);
    EXPECT_EQ(got[16], 23);
    EXPECT_EQ(got[17], 59);
    EXPECT_EQ(got[18], 58 / 2);  // in units of two seconds
    ASSERT_EQ(fs().readStat("dev0:\\R.TXT", got), FS_OK);
    EXPECT_EQ(got[16], fixedTime().hour) << "a refused time leaves the close's own";
}

}  // namespace
}  // namespace kestrel::fatfs::test
