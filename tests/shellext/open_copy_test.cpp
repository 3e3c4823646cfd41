// Device items are not host files: they never claim to be file-system
// items, and a file opened with a host program reaches it as a temporary
// host copy, never as its device path. The copies go once they are stale,
// and nothing else of the host's temporary folder does.
#include "shellext/temporary_copy.h"
#include "shellext/temporary_sweep.h"
#include "tests/shellext/transfer_fixture.h"

#include <fstream>
#include <iterator>

namespace kestrel::shellext::test {
namespace {

using OpenCopyTest = TransferTest;

std::vector<uint8_t> hostBytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string parentFolder(const std::string& path) { return path.substr(0, path.rfind('\\')); }

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

constexpr uint64_t UNITS_PER_SECOND = 10'000'000;

uint64_t currentTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Gives the file creation and last write times `seconds` before `now`.
void age(const std::string& path, uint64_t now, uint64_t seconds) {
    const uint64_t then = now - seconds * UNITS_PER_SECOND;
    const FILETIME time{static_cast<DWORD>(then), static_cast<DWORD>(then >> 32)};
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(SetFileTime(file, &time, &time, &time)) << path;
    CloseHandle(file);
}

void writeHostFile(const std::string& path) { std::ofstream(path, std::ios::binary) << "host"; }

TEST_F(OpenCopyTest, NoDeviceItemClaimsToBeAFileSystemItem) {
    device.put("/Music/a.mp3", "a");
    device.put("/b.txt", "b");
    SFGAOF attributes = SFGAO_FILESYSTEM;
    EXPECT_EQ(root->GetAttributesOf(0, nullptr, &attributes), S_OK);
    EXPECT_EQ(attributes & SFGAO_FILESYSTEM, 0u) << "the folder itself";
    EXPECT_NE(attributes & SFGAO_FOLDER, 0u);
    LPCITEMIDLIST disk[] = {item(root, "Music")};
    attributes = SFGAO_FILESYSTEM;
    EXPECT_EQ(root->GetAttributesOf(1, disk, &attributes), S_OK);
    EXPECT_EQ(attributes & SFGAO_FILESYSTEM, 0u);
    EXPECT_NE(attributes & SFGAO_FOLDER, 0u);
    LPCITEMIDLIST file[] = {item(root, "b.txt")};
    attributes = SFGAO_FILESYSTEM;
    EXPECT_EQ(root->GetAttributesOf(1, file, &attributes), S_OK);
    EXPECT_EQ(attributes & SFGAO_FILESYSTEM, 0u);
    EXPECT_NE(attributes & SFGAO_CANCOPY, 0u);
}

TEST_F(OpenCopyTest, AnOpenedFileIsATemporaryHostCopyInAFolderOfItsOwn) {
    const auto bytes = patternBytes(150000, 4);
    device.putBytes("/Music/song.mp3", bytes);
    const auto copy = copyToTemporaryHostFile(device, "/Music/song.mp3", "song.mp3");
    ASSERT_TRUE(copy.has_value());
    char temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    EXPECT_EQ(copy->rfind(temp, 0), 0u) << *copy << " lies below " << temp;
    EXPECT_EQ(copy->substr(copy->size() - 9), "\\song.mp3");
    EXPECT_EQ(hostBytesOf(*copy), bytes);
    EXPECT_EQ(device.openFiles(), 0);

    // A second open gets its own folder; a name the host cannot hold is
    // made a host name.
    device.put("/a:b?.txt", "odd");
    const auto odd = copyToTemporaryHostFile(device, "/a:b?.txt", "a:b?.txt");
    ASSERT_TRUE(odd.has_value());
    EXPECT_NE(parentFolder(*odd), parentFolder(*copy));
    EXPECT_EQ(odd->substr(parentFolder(*odd).size()), "\\a_b_.txt");
    EXPECT_EQ(hostBytesOf(*odd), (std::vector<uint8_t>{'o', 'd', 'd'}));
    EXPECT_TRUE(dialogs->seen().empty());
    for (const std::string& path : {*copy, *odd}) {
        EXPECT_TRUE(DeleteFileA(path.c_str()));
        EXPECT_TRUE(RemoveDirectoryA(parentFolder(path).c_str()));
    }
}

TEST_F(OpenCopyTest, AFileThatCannotBeReadWholeLeavesNoCopy) {
    dialogs->answer({IDOK});
    EXPECT_FALSE(copyToTemporaryHostFile(device, "/gone.txt", "gone.txt").has_value());
    ASSERT_EQ(dialogs->seen().size(), 1u);
    EXPECT_EQ(dialogs->seen()[0].caption, "filex");
    EXPECT_TRUE(dialogs->seen()[0].says("/gone.txt")) << dialogs->seen()[0].text();
    EXPECT_EQ(device.openFiles(), 0);
}

TEST_F(OpenCopyTest, StaleCopiesGoAndEverythingElseStays) {
    device.put("/old.txt", "o");
    device.put("/young.txt", "y");
    device.put("/busy.txt", "b");
    device.put("/nested.txt", "n");
    const auto old = copyToTemporaryHostFile(device, "/old.txt", "old.txt");
    const auto young = copyToTemporaryHostFile(device, "/young.txt", "young.txt");
    const auto busy = copyToTemporaryHostFile(device, "/busy.txt", "busy.txt");
    const auto nested = copyToTemporaryHostFile(device, "/nested.txt", "nested.txt");
    ASSERT_TRUE(old && young && busy && nested);
    const auto base = temporaryCopiesFolder();
    ASSERT_TRUE(base.has_value());
    EXPECT_EQ(parentFolder(parentFolder(*old)), *base) << "a copy lies in the extension's own folder";
    EXPECT_TRUE(isCopyFolderName(parentFolder(*old).substr(base->size() + 1)));

    const uint64_t now = currentTime();
    const uint64_t stale = STALE_COPY_AGE_SECONDS;
    age(*old, now, stale + 60);
    age(*young, now, stale - 60);
    age(*busy, now, stale + 60);
    age(*nested, now, stale + 60);
    // What the extension did not make: a folder of another name in its
    // folder of copies, and a subfolder in a folder of a copy.
    const std::string foreign = *base + "\\0000000g-00000000";
    CreateDirectoryA(foreign.c_str(), nullptr);
    writeHostFile(foreign + "\\keep.txt");
    age(foreign + "\\keep.txt", now, stale + 60);
    const std::string inner = parentFolder(*nested) + "\\inner";
    CreateDirectoryA(inner.c_str(), nullptr);
    // A program still reads the busy copy.
    HANDLE reader = CreateFileA(busy->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    EXPECT_EQ(removeStaleTemporaryCopies(now), 1u);
    EXPECT_FALSE(exists(*old));
    EXPECT_FALSE(exists(parentFolder(*old))) << "the emptied folder of the copy stays";
    EXPECT_TRUE(exists(*young)) << "a copy its program may still use";
    EXPECT_TRUE(exists(*busy)) << "a copy a program holds open";
    EXPECT_TRUE(exists(*nested)) << "a folder holding what the extension did not put there";
    EXPECT_TRUE(exists(foreign + "\\keep.txt")) << "a folder not named as a folder of copies";

    CloseHandle(reader);
    EXPECT_EQ(removeStaleTemporaryCopies(now), 1u) << "the busy copy, once it is let go";
    EXPECT_FALSE(exists(parentFolder(*busy)));
    EXPECT_TRUE(exists(*young));

    RemoveDirectoryA(inner.c_str());
    for (const std::string& path : {*young, *nested, foreign + "\\keep.txt"}) {
        EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
        EXPECT_TRUE(RemoveDirectoryA(parentFolder(path).c_str())) << path;
    }
}

TEST_F(OpenCopyTest, ReleasingTheDeviceRootRemovesStaleCopies) {
    device.put("/song.mp3", "s");
    DeviceFolder* other = nullptr;
    ASSERT_EQ(DeviceFolder::createRoot(device, &other), S_OK);
    const auto copy = copyToTemporaryHostFile(device, "/song.mp3", "song.mp3");
    ASSERT_TRUE(copy.has_value());
    age(*copy, currentTime(), STALE_COPY_AGE_SECONDS + 60);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_FALSE(exists(*copy)) << "a stale copy outlived the folder";
    if (exists(*copy)) {
        DeleteFileA(copy->c_str());
        RemoveDirectoryA(parentFolder(*copy).c_str());
    }
}

}  // namespace
}  // namespace kestrel::shellext::test
