// Deleting device items: the questions, the progress dialog per item, the
// recursive removal of a folder, failures, and the change told to views.
#include "shellext/notify_views.h"
#include "tests/shellext/scripted_device.h"
#include "tests/shellext/transfer_fixture.h"

#include <vector>

namespace kestrel::shellext::test {
namespace {

using DeleteTest = TransferTest;

TEST_F(DeleteTest, OneFileAsksWithItsFullDevicePath) {
    device.put("/Music/a.mp3", "a");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3")};
    dialogs->answer({IDNO});
    EXPECT_EQ(music->DeleteItems(items, 1), E_ABORT);
    EXPECT_TRUE(device.exists("/Music/a.mp3"));
    dialogs->answer({IDYES});
    EXPECT_EQ(music->DeleteItems(items, 1), S_OK);
    EXPECT_FALSE(device.exists("/Music/a.mp3"));
    ASSERT_EQ(dialogs->seen().size(), 2u);
    for (const auto& seen : dialogs->seen()) {
        EXPECT_EQ(seen.caption, "filex");
        EXPECT_TRUE(seen.says("Are you sure to delete file '/Music/a.mp3's?")) << seen.text();
        EXPECT_NE(std::find(seen.buttons.begin(), seen.buttons.end(), IDYES), seen.buttons.end());
        EXPECT_NE(std::find(seen.buttons.begin(), seen.buttons.end(), IDNO), seen.buttons.end());
    }
    ASSERT_EQ(progress->dialogs().size(), 2u) << "made for each item, shown only after Yes";
    EXPECT_FALSE(progress->dialogs()[0]->started);
    const auto& dialog = *progress->dialogs()[1];
    EXPECT_EQ(narrow(dialog.title), "Deleting ...");
    EXPECT_EQ(narrow(dialog.lines[1]), "/Music/a.mp3");
    EXPECT_EQ(dialog.startFlags,
              static_cast<DWORD>(PROGDLG_MODAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE | PROGDLG_NOPROGRESSBAR));
    EXPECT_TRUE(dialog.stopped);
}

TEST_F(DeleteTest, TwoItemsAskOnlyTheMultiItemQuestionAndAFolderGoesWithEverythingBelow) {
    device.put("/Music/Live/Old/x.mp3", "x");
    device.put("/Music/Live/b.mp3", "b");
    device.put("/Music/a.mp3", "a");
    device.put("/a.txt", "a");
    device.put("/kept.txt", "k");
    LPCITEMIDLIST items[] = {item(root, "Music"), item(root, "a.txt")};
    dialogs->answer({IDNO});
    EXPECT_EQ(root->DeleteItems(items, 2), E_ABORT);
    EXPECT_TRUE(device.exists("/Music/a.mp3"));
    dialogs->answer({IDYES});
    EXPECT_EQ(root->DeleteItems(items, 2), S_OK);
    EXPECT_EQ(device.paths(), std::vector<std::string>{"/kept.txt"});
    ASSERT_EQ(dialogs->seen().size(), 2u) << "no question per item";
    EXPECT_TRUE(dialogs->seen()[1].says("Are you sure you want to delete these 2 items?"));
    EXPECT_EQ(progress->dialogs().size(), 2u);

    device.put("/Solo/inner.txt", "i");
    LPCITEMIDLIST solo[] = {item(root, "Solo")};
    dialogs->answer({IDYES});
    EXPECT_EQ(root->DeleteItems(solo, 1), S_OK);
    EXPECT_TRUE(dialogs->seen().back().says("Are you sure to delete folder '/Solo' and all its contents?"));
    EXPECT_FALSE(device.exists("/Solo"));
}

TEST_F(DeleteTest, AFolderWhoseLastEntryCannotBeDeletedReturnsThatErrorWithoutAFolderMessage) {
    device.put("/Box/a.txt", "a");
    device.put("/Box/z.txt", "z");
    device.refuseUnlink.insert("/Box/z.txt");
    LPCITEMIDLIST items[] = {item(root, "Box")};
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(root->DeleteItems(items, 1), E_FAIL);
    EXPECT_TRUE(device.exists("/Box/z.txt"));
    EXPECT_FALSE(device.exists("/Box/a.txt"));
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_TRUE(dialogs->seen()[1].says("Can not delete file '/Box/z.txt'")) << dialogs->seen()[1].text();

    // When the device refuses the folder itself after its entries went.
    device.refuseUnlink.clear();
    device.refuseRmdir.insert("/Box");
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(root->DeleteItems(items, 1), E_FAIL);
    EXPECT_TRUE(dialogs->seen().back().says("Can not delete folder '/Box'")) << dialogs->seen().back().text();
    EXPECT_TRUE(device.isFolder("/Box"));
}

TEST_F(DeleteTest, AFailedItemLetsTheFollowingItemsGo) {
    device.put("/a.txt", "a");
    device.put("/b.txt", "b");
    device.refuseUnlink.insert("/a.txt");
    LPCITEMIDLIST items[] = {item(root, "a.txt"), item(root, "b.txt")};
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(root->DeleteItems(items, 2), S_OK) << "the result of the last item";
    EXPECT_TRUE(device.exists("/a.txt"));
    EXPECT_FALSE(device.exists("/b.txt"));
}

// Names come from the device's file server: one that holds a separator or
// is ".." would resolve to other entries, and deleting through it emptied
// the root.
TEST_F(DeleteTest, NamesThatLeadOutOfTheirFolderAreNeverDeleted) {
    device.put("/Music/a.mp3", "a");
    device.put("/keep.txt", "k");
    device.put("/gone.txt", "g");
    device.listAlso("/", folderEntry("x/.."));
    const TestList hostile({diskItem("x/..")});
    LPCITEMIDLIST items[] = {item(root, "gone.txt"), hostile.get()};
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(root->DeleteItems(items, 2), E_FAIL) << "the result of the last item";
    EXPECT_EQ(device.paths(), (std::vector<std::string>{"/Music/", "/Music/a.mp3", "/keep.txt"}));
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_TRUE(dialogs->seen()[1].says("x/..")) << dialogs->seen()[1].text();

    const TestList nested({diskItem("Music"), fileItem("../keep.txt")});
    dialogs->clear();
    dialogs->answer({IDOK});
    EXPECT_EQ(root->DeleteItems(std::vector<LPCITEMIDLIST>{nested.get()}.data(), 1), E_FAIL);
    EXPECT_TRUE(device.exists("/keep.txt"));
    dialogs->answer({IDOK, IDOK});
    EXPECT_EQ(root->DeleteDeviceFile("/Music/../keep.txt"), E_FAIL);
    EXPECT_EQ(root->DeleteDeviceFolder("/x/.."), E_FAIL);
    EXPECT_TRUE(device.exists("/keep.txt"));
    EXPECT_TRUE(device.exists("/Music/a.mp3"));
    EXPECT_EQ(dialogs->unanswered(), 0);
}

TEST_F(DeleteTest, AFolderListingANameThatLeadsOutKeepsThatEntryAndItself) {
    device.put("/Music/a.mp3", "a");
    device.put("/keep.txt", "k");
    device.listAlso("/Music", fileEntry("../keep.txt"));
    LPCITEMIDLIST items[] = {item(root, "Music")};
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(root->DeleteItems(items, 1), E_FAIL);
    EXPECT_TRUE(device.exists("/keep.txt")) << "the entry outside the folder";
    EXPECT_FALSE(device.exists("/Music/a.mp3"));
    EXPECT_TRUE(device.exists("/Music")) << "a folder with an entry left in it stays";
}

// A view as the notification reaches it.
struct RecordingView {
    std::vector<std::string> calls;
    std::string nameOf(LPCITEMIDLIST list) { return list == nullptr ? "-" : readItem(list).name; }
    void Refresh() { calls.push_back("refresh"); }
    void appendItem(LPCITEMIDLIST item) { calls.push_back("append " + nameOf(item)); }
    void removeItem(LPCITEMIDLIST item) { calls.push_back("remove " + nameOf(item)); }
    void renameItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
        calls.push_back("rename " + nameOf(item) + " " + nameOf(newItem));
    }
    void updateItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
        calls.push_back("update " + nameOf(item) + " " + nameOf(newItem));
    }
};

TEST_F(DeleteTest, ViewsOfTheFolderHearWhatChanged) {
    const TestList a({fileItem("a.txt")});
    const TestList b({fileItem("b.txt")});
    RecordingView view;
    applyViewChange(view, SHCNE_DELETE, a.get(), nullptr);
    applyViewChange(view, SHCNE_RMDIR, b.get(), nullptr);
    applyViewChange(view, SHCNE_CREATE, a.get(), nullptr);
    applyViewChange(view, SHCNE_MKDIR, b.get(), nullptr);
    applyViewChange(view, SHCNE_RENAMEITEM, a.get(), b.get());
    applyViewChange(view, SHCNE_RENAMEFOLDER, b.get(), a.get());
    applyViewChange(view, SHCNE_UPDATEITEM, a.get(), a.get());
    applyViewChange(view, SHCNE_ATTRIBUTES, a.get(), nullptr);
    applyViewChange(view, SHCNE_DELETE, nullptr, nullptr);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"remove a.txt", "remove b.txt", "append a.txt", "append b.txt",
                                                    "rename a.txt b.txt", "rename b.txt a.txt",
                                                    "update a.txt a.txt", "refresh"}));

    device.put("/Music/");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    const ShellList copy(ILClone(root->absoluteId()));
    EXPECT_TRUE(sameFolder(root->absoluteId(), copy.get()));
    EXPECT_FALSE(sameFolder(root->absoluteId(), music->absoluteId()));
    EXPECT_FALSE(sameFolder(music->absoluteId(), root->absoluteId()));
}

}  // namespace
}  // namespace kestrel::shellext::test
