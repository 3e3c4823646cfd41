// Listings: mt_smReadDir / mt_smReadDirEx sequences read a directory once,
// with the results of a search from the start for every entry, and the
// directory sectors kept between calls never outlive a change of the card.
#include "tests/fatfs/fs_fixture.h"

#include <string>
#include <vector>

namespace kestrel::fatfs::test {
namespace {

constexpr uint32_t RECORD = 116;

class ListingTest : public FsTest {
protected:
    // A subdirectory of `files` entries over several clusters, every fifth
    // with a long name, every seventh removed again (deleted entries and
    // long-name entries in between).
    void fillDirectory(const std::string& directory, uint32_t files) {
        ASSERT_EQ(fs().createDir(directory), FS_OK);
        for (uint32_t i = 0; i < files; ++i) {
            const std::string name = "F" + std::to_string(i) + ".TXT";
            uint32_t handle = 0;
            ASSERT_EQ(fs().createFile(directory + "\\" + name, 0, &handle), FS_OK) << name;
            ASSERT_EQ(fs().closeFile(handle), FS_OK);
            if (i % 5 == 0) {
                const std::string longName = "Long name number " + std::to_string(i) + ".text";
                std::vector<uint16_t> units(longName.begin(), longName.end());
                units.push_back(0);
                ASSERT_EQ(fs().setLongName(directory + "\\" + name, units.data()), FS_OK) << name;
            }
        }
        for (uint32_t i = 0; i < files; i += 7) {
            ASSERT_EQ(fs().removeFile(directory + "\\F" + std::to_string(i) + ".TXT"), FS_OK);
        }
    }

    // Records first ... first + count - 1, one call; the result in `result`.
    std::vector<uint8_t> records(const std::string& directory, uint32_t first, uint32_t count, uint32_t* result,
                                 uint32_t* delivered) {
        std::vector<uint8_t> out(size_t{count} * RECORD, 0xEE);
        *result = fs().readDirEx(directory, first, count, out.data(), delivered);
        out.resize(size_t{*delivered} * RECORD);
        return out;
    }

    // Every record, one call per entry, as a reader that pages would.
    std::vector<uint8_t> oneByOne(const std::string& directory, uint32_t count) {
        std::vector<uint8_t> all;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t result = 0, delivered = 0;
            const auto one = records(directory, i, 1, &result, &delivered);
            EXPECT_EQ(result, FS_OK) << i;
            all.insert(all.end(), one.begin(), one.end());
        }
        return all;
    }

    uint64_t pageReads() const { return card_->counters().pageReads; }
};

TEST_F(ListingTest, EntryByEntryListingReadsEachSectorOnceAndMatchesOneCall) {
    fillDirectory("dev0:\\MANY", 140);
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\MANY", &count), FS_OK);
    ASSERT_EQ(count, 140u - 20u + 2u);  // 20 removed, "." and ".."

    uint32_t result = 0, delivered = 0;
    const auto whole = records("dev0:\\MANY", 0, count + 3, &result, &delivered);
    EXPECT_EQ(result, FS_END);
    ASSERT_EQ(delivered, count);
    // Long names come with their entries; removed entries are skipped.
    EXPECT_STREQ(reinterpret_cast<const char*>(&whole[2 * RECORD]), "F1.TXT");
    EXPECT_EQ(whole[3 * RECORD + 16], 0);  // F2 has no long name
    EXPECT_STREQ(reinterpret_cast<const char*>(&whole[6 * RECORD]), "F5.TXT");
    EXPECT_EQ(whole[6 * RECORD + 16], 'L');

    // The directory's entries take about (140 + 28 long-name entries) x 32
    // bytes: 11 sectors. A search from the start for each entry reads
    // thousands.
    const uint64_t before = pageReads();
    const auto paged = oneByOne("dev0:\\MANY", count);
    const uint64_t used = pageReads() - before;
    EXPECT_EQ(paged, whole);
    EXPECT_LE(used, 20u) << "page reads for " << count << " entries listed one by one";
}

TEST_F(ListingTest, CallsThatJumpBackOrAheadGiveTheEntriesOfAFreshSearch) {
    fillDirectory("dev0:\\JUMPS", 60);
    uint32_t result = 0, delivered = 0;
    const auto whole = records("dev0:\\JUMPS", 0, 100, &result, &delivered);
    ASSERT_EQ(result, FS_END);
    const auto slice = [&](uint32_t first, uint32_t count) {
        return std::vector<uint8_t>(whole.begin() + first * RECORD, whole.begin() + (first + count) * RECORD);
    };
    struct Call {
        uint32_t first, count;
    };
    // On from the last call, back, ahead past it, again the same, to the end.
    for (const Call call : {Call{0, 5}, Call{5, 5}, Call{3, 4}, Call{20, 6}, Call{20, 6}, Call{26, 1}, Call{40, 10}}) {
        EXPECT_EQ(records("dev0:\\JUMPS", call.first, call.count, &result, &delivered), slice(call.first, call.count))
            << call.first << "+" << call.count;
        EXPECT_EQ(result, FS_OK);
    }
    const uint32_t total = static_cast<uint32_t>(whole.size() / RECORD);
    EXPECT_EQ(records("dev0:\\JUMPS", total - 2, 5, &result, &delivered), slice(total - 2, 2));
    EXPECT_EQ(result, FS_END);
    EXPECT_EQ(delivered, 2u);
    // The same call in the root goes back to the root's start.
    const auto root = records("dev0:\\", 0, 1, &result, &delivered);
    ASSERT_EQ(delivered, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(root.data()), "JUMPS");
}

TEST_F(ListingTest, AListingGoingOnAfterAChangeSeesTheChange) {
    fillDirectory("dev0:\\CHANGE", 30);
    uint32_t result = 0, delivered = 0;
    (void)records("dev0:\\CHANGE", 0, 6, &result, &delivered);
    ASSERT_EQ(delivered, 6u);
    // ".", "..", F1, F2, F3, F4 came (F0 was removed); without F3 entry 6
    // is F6.TXT, where going on behind F4 would give F5.TXT.
    ASSERT_EQ(fs().removeFile("dev0:\\CHANGE\\F3.TXT"), FS_OK);
    const auto next = records("dev0:\\CHANGE", 6, 1, &result, &delivered);
    ASSERT_EQ(delivered, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(next.data()), "F6.TXT");
    // A file written after its directory was read: lookups and listings see
    // its new size.
    writeFile("dev0:\\CHANGE\\F9.TXT", bytesOf("grown"));
    uint32_t size = 0;
    EXPECT_EQ(fs().getSizeFile("dev0:\\CHANGE\\F9.TXT", &size), FS_OK);
    EXPECT_EQ(size, 5u);
    const auto all = records("dev0:\\CHANGE", 0, 100, &result, &delivered);
    bool seen = false;
    for (uint32_t i = 0; i < delivered; ++i) {
        if (std::string(reinterpret_cast<const char*>(&all[i * RECORD])) != "F9.TXT") continue;
        seen = true;
        EXPECT_EQ(all[i * RECORD + 96 + 8], 5);  // the size in the stat record
    }
    EXPECT_TRUE(seen);
}

TEST_F(ListingTest, FormatAndResetForgetTheCachedDirectory) {
    writeFile("dev0:\\OLD.TXT", bytesOf("old"));
    EXPECT_EQ(list("dev0:\\"), std::vector<std::string>{"OLD.TXT"});
    uint32_t bad = 0;
    ASSERT_EQ(fs().formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
    EXPECT_TRUE(list("dev0:\\").empty());
    uint32_t size = 0;
    EXPECT_EQ(fs().getSizeFile("dev0:\\OLD.TXT", &size), FS_NOT_FOUND);

    // The card written beside this file system (another instance on the
    // same card), then a reset: the new entry shows.
    writeFile("dev0:\\KEPT.TXT", bytesOf("kept"));
    EXPECT_EQ(list("dev0:\\"), std::vector<std::string>{"KEPT.TXT"});
    {
        FileSystem other(card().media(), nullptr, [this] { return now_; });
        ASSERT_EQ(other.init(), FS_OK);
        ASSERT_EQ(other.removeFile("dev0:\\KEPT.TXT"), FS_OK);
    }
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_TRUE(list("dev0:\\").empty());
}

}  // namespace
}  // namespace kestrel::fatfs::test
