// Device items are not host files: they never claim to be file-system
// items, and a file opened with a host program reaches it as a temporary
// host copy, never as its device path.
#include "shellext/temporary_copy.h"
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

}  // namespace
}  // namespace kestrel::shellext::test
