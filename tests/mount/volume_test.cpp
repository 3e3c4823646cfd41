// The mount's operations on both device accesses, without FUSE: files
// across sector, cluster and transfer-block boundaries, changes in place,
// rename, names, removal, times and attributes, volume figures, several
// threads, and a device that stalls or goes away.
#include "mount/names.h"
#include "tests/mount/volume_fixture.h"

#include <algorithm>
#include <cerrno>
#include <thread>

namespace kestrel::mount::test {
namespace {

// Sizes around a sector (512), a cluster and erase block (4096 on this
// card), the filex write block (61,440) and FUSE's 128 KiB requests.
const std::vector<size_t> SIZES = {0, 1, 511, 512, 513, 4095, 4096, 4097, 8193, 61439, 61440, 61441, 131073};

TEST_P(VolumeTest, FilesReadBackAcrossBoundariesAfterARemount) {
    ASSERT_EQ(volume().mkdir("/Deep Folder"), 0);
    ASSERT_EQ(volume().mkdir("/Deep Folder/INNER"), 0);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (size_t i = 0; i < SIZES.size(); ++i) {
        const std::string dir = i % 3 == 0 ? "" : i % 3 == 1 ? "/Deep Folder" : "/Deep Folder/INNER";
        files.emplace_back(dir + "/File number " + std::to_string(i) + ".bin", pattern(SIZES[i], static_cast<uint32_t>(i)));
    }
    for (const auto& [path, bytes] : files) putFile(path, bytes, 4000);
    remount();
    for (const auto& [path, bytes] : files) {
        Attributes attributes;
        ASSERT_EQ(volume().getattr(path, attributes), 0) << path;
        EXPECT_EQ(attributes.size, bytes.size()) << path;
        EXPECT_FALSE(attributes.directory);
        EXPECT_TRUE(getFile(path) == bytes) << path;
    }
    EXPECT_EQ(names("/Deep Folder/INNER").size(), 4u);
    // Found without regard to case; listed in the case given.
    Attributes folder;
    ASSERT_EQ(volume().getattr("/deep folder/inner", folder), 0);
    EXPECT_TRUE(folder.directory);
    EXPECT_EQ(names("/")[0], "Deep Folder");
}

TEST_P(VolumeTest, ChangesInPlaceReachTheCard) {
    const auto original = pattern(10000, 1);
    putFile("/Changing file.bin", original);
    uint64_t handle = 0;
    // Overwrite in the middle and append, through one handle.
    ASSERT_EQ(volume().open("/Changing file.bin", true, false, handle), 0);
    const auto middle = pattern(700, 2);
    ASSERT_EQ(volume().write(handle, 5000, middle.data(), 700), 700);
    const auto tail = pattern(3000, 3);
    ASSERT_EQ(volume().write(handle, 10000, tail.data(), 3000), 3000);
    Attributes attributes;
    ASSERT_EQ(volume().getattr("/Changing file.bin", attributes), 0);
    EXPECT_EQ(attributes.size, 13000u);  // what programs see while it is open
    ASSERT_EQ(volume().release(handle), 0);
    auto expected = original;
    std::copy(middle.begin(), middle.end(), expected.begin() + 5000);
    expected.insert(expected.end(), tail.begin(), tail.end());
    remount();
    EXPECT_TRUE(getFile("/Changing file.bin") == expected);

    // Truncated by path to the middle of a sector, then grown with zeros.
    ASSERT_EQ(volume().truncate("/Changing file.bin", 0, 4097), 0);
    ASSERT_EQ(volume().open("/Changing file.bin", true, false, handle), 0);
    ASSERT_EQ(volume().truncate("", handle, 6000), 0);
    ASSERT_EQ(volume().release(handle), 0);
    expected.resize(4097);
    expected.resize(6000, 0);
    remount();
    EXPECT_TRUE(getFile("/Changing file.bin") == expected);

    // Replaced by a shorter file (O_TRUNC), keeping its name.
    ASSERT_EQ(volume().open("/changing FILE.bin", true, true, handle), 0);
    const auto shorter = pattern(300, 4);
    ASSERT_EQ(volume().write(handle, 0, shorter.data(), 300), 300);
    ASSERT_EQ(volume().release(handle), 0);
    remount();
    EXPECT_TRUE(getFile("/Changing file.bin") == shorter);
    EXPECT_EQ(names("/"), std::vector<std::string>{"Changing file.bin"});
}

TEST_P(VolumeTest, FsyncMakesAFileBeingWrittenDurable) {
    uint64_t handle = 0;
    ASSERT_EQ(volume().create("/Synced file.bin", handle), 0);
    const auto first = pattern(9000, 5);
    ASSERT_EQ(volume().write(handle, 0, first.data(), 9000), 9000);
    ASSERT_EQ(volume().fsync(handle), 0);
    const auto second = pattern(1000, 6);
    ASSERT_EQ(volume().write(handle, 9000, second.data(), 1000), 1000);  // goes on after the sync
    ASSERT_EQ(volume().release(handle), 0);
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    remount();
    EXPECT_TRUE(getFile("/Synced file.bin") == expected);
}

TEST_P(VolumeTest, RenameMovesOrRefusesWithoutLosingAnything) {
    const auto a = pattern(5000, 7);
    const auto b = pattern(7000, 8);
    putFile("/Source file.txt", a);
    putFile("/TARGET.TXT", b);
    ASSERT_EQ(volume().mkdir("/FOLDER"), 0);
    if (!library()) {
        // The file server has no rename: both stay as they were.
        EXPECT_EQ(volume().rename("/Source file.txt", "/TARGET.TXT", false), -EXDEV);
        EXPECT_EQ(volume().rename("/Source file.txt", "/FOLDER/Moved.txt", false), -EXDEV);
        EXPECT_TRUE(getFile("/Source file.txt") == a);
        EXPECT_TRUE(getFile("/TARGET.TXT") == b);
        return;
    }
    EXPECT_EQ(volume().rename("/Source file.txt", "/TARGET.TXT", true), -EEXIST);
    ASSERT_EQ(volume().rename("/Source file.txt", "/TARGET.TXT", false), 0);
    EXPECT_TRUE(getFile("/TARGET.TXT") == a);
    EXPECT_EQ(names("/"), (std::vector<std::string>{"FOLDER", "TARGET.TXT"}));  // nothing set aside stays
    ASSERT_EQ(volume().rename("/TARGET.TXT", "/FOLDER/A much longer name.txt", false), 0);
    ASSERT_EQ(volume().rename("/FOLDER", "/Renamed folder", false), 0);
    EXPECT_EQ(volume().rename("/Renamed folder", "/Short", false), -EINVAL);  // would be listed as SHORT
    EXPECT_EQ(volume().rename("/Renamed folder", "/Renamed folder/Inside", false), -EINVAL);
    EXPECT_EQ(volume().rename("/Renamed folder/A much longer name.txt", "/Renamed folder/bad?name", false), -EINVAL);
    // Only the case changes.
    ASSERT_EQ(volume().rename("/Renamed folder", "/RENAMED FOLDER", false), 0);
    remount();
    EXPECT_EQ(names("/"), std::vector<std::string>{"RENAMED FOLDER"});
    EXPECT_TRUE(getFile("/renamed folder/A much longer name.txt") == a);

    // A directory replaces an empty one, not a full one; kinds must match.
    ASSERT_EQ(volume().mkdir("/Empty folder"), 0);
    EXPECT_EQ(volume().rename("/Empty folder", "/RENAMED FOLDER", false), -ENOTEMPTY);
    EXPECT_EQ(volume().rename("/RENAMED FOLDER/A much longer name.txt", "/Empty folder", false), -EISDIR);
    ASSERT_EQ(volume().mkdir("/Other folder"), 0);
    ASSERT_EQ(volume().rename("/Other folder", "/Empty folder", false), 0);
    EXPECT_EQ(names("/"), (std::vector<std::string>{"Empty folder", "RENAMED FOLDER"}));
}

TEST_P(VolumeTest, RenamingAnOpenFileKeepsItsHandleWorking) {
    if (!library()) GTEST_SKIP() << "the file server has no rename";
    uint64_t handle = 0;
    ASSERT_EQ(volume().create("/Open while moved.bin", handle), 0);
    const auto first = pattern(5000, 9);
    ASSERT_EQ(volume().write(handle, 0, first.data(), 5000), 5000);
    ASSERT_EQ(volume().rename("/Open while moved.bin", "/Moved while open.bin", false), 0);
    const auto second = pattern(100, 10);
    ASSERT_EQ(volume().write(handle, 5000, second.data(), 100), 100);
    ASSERT_EQ(volume().release(handle), 0);
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    remount();
    EXPECT_EQ(names("/"), std::vector<std::string>{"Moved while open.bin"});
    EXPECT_TRUE(getFile("/Moved while open.bin") == expected);
}

TEST_P(VolumeTest, NamesTheCardCannotHoldAreRefusedNotChanged) {
    uint64_t handle = 0;
    const std::string longest(39, 'n');
    ASSERT_EQ(volume().create("/" + longest, handle), 0);
    ASSERT_EQ(volume().release(handle), 0);
    EXPECT_EQ(volume().create("/" + longest + "x", handle), -ENAMETOOLONG);
    EXPECT_EQ(volume().mkdir("/" + longest + "x"), -ENAMETOOLONG);
    for (const char* bad : {"/a*b", "/what?", "/pipe|name", "/trailing.", "/trailing ", "/tab\tname", "/caf\xc3\xa9"}) {
        EXPECT_EQ(volume().create(bad, handle), -EINVAL) << bad;
        EXPECT_EQ(volume().mkdir(bad), -EINVAL) << bad;
    }
    // 8.3-sized names: the library would list them in capitals.
    const int32_t lower = volume().create("/notes.txt", handle);
    if (library()) {
        EXPECT_EQ(lower, -EINVAL);
        EXPECT_EQ(volume().mkdir("/a b.c"), -EINVAL);
    } else {
        ASSERT_EQ(lower, 0);
        ASSERT_EQ(volume().release(handle), 0);
    }
    if (library()) {
        ASSERT_EQ(volume().create("/NOTES.TXT", handle), 0);
        ASSERT_EQ(volume().release(handle), 0);
    }
    remount();
    std::vector<std::string> expected = {library() ? "NOTES.TXT" : "notes.txt", longest};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names("/"), expected);
    // A name taken in any case exists already.
    EXPECT_EQ(volume().mkdir("/" + std::string(39, 'N')), -EEXIST);
}

TEST_P(VolumeTest, AskedForCapitalsTheLibraryStoresSmallLetteredShortNamesInCapitals) {
    if (!library()) GTEST_SKIP() << "the file server keeps the case of every name";
    remount(true);
    const auto text = pattern(700, 5);
    putFile("/notes.txt", text);
    ASSERT_EQ(volume().mkdir("/Music"), 0);
    EXPECT_EQ(volume().mkdir("/MUSIC"), -EEXIST);
    // More than the case would change: still refused.
    EXPECT_EQ(volume().mkdir("/a b.c"), -EINVAL);
    putFile("/Music/Song one.mp3", text);
    ASSERT_EQ(volume().rename("/notes.txt", "/todo.txt", false), 0);
    remount(true);
    EXPECT_EQ(names("/"), (std::vector<std::string>{"MUSIC", "TODO.TXT"}));
    EXPECT_EQ(names("/music"), std::vector<std::string>{"Song one.mp3"});
    EXPECT_TRUE(getFile("/todo.txt") == text);
    // Without the option the same kind of name is refused again.
    remount(false);
    uint64_t handle = 0;
    EXPECT_EQ(volume().create("/other.txt", handle), -EINVAL);
    EXPECT_EQ(volume().rename("/TODO.TXT", "/done.txt", false), -EINVAL);
}

TEST_P(VolumeTest, RemovalFollowsTheFileSystemRules) {
    ASSERT_EQ(volume().mkdir("/FOLDER"), 0);
    putFile("/FOLDER/Inside file.bin", pattern(2000, 11));
    EXPECT_EQ(volume().rmdir("/FOLDER"), -ENOTEMPTY);
    EXPECT_EQ(volume().rmdir("/FOLDER/Inside file.bin"), -ENOTDIR);
    EXPECT_EQ(volume().unlink("/FOLDER"), -EISDIR);
    EXPECT_EQ(volume().unlink("/FOLDER/missing.bin"), -ENOENT);
    EXPECT_EQ(volume().mkdir("/folder"), library() ? -EINVAL : -EEXIST);
    EXPECT_EQ(volume().mkdir("/FOLDER"), -EEXIST);
    ASSERT_EQ(volume().unlink("/folder/inside FILE.bin"), 0);
    ASSERT_EQ(volume().rmdir("/FOLDER"), 0);
    Attributes attributes;
    EXPECT_EQ(volume().getattr("/FOLDER", attributes), -ENOENT);
    remount();
    EXPECT_TRUE(names("/").empty());
}

TEST_P(VolumeTest, AnUnlinkedOpenFileStaysReadableAndIsNotWrittenBack) {
    const auto bytes = pattern(6000, 12);
    putFile("/Doomed file.bin", bytes);
    uint64_t handle = 0;
    ASSERT_EQ(volume().open("/Doomed file.bin", true, false, handle), 0);
    ASSERT_EQ(volume().unlink("/Doomed file.bin"), 0);
    std::vector<uint8_t> back(6000);
    EXPECT_EQ(volume().read(handle, 0, back.data(), 6000), 6000);
    EXPECT_TRUE(back == bytes);
    EXPECT_EQ(volume().write(handle, 0, bytes.data(), 10), 10);
    EXPECT_EQ(volume().release(handle), 0);
    remount();
    EXPECT_TRUE(names("/").empty());
}

TEST_P(VolumeTest, TimesAndTheReadOnlyAttribute) {
    putFile("/Stamped file.txt", pattern(100, 13));
    std::tm fields{};
    fields.tm_year = 2004 - 1900;
    fields.tm_mon = 6;
    fields.tm_mday = 14;
    fields.tm_hour = 9;
    fields.tm_min = 30;
    fields.tm_sec = 3;  // kept in two-second steps
    fields.tm_isdst = -1;
    const std::time_t when = std::mktime(&fields);
    const int32_t set = volume().utimens("/Stamped file.txt", {TimeChange::Kind::At, when});
    Attributes attributes;
    if (library()) {
        ASSERT_EQ(set, 0);
        remount();
        ASSERT_EQ(volume().getattr("/Stamped file.txt", attributes), 0);
        EXPECT_EQ(attributes.changed, when - 1);
        // The time it has already is no change.
    } else {
        EXPECT_EQ(set, -EPERM);
        ASSERT_EQ(volume().getattr("/Stamped file.txt", attributes), 0);
        EXPECT_EQ(volume().utimens("/Stamped file.txt", {TimeChange::Kind::At, attributes.changed}), 0);
    }
    EXPECT_EQ(volume().utimens("/Stamped file.txt", {TimeChange::Kind::At, 0}), -EINVAL);  // 1970: before FAT's time
    EXPECT_EQ(volume().utimens("/Stamped file.txt", {TimeChange::Kind::Leave, 0}), 0);

    EXPECT_EQ(volume().chmod("/Stamped file.txt", 0644), 0);  // as it is
    const int32_t readOnly = volume().chmod("/Stamped file.txt", 0444);
    uint64_t handle = 0;
    if (library()) {
        ASSERT_EQ(readOnly, 0);
        remount();
        ASSERT_EQ(volume().getattr("/Stamped file.txt", attributes), 0);
        EXPECT_TRUE(attributes.readOnly);
        EXPECT_EQ(volume().open("/Stamped file.txt", true, false, handle), -EACCES);
        EXPECT_EQ(volume().truncate("/Stamped file.txt", 0, 0), -EACCES);
        ASSERT_EQ(volume().open("/Stamped file.txt", false, false, handle), 0);
        EXPECT_EQ(volume().release(handle), 0);
        EXPECT_EQ(volume().chmod("/Stamped file.txt", 0600), 0);
        ASSERT_EQ(volume().getattr("/Stamped file.txt", attributes), 0);
        EXPECT_FALSE(attributes.readOnly);
    } else {
        EXPECT_EQ(readOnly, -EPERM);
    }
    EXPECT_EQ(volume().chmod("/", 0555), -EPERM);
}

TEST_P(VolumeTest, VolumeFiguresComeFromTheCard) {
    VolumeSpace before;
    const int32_t result = volume().statfs(before);
    if (!library()) {
        EXPECT_EQ(result, -ENOSYS);
        return;
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(before.clusterBytes, CLUSTER_BYTES);
    EXPECT_GT(before.totalBytes, 1900000u);
    EXPECT_LE(before.totalBytes, CARD_MB * 1024u * 1024u);
    EXPECT_LE(before.freeBytes, before.totalBytes);
    putFile("/Eleven thousand.bin", pattern(11000, 14));
    VolumeSpace after;
    ASSERT_EQ(volume().statfs(after), 0);
    EXPECT_EQ(before.freeBytes - after.freeBytes, 3u * CLUSTER_BYTES);
}

TEST_P(VolumeTest, CallsFromSeveralThreadsDoNotMix) {
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            const std::string path = "/Thread file " + std::to_string(t) + ".bin";
            putFile(path, pattern(20000 + t * 1000, 20 + t), 1024);
            EXPECT_TRUE(getFile(path) == pattern(20000 + t * 1000, 20 + t)) << path;
        });
    }
    for (auto& thread : threads) thread.join();
    remount();
    for (uint32_t t = 0; t < 4; ++t) {
        const std::string path = "/Thread file " + std::to_string(t) + ".bin";
        EXPECT_TRUE(getFile(path) == pattern(20000 + t * 1000, 20 + t)) << path;
    }
}

TEST_P(VolumeTest, AnUnpluggedDeviceTurnsEveryCallIntoEio) {
    const auto kept = pattern(9000, 30);
    putFile("/Closed before.bin", kept);
    uint64_t handle = 0;
    ASSERT_EQ(volume().create("/Open during.bin", handle), 0);
    const auto data = pattern(4096, 31);
    ASSERT_EQ(volume().write(handle, 0, data.data(), 4096), 4096);
    ASSERT_EQ(simCommand("unplug"), "ok");
    // The write may still land in a buffer; the flush must reach the card.
    (void)volume().write(handle, 4096, data.data(), 4096);
    EXPECT_EQ(volume().flush(handle), -EIO);
    Attributes attributes;
    EXPECT_EQ(volume().getattr("/Closed before.bin", attributes), -EIO);
    EXPECT_EQ(volume().mkdir("/Later"), -EIO);
    EXPECT_EQ(volume().release(handle), -EIO);
    unmount();  // ends without hanging
    ASSERT_EQ(simCommand("replug"), "ok");
    remount();
    EXPECT_TRUE(getFile("/Closed before.bin") == kept);
}

TEST_P(VolumeTest, AStalledDeviceTurnsCallsIntoEio) {
    const auto kept = pattern(9000, 32);
    putFile("/Closed before.bin", kept);
    uint64_t handle = 0;
    ASSERT_EQ(volume().open("/Closed before.bin", false, false, handle), 0);
    ASSERT_EQ(simCommand("stall 1"), "ok");
    std::vector<uint8_t> back(9000);
    EXPECT_EQ(volume().read(handle, 0, back.data(), 9000), -EIO);
    Attributes attributes;
    EXPECT_EQ(volume().getattr("/", attributes), -EIO);
    EXPECT_EQ(volume().release(handle), -EIO);
    unmount();
    remount();
    EXPECT_TRUE(getFile("/Closed before.bin") == kept);
}

INSTANTIATE_TEST_SUITE_P(Both, VolumeTest, ::testing::Values(Access::Library, Access::FileServer), accessName);

TEST(MountNames, NewNamesAreCheckedAtTheirLimits) {
    EXPECT_EQ(checkNewName(std::string(39, 'a')), 0);
    EXPECT_EQ(checkNewName(std::string(40, 'a')), -ENAMETOOLONG);
    EXPECT_EQ(checkNewName(""), -EINVAL);
    EXPECT_EQ(checkNewName("."), -EINVAL);
    EXPECT_EQ(checkNewName(".."), -EINVAL);
    EXPECT_EQ(checkNewName(".hidden"), 0);
    EXPECT_EQ(checkNewName(" leading space"), 0);
    EXPECT_EQ(checkNewName("del\x7f"), -EINVAL);
    EXPECT_EQ(checkNewName("~!#$%&'()-@^_`{}+,;=[]"), 0);
    NodePath path;
    EXPECT_EQ(splitPath("//A//b/", path), 0);
    EXPECT_EQ(path, (NodePath{"A", "b"}));
    EXPECT_EQ(splitPath("/" + std::string(40, 'x'), path), -ENAMETOOLONG);
    EXPECT_TRUE(samePath({"A", "bc"}, {"a", "BC"}));
    EXPECT_FALSE(samePath({"A"}, {"A", "B"}));
    EXPECT_TRUE(isWithin({"A", "B"}, {"a"}));
    EXPECT_FALSE(isWithin({"AB"}, {"A"}));
}

}  // namespace
}  // namespace kestrel::mount::test
