// Listing device folders: what the enumerator lists and how, against a
// scripted device that hands out exactly the records a test gives it.
#include "platform/named_mutex.h"
#include "shellext/item_enumerator.h"
#include "tests/shellext/harness/com_testing.h"
#include "tests/shellext/harness/item_lists.h"
#include "tests/shellext/scripted_device.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrel::shellext::test {
namespace {

constexpr DWORD ALL = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;

class EnumeratorTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(device.openListings(), 0) << "a listing was left open";
        EXPECT_EQ(ServerModule::instance().liveObjects(), 0) << "an object outlived the test";
    }

    ComRef<IEnumIDList> open(const std::string& path, DWORD flags = ALL, bool complete = true) {
        ItemEnumerator* made = deadbeef<ItemEnumerator>();
        const HRESULT result = ItemEnumerator::create(device, DevicePath{path, complete}, flags, &made);
        EXPECT_EQ(result, S_OK) << hresultText(result);
        return ComRef<IEnumIDList>(SUCCEEDED(result) ? made : nullptr);
    }

    // Everything the enumerator still delivers, one Next(1) at a time.
    static std::vector<ReadItem> drain(IEnumIDList* enumerator) {
        std::vector<ReadItem> items;
        for (;;) {
            LPITEMIDLIST item = deadbeef<ITEMIDLIST>();
            ULONG fetched = 0xdeadbeef;
            const HRESULT next = enumerator->Next(1, &item, &fetched);
            if (next != S_OK) {
                EXPECT_EQ(next, S_FALSE);
                EXPECT_EQ(fetched, 0u);
                return items;
            }
            items.push_back(readItem(item));
            CoTaskMemFree(item);
        }
    }

    std::vector<ReadItem> list(const std::string& path, DWORD flags = ALL) {
        auto enumerator = open(path, flags);
        if (!enumerator) return {};
        auto items = drain(enumerator.get());
        expectLastRelease(enumerator, "enumerator");
        return items;
    }

    ScriptedDevice device;
};

TEST_F(EnumeratorTest, FoldersInTheRootAreDisksAndFoldersBelowItAreFolders) {
    device.setFolder("/", {folderEntry("Music"), fileEntry("a.txt", 6)});
    device.setFolder("/Music", {folderEntry("."), folderEntry(".."), folderEntry("Music")});

    const auto root = list("");
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[0].name, "Music");
    EXPECT_EQ(root[0].type, TYPE_DISK);
    EXPECT_EQ(root[0].typeText, "Disk");
    EXPECT_EQ(root[1].type, TYPE_FILE);
    EXPECT_EQ(root[1].size, 6u);

    const auto below = list("/Music");
    ASSERT_EQ(below.size(), 1u);
    EXPECT_EQ(below[0].type, TYPE_FOLDER);
    EXPECT_EQ(below[0].typeText, "Folder");
    EXPECT_EQ(device.listed(), (std::vector<std::string>{"/", "/Music"})) << "the root is listed as \"/\"";
}

TEST_F(EnumeratorTest, RecordsBecomeItemsFieldForField) {
    device.setFolder("/", {directoryEntry("r.bin", 0x27, 0x12345678, 0x7123, 0x2C67)});
    const auto items = list("");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].attributes, 0x27u);
    EXPECT_EQ(items[0].size, 0x12345678u);
    EXPECT_EQ(items[0].dosTime, 0x7123u);
    EXPECT_EQ(items[0].dosDate, 0x2C67u);
    EXPECT_EQ(items[0].cb, 33 + items[0].nameLength + items[0].typeLength);
    EXPECT_TRUE(items[0].paddingZero);
}

TEST_F(EnumeratorTest, VolumeLabelsAndDotEntriesAreNeverListed) {
    device.setFolder("/", {directoryEntry("KESTREL", filex::ATTR_VOLUME_LABEL),
                           directoryEntry("LABELDIR", filex::ATTR_VOLUME_LABEL | filex::ATTR_DIRECTORY),
                           folderEntry("."), folderEntry(".."), fileEntry("..."), folderEntry("..x")});
    EXPECT_EQ(namesOf(list("")), (std::vector<std::string>{"...", "..x"}));
    EXPECT_EQ(namesOf(list("", SHCONTF_FOLDERS)), (std::vector<std::string>{"..x"}));
    EXPECT_EQ(namesOf(list("", SHCONTF_NONFOLDERS)), (std::vector<std::string>{"..."}));
}

TEST_F(EnumeratorTest, NamesThatCouldReachAnotherEntryOrThatFatCannotHoldAreNeverListed) {
    device.setFolder("/", {folderEntry("x/.."), folderEntry("Music"), folderEntry("a\\b"), fileEntry("../keep.txt"),
                           fileEntry("a:b"), fileEntry("q?"), fileEntry("star*"), fileEntry("pipe|"),
                           fileEntry("lt<"), fileEntry("gt>"), fileEntry("quote\""), fileEntry(std::string("tab\t")),
                           fileEntry(std::string("del\x7f")), fileEntry("/"), fileEntry("ok.txt"),
                           fileEntry("caf\xe9 & co (1).txt")});
    EXPECT_EQ(namesOf(list("")), (std::vector<std::string>{"Music", "ok.txt", "caf\xe9 & co (1).txt"}));
}

// A damaged card whose directory goes round in circles: readdir delivers
// entries without end (here: until a far limit, so that a listing without a
// bound of its own still ends and is seen).
class LoopingDevice final : public DeviceFiles {
public:
    static constexpr uint32_t FAR_LIMIT = 3 * 65536;
    uint32_t reads = 0;
    bool open_ = false;
    int32_t opendir(const char*) override {
        open_ = true;
        return 7;
    }
    int32_t readdir(int32_t, filex::FilexDirEntry* record) override {
        if (reads == FAR_LIMIT) return 0;
        *record = fileEntry("loop" + std::to_string(reads++ % 3) + ".txt");
        return 1;
    }
    int32_t closedir(int32_t) override {
        open_ = false;
        return 0;
    }
    int32_t open(const char*, int32_t) override { return -1; }
    int32_t fstat(int32_t, filex::FilexStat*) override { return -1; }
    int32_t read(int32_t, void*, uint32_t) override { return -1; }
    int32_t lseek(int32_t, int32_t, int32_t) override { return -1; }
    int32_t write(int32_t, const void*, uint32_t) override { return -1; }
    int32_t close(int32_t) override { return -1; }
    int32_t unlink(const char*) override { return -1; }
    int32_t mkdir(const char*, int32_t) override { return -1; }
    int32_t rmdir(const char*) override { return -1; }
};

TEST_F(EnumeratorTest, AListingThatGoesRoundInCirclesEndsAtTheLargestFatDirectory) {
    LoopingDevice looping;
    ItemEnumerator* made = nullptr;
    ASSERT_EQ(ItemEnumerator::create(looping, DevicePath{"/Music", true}, ALL, &made), S_OK);
    ComRef<IEnumIDList> enumerator(made);
    EXPECT_EQ(looping.reads, 65536u) << "a FAT directory holds at most 65536 entries";
    EXPECT_FALSE(looping.open_) << "the listing is closed";
    EXPECT_EQ(enumerator->Skip(65535), S_OK);
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    EXPECT_EQ(enumerator->Skip(1), S_FALSE) << "65536 items at most";
    expectLastRelease(enumerator, "enumerator");
}

TEST_F(EnumeratorTest, FlagsChooseFoldersOrFilesInListingOrder) {
    device.setFolder("/Music", {fileEntry("a.txt"), folderEntry("Sub"), fileEntry("b.txt"),
                                directoryEntry("h.sys", 0x06), folderEntry("Zed")});
    EXPECT_EQ(namesOf(list("/Music", SHCONTF_NONFOLDERS)), (std::vector<std::string>{"a.txt", "b.txt", "h.sys"}))
        << "files after a folder are still listed; hidden and system ones too";
    EXPECT_EQ(namesOf(list("/Music", SHCONTF_FOLDERS)), (std::vector<std::string>{"Sub", "Zed"}));
    EXPECT_EQ(namesOf(list("/Music", SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN)).size(), 5u);
    EXPECT_TRUE(list("/Music", 0).empty());
}

TEST_F(EnumeratorTest, TheWholeListingRunsUnderTheListingMutex) {
    device.setFolder("/", {fileEntry("a"), fileEntry("b")});
    int probes = 0;
    device.duringListing = [&] {
        // Another thread (as another process would) cannot take the mutex.
        std::thread other([&] {
            auto mutex = platform::NamedMutex::open(ENUM_LIST_MUTEX);
            ASSERT_TRUE(mutex);
            EXPECT_EQ(mutex->lock(0), platform::WaitResult::TimedOut);
        });
        other.join();
        ++probes;
    };
    EXPECT_EQ(list("").size(), 2u);
    EXPECT_EQ(probes, 3) << "every read of the listing, the last one included";

    std::thread after([] {
        auto mutex = platform::NamedMutex::open(ENUM_LIST_MUTEX);
        ASSERT_TRUE(mutex);
        EXPECT_EQ(mutex->lock(0), platform::WaitResult::Signalled) << "released once the listing is closed";
        mutex->unlock();
    });
    after.join();
}

TEST_F(EnumeratorTest, NextSkipAndResetWalkTheList) {
    device.setFolder("/", {fileEntry("1"), fileEntry("2"), fileEntry("3")});
    auto enumerator = open("");
    ASSERT_TRUE(enumerator);
    LPITEMIDLIST items[5] = {deadbeef<ITEMIDLIST>(), deadbeef<ITEMIDLIST>(), deadbeef<ITEMIDLIST>(),
                             deadbeef<ITEMIDLIST>(), deadbeef<ITEMIDLIST>()};
    EXPECT_EQ(enumerator->Next(5, items, nullptr), E_INVALIDARG);
    EXPECT_EQ(items[0], deadbeef<ITEMIDLIST>()) << "nothing delivered";

    ULONG fetched = 0xdeadbeef;
    EXPECT_EQ(enumerator->Next(0, items, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    EXPECT_EQ(enumerator->Next(5, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(readItem(items[0]).name, "2");
    EXPECT_EQ(readItem(items[1]).name, "3");
    EXPECT_EQ(items[2], deadbeef<ITEMIDLIST>()) << "only what was delivered is written";
    CoTaskMemFree(items[0]);
    CoTaskMemFree(items[1]);
    EXPECT_EQ(enumerator->Next(1, items, nullptr), S_FALSE) << "an exhausted list";
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);

    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(4), S_FALSE) << "the list ends before four steps";
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(3), S_OK);
    EXPECT_EQ(device.listed().size(), 1u) << "Reset only rewinds";
    expectLastRelease(enumerator, "enumerator");
}

TEST_F(EnumeratorTest, ACloneListsTheFolderAfreshFromTheSamePlace) {
    device.setFolder("/", {fileEntry("a"), fileEntry("b"), fileEntry("c"), fileEntry("d")});
    auto enumerator = open("");
    ASSERT_TRUE(enumerator);
    for (int i = 0; i < 2; ++i) {
        LPITEMIDLIST item = nullptr;
        ASSERT_EQ(enumerator->Next(1, &item, nullptr), S_OK);
        CoTaskMemFree(item);
    }
    // The folder changed since the first listing.
    device.setFolder("/", {fileEntry("new"), fileEntry("a"), fileEntry("b"), fileEntry("c"), fileEntry("d")});
    ComRef<IEnumIDList> clone;
    ASSERT_EQ(enumerator->Clone(clone.out()), S_OK);
    EXPECT_EQ(device.listed().size(), 2u) << "the clone read the device again";
    EXPECT_EQ(namesOf(drain(clone.get())), (std::vector<std::string>{"b", "c", "d"}))
        << "the third entry of the fresh listing onwards";
    EXPECT_EQ(namesOf(drain(enumerator.get())), (std::vector<std::string>{"c", "d"}));
    expectLastRelease(clone, "clone");
    expectLastRelease(enumerator, "enumerator");
}

TEST_F(EnumeratorTest, AFolderThatCannotBeOpenedListsNothing) {
    EXPECT_TRUE(list("/gone").empty());
    EXPECT_EQ(device.listed(), (std::vector<std::string>{"/gone"}));
}

TEST_F(EnumeratorTest, UnterminatedNamesAreCutAtTheirField) {
    device.setFolder("/", {unterminatedEntry('d', filex::ATTR_DIRECTORY), unterminatedEntry('f', 0x20),
                           fileEntry("after")});
    const auto items = list("");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name, std::string(275, 'd'));
    EXPECT_EQ(items[0].type, TYPE_DISK);
    EXPECT_EQ(items[1].name, std::string(275, 'f'));
    EXPECT_EQ(items[2].name, "after");
}

TEST_F(EnumeratorTest, PathsThatDoNotFitAreNeverListed) {
    device.setFolder("/" + std::string(258, 'p'), {fileEntry("inside")});
    EXPECT_EQ(list("/" + std::string(258, 'p')).size(), 1u) << "259 characters fit";
    EXPECT_TRUE(list("/" + std::string(259, 'p')).empty());
    device.setFolder("/Music", {fileEntry("x")});
    ItemEnumerator* cut = nullptr;
    ASSERT_EQ(ItemEnumerator::create(device, DevicePath{"/Music", false}, ALL, &cut), S_OK);
    ComRef<IEnumIDList> owned(cut);
    EXPECT_TRUE(drain(owned.get()).empty()) << "a path that had to be cut may name another folder";
    expectLastRelease(owned, "enumerator");
    EXPECT_EQ(device.listed().size(), 1u);
}

TEST_F(EnumeratorTest, AnswersOnlyItsOwnInterfaces) {
    device.setFolder("/", {});
    auto enumerator = open("");
    ASSERT_TRUE(enumerator);
    ComRef<IUnknown> unknown;
    EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, unknown.outVoid()), S_OK);
    ComRef<IShellFolder> folder;
    EXPECT_EQ(enumerator->QueryInterface(IID_IShellFolder, folder.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(folder.cleared());
    EXPECT_EQ(unknown.release(), 1u);
    expectLastRelease(enumerator, "enumerator");
}

}  // namespace
}  // namespace kestrel::shellext::test
