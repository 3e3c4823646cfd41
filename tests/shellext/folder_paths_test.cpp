// Device paths of folders made from untrusted names: long names must not
// overrun anything, and a path that had to be cut must never be used,
// because the cut path can name another folder of the device.
#include "shellext/device_folder.h"
#include "shellext/device_names.h"
#include "tests/shellext/harness/com_testing.h"
#include "tests/shellext/harness/item_lists.h"
#include "tests/shellext/scripted_device.h"

#include <gtest/gtest.h>

namespace kestrel::shellext::test {
namespace {

class FolderPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceFolder* root = nullptr;
        ASSERT_EQ(DeviceFolder::createRoot(device, &root), S_OK);
        root_ = ComRef<IShellFolder>(static_cast<IShellFolder*>(static_cast<IDeviceFolder*>(root)));
    }
    void TearDown() override {
        if (root_) expectLastRelease(root_, "root folder");
        EXPECT_EQ(ServerModule::instance().liveObjects(), 0) << "an object outlived the test";
    }

    ComRef<IShellFolder> bind(IShellFolder* folder, const TestList& list) {
        ComRef<IShellFolder> child;
        EXPECT_EQ(folder->BindToObject(list.get(), nullptr, IID_IShellFolder, child.outVoid()), S_OK);
        return child;
    }
    std::vector<std::string> names(IShellFolder* folder) {
        ComRef<IEnumIDList> enumerator;
        EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, enumerator.out()), S_OK);
        std::vector<std::string> found;
        LPITEMIDLIST item = nullptr;
        while (enumerator && enumerator->Next(1, &item, nullptr) == S_OK) {
            found.push_back(readItem(item).name);
            CoTaskMemFree(item);
        }
        enumerator.reset();
        return found;
    }

    ScriptedDevice device;
    ComRef<IShellFolder> root_;
};

TEST_F(FolderPathsTest, AFolderWhosePathHadToBeCutListsNothing) {
    // "/" + 250 characters + "/bbbbbbbbbbbb" is too long; cut to 259
    // characters it would read ".../bbbbbbbb", a sibling that exists.
    const std::string longName(250, 'L');
    device.setFolder("/" + longName + "/bbbbbbbb", {fileEntry("wrong folder")});
    auto top = bind(root_.get(), TestList({diskItem(longName)}));
    ASSERT_TRUE(top);
    auto deep = bind(top.get(), TestList({folderItem("bbbbbbbbbbbb")}));
    ASSERT_TRUE(deep);
    EXPECT_TRUE(names(deep.get()).empty());
    EXPECT_TRUE(device.listed().empty()) << "the device was asked for " << device.listed().front();
    expectLastRelease(deep, "deep folder");
    expectLastRelease(top, "top folder");
}

TEST_F(FolderPathsTest, FullPathsOfUpTo259CharactersAreListed) {
    const std::string fits(258, 'f');  // "/" + 258
    const std::string tooLong(259, 't');
    device.setFolder("/" + fits, {fileEntry("inside")});
    device.setFolder("/" + tooLong, {fileEntry("inside")});
    auto listed = bind(root_.get(), TestList({diskItem(fits)}));
    auto refused = bind(root_.get(), TestList({diskItem(tooLong)}));
    ASSERT_TRUE(listed && refused);
    EXPECT_EQ(names(listed.get()), (std::vector<std::string>{"inside"}));
    EXPECT_TRUE(names(refused.get()).empty());
    EXPECT_EQ(device.listed(), (std::vector<std::string>{"/" + fits}));
    expectLastRelease(listed, "folder");
    expectLastRelease(refused, "folder");
}

TEST_F(FolderPathsTest, DisplayNamesOfLongPathsAreCutWithoutOverrun) {
    const std::string longName(275, 'n');
    const TestList deep({diskItem(longName), folderItem(longName), fileItem(longName)});
    STRRET name;
    ASSERT_EQ(root_->GetDisplayNameOf(deep.get(), SHGDN_FORPARSING, &name), S_OK);
    const std::string full = strretText(name);
    EXPECT_EQ(full.size(), 259u);
    EXPECT_EQ(full, ("/" + longName).substr(0, 259));
    ASSERT_EQ(root_->GetDisplayNameOf(deep.get(), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(strretText(name), longName.substr(0, 259)) << "every form is cut to 259 characters";
}

// The names and paths the actions that change the device accept.
TEST(DeviceNamesTest, OnlyNamesOfExactlyOneEntryAreActionable) {
    for (const char* name : {"a", "...", "..x", "x..", ".hidden", "a b.txt", "\xe9t\xe9", "~$x", "[1]+;=,"})
        EXPECT_TRUE(isActionableName(name)) << name;
    for (const char* name : {"", ".", "..", "x/..", "/", "a/b", "a\\b", "\\", "c:", "a*", "a?", "\"a", "<", ">", "|",
                             "a\tb", "\x01", "\x7f", "\x1f"})
        EXPECT_FALSE(isActionableName(name)) << name;
    EXPECT_FALSE(isActionableName(std::string("a\0b", 3))) << "a zero inside the name";
}

TEST(DeviceNamesTest, ChildPathsAreBuiltOnlyFromActionableNames) {
    EXPECT_EQ(deviceChildPath("", "a.txt"), std::optional<std::string>("/a.txt"));
    EXPECT_EQ(deviceChildPath("/Music/Live", "b"), std::optional<std::string>("/Music/Live/b"));
    EXPECT_EQ(deviceChildPath("/Music", ".."), std::nullopt);
    EXPECT_EQ(deviceChildPath("/Music", "x/.."), std::nullopt);
    EXPECT_EQ(deviceChildPath("/Music", "../keep.txt"), std::nullopt);
    EXPECT_EQ(deviceChildPath("/x/..", "a"), std::nullopt) << "a folder path that leads out";
    EXPECT_EQ(deviceChildPath("/", "a"), std::nullopt) << "the root is the empty path";
    EXPECT_EQ(deviceChildPath("Music", "a"), std::nullopt) << "a folder path without its leading slash";
}

TEST(DeviceNamesTest, APathForAnActionStaysInsideItsFolder) {
    EXPECT_TRUE(isActionablePath("/a"));
    EXPECT_TRUE(isActionablePath("/Music/a.mp3"));
    for (const char* path : {"", "/", "a", "//a", "/a/", "/a//b", "/a/../b", "/a/./b", "/..", "/a/b:c"})
        EXPECT_FALSE(isActionablePath(path)) << path;
    EXPECT_TRUE(isPathInside("", "/a.txt"));
    EXPECT_TRUE(isPathInside("/Music", "/Music/a.mp3"));
    EXPECT_TRUE(isPathInside("/Music", "/Music/Live/a.mp3"));
    EXPECT_FALSE(isPathInside("/Music", "/Music")) << "the folder itself";
    EXPECT_FALSE(isPathInside("/Music", "/MusicBox/a")) << "a sibling that starts alike";
    EXPECT_FALSE(isPathInside("/Music", "/Music/../keep.txt"));
    EXPECT_FALSE(isPathInside("/Music", "/keep.txt"));
    EXPECT_FALSE(isPathInside("", "/x/../Music"));
    EXPECT_FALSE(isPathInside("/x/..", "/x/../a"));
}

}  // namespace
}  // namespace kestrel::shellext::test
