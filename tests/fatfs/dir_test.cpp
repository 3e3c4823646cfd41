// Directories: short forms with tails, creation and listing, removal (also
// recursive), long names, and path resolution.
#include "tests/fatfs/fs_fixture.h"

#include <string>

namespace kestrel::fatfs::test {
namespace {

class DirTest : public FsTest {
protected:
    std::string shortForm(const std::string& name, uint32_t directory = 0) {
        ShortName out{};
        EXPECT_EQ(fs().directory().shortForm(directory, name, &out), FS_OK) << name;
        return std::string(out.begin(), out.end());
    }
    void touch(const std::string& path) { writeFile(path, {}); }
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
    static std::u16string utf16(const std::string& text) { return {text.begin(), text.end()}; }
    static std::vector<uint16_t> terminated(const std::u16string& text) {
        std::vector<uint16_t> out(text.begin(), text.end());
        out.push_back(0);
        return out;
    }
};

TEST_F(DirTest, ShortFormsAndNumericTails) {
    EXPECT_EQ(shortForm("readme.txt"), "README  TXT");
    EXPECT_EQ(shortForm("my file.txt"), "MYFILE~1TXT");
    EXPECT_EQ(shortForm("archive.tar.gz"), "ARCHIV~1GZ ");
    EXPECT_EQ(shortForm("noext"), "NOEXT      ");
    EXPECT_EQ(shortForm("."), ".          ");
    EXPECT_EQ(shortForm(".."), "..         ");
    EXPECT_EQ(shortForm("x.html"), "X       HTM");  // extension cut without a tail
    EXPECT_EQ(shortForm("a b"), "AB~1       ");
    // Paths resolve through short forms: a name that does not fit never
    // finds the file made under it, so each creation makes another tail.
    for (int i = 0; i < 4; ++i) touch("dev0:\\my file.txt");
    EXPECT_EQ(list("dev0:\\"),
              (std::vector<std::string>{"MYFILE~1.TXT", "MYFILE~2.TXT", "MYFILE~3.TXT", "MYFILE~4.TXT"}));
    const std::string random = shortForm("my file.txt");
    EXPECT_EQ(random.substr(0, 2), "MY");
    EXPECT_EQ(random.substr(6), "~1TXT");
    EXPECT_EQ(random.find_first_not_of("0123456789ABCDEF", 2), 6u) << random;
}

TEST_F(DirTest, NewDirectoryListsDotEntries) {
    ASSERT_EQ(fs().createDir("dev0:\\docs"), FS_OK);
    EXPECT_EQ(fs().createDir("dev0:\\DOCS"), FS_EXISTS);
    EXPECT_EQ(list("dev0:\\docs"), (std::vector<std::string>{".", ".."}));
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\docs\\", &count), FS_OK);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(fs().createDir("dev0:\\docs\\sub"), FS_OK);
    writeFile("dev0:\\docs\\sub\\deep.txt", bytesOf("deep"));
    EXPECT_EQ(readWhole("dev0:\\docs\\sub\\deep.txt"), bytesOf("deep"));
    EXPECT_EQ(list("dev0:\\docs"), (std::vector<std::string>{".", "..", "SUB"}));
    // ".." of sub names docs, "." itself.
    std::vector<uint8_t> records(3 * 116);
    uint32_t delivered = 0;
    ASSERT_EQ(fs().readDirEx("dev0:\\docs\\sub", 0, 3, records.data(), &delivered), FS_OK);
    uint32_t sub = 0, docs = 0;
    ASSERT_EQ(fs().readDirEx("dev0:\\docs", 2, 1, records.data(), &delivered), FS_OK);
    sub = records[96 + 4] | (records[96 + 5] << 8);
    ASSERT_EQ(fs().readDirEx("dev0:\\", 0, 1, records.data(), &delivered), FS_OK);
    docs = records[96 + 4] | (records[96 + 5] << 8);
    ASSERT_EQ(fs().readDirEx("dev0:\\docs\\sub", 0, 2, records.data(), &delivered), FS_OK);
    EXPECT_EQ(records[96 + 4] | (records[96 + 5] << 8), static_cast<int>(sub));
    EXPECT_EQ(records[116 + 96 + 4] | (records[116 + 96 + 5] << 8), static_cast<int>(docs));
    EXPECT_EQ(records[96], 0x10);  // attributes: directory
}

TEST_F(DirTest, ReadDirStopsAtTheEndWithTheCountDelivered) {
    touch("dev0:\\A.TXT");
    touch("dev0:\\B.TXT");
    std::vector<uint8_t> records(5 * 16, 0xEE);
    uint32_t delivered = 99;
    EXPECT_EQ(fs().readDir("dev0:\\", 1, 5, records.data(), &delivered), FS_END);
    EXPECT_EQ(delivered, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(records.data()), "B.TXT");
    EXPECT_EQ(fs().readDir("dev0:\\", 0, 0, records.data(), &delivered), FS_OK);
    EXPECT_EQ(delivered, 0u);
    EXPECT_EQ(fs().readDir("dev0:\\NOPE", 0, 1, records.data(), &delivered), FS_NOT_FOUND);
}

TEST_F(DirTest, RemovingDirectories) {
    EXPECT_EQ(fs().removeDir("dev0:\\missing", 0), FS_OK);
    ASSERT_EQ(fs().createDir("dev0:\\full"), FS_OK);
    const uint32_t freeBefore = freeClusters();
    writeFile("dev0:\\full\\data.bin", patternBytes(10000, 2));
    ASSERT_EQ(fs().createDir("dev0:\\full\\inner"), FS_OK);
    writeFile("dev0:\\full\\inner\\more.bin", patternBytes(5000, 3));
    touch("dev0:\\plain.txt");
    EXPECT_EQ(fs().removeDir("dev0:\\plain.txt", 0), FS_INVALID);
    EXPECT_EQ(fs().removeDir("dev0:\\full", 0), FS_NOT_EMPTY);
    EXPECT_EQ(fs().removeDir("dev0:\\full", 1), FS_OK);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"PLAIN.TXT"}));
    // Everything below and the directory's own cluster are free again
    // (plain.txt is empty and holds none).
    EXPECT_EQ(freeClusters(), freeBefore + 1);
    ASSERT_EQ(fs().createDir("dev0:\\empty"), FS_OK);
    EXPECT_EQ(fs().removeDir("dev0:\\empty", 0), FS_OK);
    // Everything is on the card, not only in memory.
    ASSERT_EQ(fs().init(), FS_OK);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"PLAIN.TXT"}));
}

TEST_F(DirTest, LongNamesAreStoredWhenTheyDoNotFit) {
    touch("dev0:\\REPORT.TXT");
    touch("dev0:\\OTHER.TXT");
    EXPECT_EQ(fs().setLongName("dev0:\\REPORT.TXT", terminated(u"rePrt.txt").data()), FS_OK);  // fits
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"REPORT.TXT", "OTHER.TXT"}));
    EXPECT_EQ(longNameOf("dev0:\\", 0), u"");

    EXPECT_EQ(fs().setLongName("dev0:\\REPORT.TXT", terminated(u"Quarterly 2024").data()), FS_OK);
    // The short entry moved behind its two long-name entries at the end.
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"OTHER.TXT", "REPORT.TXT"}));
    EXPECT_EQ(longNameOf("dev0:\\", 1), u"Quarterly 2024");
    EXPECT_EQ(readWhole("dev0:\\REPORT.TXT"), std::vector<uint8_t>{});
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\", &count), FS_OK);
    EXPECT_EQ(count, 2u);

    const std::u16string longest = utf16(std::string(35, 'x') + ".bin");  // 39 characters
    EXPECT_EQ(fs().setLongName("dev0:\\OTHER.TXT", terminated(longest).data()), FS_OK);
    EXPECT_EQ(longNameOf("dev0:\\", 1), longest);
    EXPECT_EQ(fs().setLongName("dev0:\\OTHER.TXT", terminated(longest + u"y").data()), FS_INVALID);
    // Renaming again replaces the old long name.
    EXPECT_EQ(fs().setLongName("dev0:\\OTHER.TXT", terminated(u"short again.bin").data()), FS_OK);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"REPORT.TXT", "OTHER.TXT"}));
    EXPECT_EQ(longNameOf("dev0:\\", 1), u"short again.bin");
    // Removing a file removes its long name too.
    EXPECT_EQ(fs().removeFile("dev0:\\OTHER.TXT"), FS_OK);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"REPORT.TXT"}));
    EXPECT_EQ(longNameOf("dev0:\\", 0), u"Quarterly 2024");
}

TEST_F(DirTest, LongNamesInASubdirectoryGrowIt) {
    ASSERT_EQ(fs().createDir("dev0:\\d"), FS_OK);
    // 2 MB card: 8-sector clusters hold 128 entries.
    for (int i = 0; i < 125; ++i) touch("dev0:\\d\\F" + std::to_string(i) + ".TXT");
    const uint32_t freeBefore = freeClusters();
    EXPECT_EQ(fs().setLongName("dev0:\\d\\F7.TXT", terminated(u"a rather long name.txt").data()), FS_OK);
    EXPECT_EQ(freeClusters(), freeBefore - 1);
    uint32_t count = 0;
    ASSERT_EQ(fs().getListNumDir("dev0:\\d", &count), FS_OK);
    EXPECT_EQ(count, 127u);
    EXPECT_EQ(longNameOf("dev0:\\d", 126), u"a rather long name.txt");
}

TEST_F(DirTest, PathsAndTheirLimits) {
    ASSERT_EQ(fs().createDir("dev0:\\a"), FS_OK);
    touch("dev0:\\a\\f.txt");
    uint32_t size = 7;
    EXPECT_EQ(fs().getSizeFile("dev0:\\a\\f.txt", &size), FS_OK);
    EXPECT_EQ(fs().getSizeFile("dev0:a\\f.txt", &size), FS_INVALID);
    EXPECT_EQ(fs().getSizeFile("dev0:\\", &size), FS_INVALID);
    EXPECT_EQ(fs().getSizeFile("dev0:\\b\\f.txt", &size), FS_NOT_FOUND);
    EXPECT_EQ(fs().getSizeFile("dev0:\\" + std::string(41, 'a') + "\\f.txt", &size), FS_INVALID);
    EXPECT_EQ(fs().getSizeFile("dev0:\\a\\" + std::string(41, 'f'), &size), FS_INVALID);
    EXPECT_EQ(fs().getSizeFile("dev0:\\" + std::string(260, 'a'), &size), FS_INVALID);
    uint32_t count = 0;
    EXPECT_EQ(fs().getListNumDir("dev0:\\a\\", &count), FS_OK);
    EXPECT_EQ(count, 3u);
}

TEST_F(DirTest, NamesWithForbiddenCharactersAreRefused) {
    uint32_t handle = 0;
    for (const char* name : {"A*B.TXT", "Q?.TXT", "PIPE|.TXT", "LT<.TXT", "QUOTE\".TXT", "TAB\t.TXT"}) {
        EXPECT_EQ(fs().createFile(std::string("dev0:\\") + name, 0, &handle), FS_INVALID) << name;
        EXPECT_EQ(fs().createDir(std::string("dev0:\\") + name), FS_INVALID) << name;
    }
    touch("dev0:\\OK.TXT");
    EXPECT_EQ(fs().setLongName("dev0:\\OK.TXT", terminated(u"not: allowed here").data()), FS_INVALID);
    EXPECT_EQ(fs().moveFile("dev0:\\OK.TXT", "dev0:\\B>D.TXT"), FS_INVALID);
    EXPECT_EQ(list("dev0:\\"), (std::vector<std::string>{"OK.TXT"}));
}

TEST_F(DirTest, OnlyDotEntriesMakeADirectoryEmpty) {
    ASSERT_EQ(fs().createDir("dev0:\\HOME"), FS_OK);
    touch("dev0:\\HOME\\PLACE.TXT");
    // An entry whose name begins with a dot, as other systems write them.
    FoundEntry found;
    ASSERT_EQ(fs().directory().findByName(0, "HOME", &found), FS_OK);
    const uint32_t home = found.entry.firstCluster();
    ASSERT_EQ(fs().directory().findByName(home, "PLACE.TXT", &found), FS_OK);
    DirEntry hidden = found.entry;
    const ShortName dotName = {'.', 'P', 'R', 'O', 'F', 'I', 'L', 'E', ' ', ' ', ' '};
    hidden.setName(dotName);
    ASSERT_EQ(fs().directory().writeEntry(found.position, hidden), FS_OK);
    EXPECT_EQ(fs().removeDir("dev0:\\HOME", 0), FS_NOT_EMPTY);
    EXPECT_EQ(list("dev0:\\HOME").size(), 3u);
}

TEST_F(DirTest, RootDirectoryFills) {
    makeCard(16);
    for (int i = 0; i < 256; ++i) touch("dev0:\\F" + std::to_string(i));
    uint32_t handle = 0;
    EXPECT_EQ(fs().createFile("dev0:\\ONEMORE", 0, &handle), FS_ROOT_FULL);
    EXPECT_EQ(fs().createDir("dev0:\\ONEMORE"), FS_ROOT_FULL);
    EXPECT_EQ(fs().removeFile("dev0:\\F100"), FS_OK);
    EXPECT_EQ(fs().createDir("dev0:\\ONEMORE"), FS_OK);  // the deleted slot is reused
    EXPECT_EQ(list("dev0:\\")[100], "ONEMORE");
}

}  // namespace
}  // namespace kestrel::fatfs::test
