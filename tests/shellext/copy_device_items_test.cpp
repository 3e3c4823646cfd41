// Device items copied and moved between device folders (MoveCopyItems),
// the drop of device items in the extension's own format, and the view's
// Cut and Paste over the OLE clipboard.
#include "platform/byte_order.h"
#include "shellext/private_paste.h"
#include "shellext/transfer.h"
#include "tests/shellext/scripted_device.h"
#include "tests/shellext/transfer_fixture.h"

#include <cstring>

namespace kestrel::shellext::test {
namespace {

using CopyItemsTest = TransferTest;

TEST_F(CopyItemsTest, FilesAndFoldersAreCopiedAndAMoveRemovesTheSource) {
    const auto song = patternBytes(130000, 5);
    device.putBytes("/Music/song.mp3", song);
    device.put("/Music/Live/b.mp3", "b");
    device.put("/Music/Live/Old/c.mp3", "c");
    device.put("/Backup/");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "song.mp3"), item(music, "Live")};
    EXPECT_EQ(backup->MoveCopyItems(music, items, 2, FALSE), S_OK);
    EXPECT_EQ(device.bytes("/Backup/song.mp3"), song);
    EXPECT_EQ(device.text("/Backup/Live/b.mp3"), "b");
    EXPECT_EQ(device.text("/Backup/Live/Old/c.mp3"), "c");
    EXPECT_TRUE(device.exists("/Music/song.mp3")) << "a copy keeps the source";
    EXPECT_EQ(progress->dialogs().size(), 2u) << "a dialog per item";

    LPCITEMIDLIST moved[] = {item(music, "Live")};
    EXPECT_EQ(root->MoveCopyItems(music, moved, 1, TRUE), S_OK);
    EXPECT_EQ(device.text("/Live/Old/c.mp3"), "c");
    EXPECT_FALSE(device.exists("/Music/Live"));
    EXPECT_TRUE(dialogs->seen().empty()) << dialogs->seen().front().text();
}

// A move copies, then removes the source: an entry whose name leads out of
// its folder is neither written elsewhere nor removed, and the folder that
// holds it is not complete, so it stays.
TEST_F(CopyItemsTest, AMoveNeverFollowsNamesThatLeadOutOfTheirFolder) {
    device.put("/Music/a.mp3", "a");
    device.put("/keep.txt", "k");
    device.put("/Dest/");
    device.listAlso("/Music", fileEntry("../keep.txt"));
    DeviceFolder* dest = folderAt("Dest");
    ASSERT_NE(dest, nullptr);
    LPCITEMIDLIST items[] = {item(root, "Music")};
    dialogs->answer({IDOK});
    EXPECT_EQ(dest->MoveCopyItems(root, items, 1, TRUE), E_OUTOFMEMORY) << "nothing was handled whole";
    EXPECT_EQ(device.text("/keep.txt"), "k");
    EXPECT_FALSE(device.exists("/Dest/keep.txt")) << "written outside the copied folder";
    EXPECT_EQ(device.text("/Dest/Music/a.mp3"), "a");
    EXPECT_EQ(device.text("/Music/a.mp3"), "a") << "an incomplete move keeps its source";
    ASSERT_EQ(dialogs->seen().size(), 1u);
    EXPECT_TRUE(dialogs->seen()[0].says("/Music")) << dialogs->seen()[0].text();

    const TestList hostile({fileItem("../keep.txt")});
    LPCITEMIDLIST named[] = {hostile.get()};
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    dialogs->clear();
    dialogs->answer({IDOK});
    EXPECT_EQ(dest->MoveCopyItems(music, named, 1, TRUE), E_OUTOFMEMORY);
    EXPECT_EQ(device.text("/keep.txt"), "k");
    EXPECT_FALSE(device.exists("/Dest/keep.txt"));
}

TEST_F(CopyItemsTest, AnItemIsNeverCopiedOntoItselfNorAFolderIntoItself) {
    device.put("/Music/a.mp3", "precious");
    device.put("/Music/Live/");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* live = folderAt("Music/Live");
    ASSERT_TRUE(music != nullptr && live != nullptr);
    LPCITEMIDLIST self[] = {item(music, "a.mp3")};
    EXPECT_EQ(music->MoveCopyItems(music, self, 1, FALSE), E_OUTOFMEMORY) << "nothing was handled";
    EXPECT_EQ(device.text("/Music/a.mp3"), "precious");
    LPCITEMIDLIST into[] = {item(root, "Music")};
    EXPECT_EQ(live->MoveCopyItems(root, into, 1, TRUE), E_OUTOFMEMORY);
    EXPECT_EQ(device.text("/Music/a.mp3"), "precious");
    EXPECT_FALSE(device.exists("/Music/Live/Music"));
}

// A file of the same name at the destination is the user's: it is replaced
// only after the replace question is answered Yes; No skips the file (a
// move keeps its source), and Yes to All holds for the rest of the paste.
TEST_F(CopyItemsTest, AnExistingFileIsReplacedOnlyAfterTheUserSaysYes) {
    device.put("/Music/a.mp3", "new a");
    device.put("/Music/b.mp3", "new b");
    device.put("/Music/c.mp3", "new c");
    device.put("/Backup/a.mp3", "old a, longer than the new one");
    device.put("/Backup/b.mp3", "old b");
    device.put("/Backup/c.mp3", "old c");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3"), item(music, "b.mp3"), item(music, "c.mp3")};
    dialogs->answer({IDNO, 8});
    EXPECT_EQ(backup->MoveCopyItems(music, items, 3, TRUE), S_OK);
    EXPECT_EQ(device.text("/Backup/a.mp3"), "old a, longer than the new one") << "No keeps the file";
    EXPECT_EQ(device.text("/Music/a.mp3"), "new a") << "a move of a skipped file keeps its source";
    EXPECT_EQ(device.text("/Backup/b.mp3"), "new b");
    EXPECT_FALSE(device.exists("/Music/b.mp3"));
    EXPECT_EQ(device.text("/Backup/c.mp3"), "new c") << "Yes to All holds for the rest of the paste";
    EXPECT_FALSE(device.exists("/Music/c.mp3"));
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_EQ(dialogs->seen()[0].caption, "Confirm File Replace");
    EXPECT_TRUE(dialogs->seen()[0].says("a.mp3")) << dialogs->seen()[0].text();
    EXPECT_TRUE(dialogs->seen()[1].says("b.mp3")) << dialogs->seen()[1].text();

    // The next paste asks again; Yes replaces the file with the new bytes
    // exactly, without a tail of the longer old file.
    dialogs->clear();
    dialogs->answer({IDYES});
    LPCITEMIDLIST again[] = {item(music, "a.mp3")};
    EXPECT_EQ(backup->MoveCopyItems(music, again, 1, FALSE), S_OK);
    EXPECT_EQ(device.text("/Backup/a.mp3"), "new a");
    EXPECT_EQ(device.text("/Music/a.mp3"), "new a") << "a copy keeps its source";
    EXPECT_EQ(dialogs->seen().size(), 1u);
    EXPECT_EQ(dialogs->unanswered(), 0);
}

// A confirmed replace that does not arrive whole puts the old file back,
// and a move keeps its source then.
TEST_F(CopyItemsTest, AReplaceThatFailsOrIsCancelledKeepsBothFiles) {
    const auto song = patternBytes(130000, 6);
    const auto old = patternBytes(61441, 7);  // one byte past a chunk
    device.putBytes("/Music/a.mp3", song);
    device.putBytes("/Backup/a.mp3", old);
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3")};
    device.sizeLimit["/Backup/a.mp3"] = 100000;
    dialogs->answer({IDYES, IDOK});
    EXPECT_EQ(backup->MoveCopyItems(music, items, 1, TRUE), E_OUTOFMEMORY) << "nothing was handled";
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_TRUE(dialogs->seen()[1].says("Error writing to Kestrel '/Backup/a.mp3'")) << dialogs->seen()[1].text();
    EXPECT_EQ(device.bytes("/Backup/a.mp3"), old);
    EXPECT_EQ(device.bytes("/Music/a.mp3"), song) << "the move kept its source";

    device.sizeLimit.clear();
    dialogs->clear();
    dialogs->answer({IDYES});
    progress->cancelAfterProgress(0);
    EXPECT_EQ(backup->MoveCopyItems(music, items, 1, TRUE), E_OUTOFMEMORY);
    EXPECT_EQ(device.bytes("/Backup/a.mp3"), old);
    EXPECT_EQ(device.bytes("/Music/a.mp3"), song);
}

TEST_F(CopyItemsTest, CancelInTheReplaceQuestionEndsTheWholePaste) {
    device.put("/Music/a.mp3", "new a");
    device.put("/Music/b.mp3", "new b");
    device.put("/Backup/a.mp3", "old a");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3"), item(music, "b.mp3")};
    dialogs->answer({IDCANCEL});
    EXPECT_EQ(backup->MoveCopyItems(music, items, 2, TRUE), E_OUTOFMEMORY) << "nothing was handled";
    EXPECT_EQ(device.text("/Backup/a.mp3"), "old a");
    EXPECT_FALSE(device.exists("/Backup/b.mp3")) << "the paste went on after Cancel";
    EXPECT_EQ(device.text("/Music/a.mp3"), "new a");
    EXPECT_EQ(device.text("/Music/b.mp3"), "new b");
    EXPECT_EQ(dialogs->seen().size(), 1u);
}

// A folder pasted onto a folder of the same name asks for each file that is
// already there; a move of a folder with a skipped file keeps the source.
TEST_F(CopyItemsTest, AFolderOntoAnExistingFolderAsksForEachExistingFile) {
    device.put("/Music/Live/x.mp3", "new x");
    device.put("/Music/Live/Old/y.mp3", "new y");
    device.put("/Music/Live/z.mp3", "new z");
    device.put("/Backup/Live/x.mp3", "old x");
    device.put("/Backup/Live/Old/y.mp3", "old y");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "Live")};
    dialogs->answer({IDNO, IDYES});
    EXPECT_EQ(backup->MoveCopyItems(music, items, 1, TRUE), E_OUTOFMEMORY) << "the folder did not arrive whole";
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_EQ(dialogs->unanswered(), 0);
    const bool xAskedFirst = dialogs->seen()[0].says("x.mp3");
    EXPECT_EQ(device.text("/Backup/Live/x.mp3"), xAskedFirst ? "old x" : "new x");
    EXPECT_EQ(device.text("/Backup/Live/Old/y.mp3"), xAskedFirst ? "new y" : "old y");
    EXPECT_TRUE(dialogs->seen()[xAskedFirst ? 1 : 0].says("y.mp3"));
    EXPECT_EQ(device.text("/Backup/Live/z.mp3"), "new z");
    EXPECT_EQ(device.text("/Music/Live/x.mp3"), "new x") << "an incomplete move keeps its source";
    EXPECT_EQ(device.text("/Music/Live/Old/y.mp3"), "new y");
}

TEST_F(CopyItemsTest, TheDeviceItemsBlockIsReadWithinItsBounds) {
    const TestList item1({fileItem("a.txt")});
    const ShellList folder = deviceRootIdentifier();
    auto block = deviceItemsBlock(true, folder.get(), {item1.get()});
    auto read = readDeviceItems(block.data(), block.size());
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->cut);
    ASSERT_EQ(read->items.size(), 1u);
    EXPECT_EQ(readItem(reinterpret_cast<LPCITEMIDLIST>(read->items[0].data())).name, "a.txt");
    EXPECT_FALSE(readDeviceItems(block.data(), 11));
    auto wrongCount = block;
    storeLe32(wrongCount.data() + 4, 0x40000000);
    EXPECT_FALSE(readDeviceItems(wrongCount.data(), wrongCount.size()));
    auto outside = block;
    storeLe32(outside.data() + 12, static_cast<uint32_t>(block.size() - 1));
    EXPECT_FALSE(readDeviceItems(outside.data(), outside.size()));
    auto runaway = block;
    storeLe16(runaway.data() + loadLe32(runaway.data() + 12), 0xFFF0);
    EXPECT_FALSE(readDeviceItems(runaway.data(), runaway.size())) << "an element longer than the block";
}

TEST_F(CopyItemsTest, ACutOfDeviceItemsIsNotLostByTheHostFilePaste) {
    device.put("/Music/a.mp3", "a");
    device.put("/Backup/");
    DeviceFolder* music = folderAt("Music");
    DeviceFolder* backup = folderAt("Backup");
    ASSERT_TRUE(music != nullptr && backup != nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3")};
    ASSERT_EQ(CopyToOleClipboard(music, items, 1, true), S_OK);
    // The clipboard offers device items, but no host files; here in process
    // the Desktop cannot bind their folder, so nothing is pasted, and the
    // cut items must stay where they are.
    EXPECT_EQ(PasteFromOleClipboard(backup), S_FALSE);
    EXPECT_EQ(device.text("/Music/a.mp3"), "a");
    EXPECT_TRUE(dialogs->seen().empty());
    EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
}

}  // namespace
}  // namespace kestrel::shellext::test
