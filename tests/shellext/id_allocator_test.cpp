// Item identifiers as the extension builds and reads them: the layout byte
// for byte, the list operations, and the handling of identifiers that are
// not what they claim to be.
#include "shellext/id_allocator.h"
#include "shellext/type_text.h"
#include "tests/shellext/harness/item_lists.h"
#include "tests/shellext/scripted_device.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::shellext::test {
namespace {

class IdAllocatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(allocator); }
    void TearDown() override {
        for (LPITEMIDLIST list : made_) allocator->free(list);
        allocator.reset();
        EXPECT_EQ(ServerModule::instance().liveObjects(), 0) << "an allocator outlived the test";
    }
    // Keeps a list for freeing at the end.
    LPITEMIDLIST keep(LPITEMIDLIST list) {
        if (list != nullptr) made_.push_back(list);
        return list;
    }
    static std::vector<uint8_t> bytesOf(LPCITEMIDLIST list, size_t count) {
        const auto* b = reinterpret_cast<const uint8_t*>(list);
        return std::vector<uint8_t>(b, b + count);
    }
    size_t blockSize(LPCITEMIDLIST list) const { return allocator->malloc()->GetSize(const_cast<LPITEMIDLIST>(list)); }

    std::unique_ptr<IdAllocator> allocator = IdAllocator::create();

private:
    std::vector<LPITEMIDLIST> made_;
};

TEST_F(IdAllocatorTest, ANewItemIsAOneElementListOfThirtyNinePlusNPlusTZeroedBytes) {
    const auto entry = directoryEntry("a.txt", 0x21, 1234, 0x7123, 0x2C67);
    LPITEMIDLIST item = keep(allocator->buildItem(entry, ItemType::File, "Text Document"));
    ASSERT_NE(item, nullptr);

    const size_t n = 6, t = 13;
    EXPECT_EQ(blockSize(item), 39 + n + t);
    EXPECT_EQ(readItem(item).cb, 52) << "33 + N + T for a.txt with a 13-character type text";

    TestItem expected{TYPE_FILE, "a.txt", "Text Document", 1234, 0x21, 0x7123, 0x2C67};
    std::vector<uint8_t> wanted = elementBytes(expected);
    wanted.insert(wanted.end(), 6, 0);  // terminator and three more zero bytes
    EXPECT_EQ(bytesOf(item, wanted.size()), wanted);
}

TEST_F(IdAllocatorTest, NamesFromTheDeviceNeverRunPastTheirField) {
    // The device may send a name that fills all 276 bytes without a zero:
    // the attributes and sizes after it must not become part of the name.
    auto entry = unterminatedEntry('n', 0x20);
    entry.setFileSize(0x41414141);
    LPITEMIDLIST item = keep(allocator->buildItem(entry, ItemType::File, "File"));
    ASSERT_NE(item, nullptr);
    const ReadItem read = readItem(item);
    EXPECT_EQ(read.name, std::string(275, 'n'));
    EXPECT_EQ(read.nameLength, 276u);
    EXPECT_EQ(read.cb, 33 + 276 + 4);
    EXPECT_EQ(read.size, 0x41414141u);
    EXPECT_TRUE(read.paddingZero);
    EXPECT_EQ(IdAllocator::nameText(item), std::string(275, 'n'));
}

TEST_F(IdAllocatorTest, EveryOperationTakesNoList) {
    char buffer[8] = "x";
    EXPECT_EQ(IdAllocator::next(nullptr), nullptr);
    EXPECT_EQ(IdAllocator::size(nullptr), 0u);
    EXPECT_EQ(IdAllocator::last(nullptr), nullptr);
    EXPECT_EQ(IdAllocator::data(nullptr), nullptr);
    EXPECT_EQ(IdAllocator::name(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(IdAllocator::path(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_FALSE(IdAllocator::isFolderLike(nullptr));
    EXPECT_EQ(IdAllocator::type(nullptr), ItemType::None);
    EXPECT_EQ(allocator->clone(nullptr), nullptr);
    EXPECT_EQ(allocator->concatenate(nullptr, nullptr), nullptr);
}

TEST_F(IdAllocatorTest, ListsAreWalkedMeasuredCopiedAndJoined) {
    const TestList music({diskItem("Music"), folderItem("Live"), fileItem("b.mp3", 9, "MP3")});
    const TestList one({fileItem("c.txt")});
    const size_t elements = music.bytes().size() - 3;

    EXPECT_EQ(IdAllocator::size(music.get()), elements + 3);
    EXPECT_EQ(IdAllocator::size(TestList().get()), 3u) << "an empty list is its terminator";
    EXPECT_EQ(IdAllocator::last(TestList().get()), nullptr);
    EXPECT_EQ(IdAllocator::nameText(IdAllocator::last(music.get())), "b.mp3");
    EXPECT_EQ(IdAllocator::type(IdAllocator::next(music.get())), ItemType::Folder);
    EXPECT_EQ(IdAllocator::data(music.get()), music.bytes().data() + 2);
    EXPECT_EQ(IdAllocator::pathText(music.get()), "Music/Live/b.mp3");

    LPITEMIDLIST copy = keep(allocator->clone(music.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(bytesOf(copy, music.bytes().size()), music.bytes());
    EXPECT_EQ(blockSize(copy), music.bytes().size());

    LPITEMIDLIST joined = keep(allocator->concatenate(music.get(), one.get()));
    std::vector<uint8_t> wanted(music.bytes().begin(), music.bytes().end() - 3);
    wanted.insert(wanted.end(), one.bytes().begin(), one.bytes().end());
    EXPECT_EQ(bytesOf(joined, wanted.size()), wanted);
    EXPECT_EQ(blockSize(joined), wanted.size());

    LPITEMIDLIST onlySecond = keep(allocator->concatenate(nullptr, one.get()));
    EXPECT_EQ(bytesOf(onlySecond, one.bytes().size()), one.bytes());
    LPITEMIDLIST onlyFirst = keep(allocator->concatenate(one.get(), nullptr));
    EXPECT_EQ(bytesOf(onlyFirst, one.bytes().size()), one.bytes());
}

TEST_F(IdAllocatorTest, AShellListEndingAtItsBlockIsCopiedWithoutReadingPastIt) {
    // Lists from the shell end with two zero bytes. Put one at the very end
    // of a readable page, before a page that faults on any access.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    auto* pages = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));

    uint8_t foreign[22] = {20, 0, 0x2E, 0};  // a 20-byte class item, then 0, 0
    std::memset(foreign + 4, 0x5A, 16);
    uint8_t* list = pages + page - sizeof foreign;
    std::memcpy(list, foreign, sizeof foreign);

    LPITEMIDLIST copy = keep(allocator->clone(reinterpret_cast<LPCITEMIDLIST>(list)));
    ASSERT_NE(copy, nullptr);
    std::vector<uint8_t> wanted(foreign, foreign + 20);
    wanted.insert(wanted.end(), 3, 0);
    EXPECT_EQ(bytesOf(copy, wanted.size()), wanted);
    EXPECT_EQ(IdAllocator::type(copy), ItemType::None) << "not one of our elements";
    EXPECT_EQ(IdAllocator::nameText(copy), "");
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(IdAllocatorTest, NameAndPathFitTheCallersBuffer) {
    const TestList music({diskItem("Music"), folderItem("Live"), fileItem("a.txt")});
    LPCITEMIDLIST file = IdAllocator::last(music.get());
    char name[16];
    EXPECT_EQ(IdAllocator::name(file, name, 4), 3u);
    EXPECT_STREQ(name, "a.t");
    EXPECT_EQ(IdAllocator::name(file, name, sizeof name), 5u) << "at most N bytes, the name and its zero";
    EXPECT_STREQ(name, "a.txt");

    char path[32];
    EXPECT_EQ(IdAllocator::path(music.get(), path, sizeof path), 16u);
    EXPECT_STREQ(path, "Music/Live/a.txt");
    EXPECT_EQ(IdAllocator::path(music.get(), path, 8), 7u);
    EXPECT_STREQ(path, "Music/L");

    EXPECT_EQ(IdAllocator::path(music.get(), nullptr, 32), 0u);
    auto* readOnly = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(IdAllocator::path(music.get(), readOnly, 32), 0u) << "an unwritable buffer gives 0";
    VirtualFree(readOnly, 0, MEM_RELEASE);
}

TEST_F(IdAllocatorTest, ElementsThatDoNotAddUpReadAsNoItem) {
    std::vector<uint8_t> bad = elementBytes(folderItem("Music"));
    bad.insert(bad.end(), 3, 0);
    std::vector<uint8_t> lying = bad;
    lying[22] = 200;  // N larger than the element
    std::vector<uint8_t> unterminated = bad;
    unterminated[30 + 5] = 'X';  // the name's zero overwritten

    for (const auto* list : {&lying, &unterminated}) {
        auto element = reinterpret_cast<LPCITEMIDLIST>(list->data());
        EXPECT_EQ(IdAllocator::type(element), ItemType::None);
        EXPECT_FALSE(IdAllocator::isFolderLike(element));
        EXPECT_EQ(IdAllocator::nameText(element), "");
        char name[8] = "x";
        EXPECT_EQ(IdAllocator::name(element, name, sizeof name), 0u);
        EXPECT_STREQ(name, "");
    }
}

std::string noSystemName(const std::string&) { return {}; }
std::string lastAsked;
std::string recordingLookup(const std::string& extension) {
    lastAsked = extension;
    return "Looked Up";
}

TEST(TypeTextTest, FoldersAreNamedAndFilesAskTheSystemAboutTheirExtension) {
    EXPECT_EQ(itemTypeText(ItemType::Disk, "Music", recordingLookup), "Disk");
    EXPECT_EQ(itemTypeText(ItemType::Folder, "Live", recordingLookup), "Folder");
    lastAsked = "-";
    EXPECT_EQ(itemTypeText(ItemType::File, "archive.tar.gz", recordingLookup), "Looked Up");
    EXPECT_EQ(lastAsked, ".tar.gz") << "from the first dot on";
    EXPECT_EQ(itemTypeText(ItemType::File, "README", recordingLookup), "Looked Up");
    EXPECT_EQ(lastAsked, "");

    EXPECT_EQ(itemTypeText(ItemType::File, "a.xyz", noSystemName), ".XYZ File");
    EXPECT_EQ(itemTypeText(ItemType::File, "song.Mp3", noSystemName), ".MP3 File");
}

}  // namespace
}  // namespace kestrel::shellext::test
