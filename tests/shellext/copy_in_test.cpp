// Host files and folders dropped onto a device folder: through the folder's
// drop target (the test is the drag source), in 61,440-byte chunks under one
// progress dialog, with the replace question kept for the whole drop.
#include "platform/win32/unique_handle.h"
#include "shellext/transfer.h"
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/menu_picker.h"
#include "tests/shellext/harness/shell_browser_double.h"
#include "tests/shellext/harness/test_window.h"
#include "tests/shellext/transfer_fixture.h"

#include <map>

namespace kestrel::shellext::test {
namespace {

constexpr DWORD ANY_EFFECT = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

class CopyInTest : public TransferTest {
protected:
    // Drops `paths` onto `folder` as Explorer does; the effect Drop chose.
    DWORD drop(DeviceFolder* folder, const std::vector<std::string>& paths, DWORD keys = 0,
               DWORD allowed = ANY_EFFECT, HRESULT expected = S_OK) {
        ComRef<IDropTarget> target;
        EXPECT_EQ(folder->CreateViewObject(window.child(), IID_IDropTarget, target.outVoid()), S_OK);
        if (!target) return 0xdeadbeef;
        FileDropData data(paths);
        DWORD effect = allowed;
        EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON | keys, POINTL{5, 5}, &effect), S_OK);
        effect = allowed;
        EXPECT_EQ(target->DragOver(keys, POINTL{6, 6}, &effect), S_OK);
        effect = allowed;
        EXPECT_EQ(target->Drop(&data, keys, POINTL{6, 6}, &effect), expected);
        expectLastRelease(target, "drop target");
        return effect;
    }
    std::vector<uint32_t> writeSizes(const std::string& path) const {
        std::vector<uint32_t> sizes;
        for (const auto& write : device.writes())
            if (write.path == path) sizes.push_back(write.length);
        return sizes;
    }
    TestWindow window;
};

TEST_F(CopyInTest, AFileArrivesInChunksOf61440BytesWithItsPercentages) {
    const auto bytes = patternBytes(150000, 7);
    const std::string host = hostFile("song.mp3", bytes);
    EXPECT_EQ(drop(root, {host}), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(device.bytes("/song.mp3"), bytes);
    EXPECT_EQ(writeSizes("/song.mp3"), (std::vector<uint32_t>{61440, 61440, 27120}));
    ASSERT_EQ(progress->dialogs().size(), 1u) << "one dialog for the whole drop";
    const auto& dialog = *progress->dialogs()[0];
    EXPECT_EQ(narrow(dialog.title), "File copy to Kestrel ...");
    EXPECT_EQ(narrow(dialog.cancelMessage), "Cancelling...");
    EXPECT_EQ(dialog.animation, 103u);
    EXPECT_EQ(narrow(dialog.lines[1]), host);
    EXPECT_EQ(narrow(dialog.lines[2]), "/song.mp3");
    ASSERT_EQ(dialog.line3.size(), 3u);
    EXPECT_NE(narrow(dialog.line3[0]).find("(40%)"), std::string::npos) << narrow(dialog.line3[0]);
    EXPECT_NE(narrow(dialog.line3[1]).find("(81%)"), std::string::npos) << narrow(dialog.line3[1]);
    EXPECT_NE(narrow(dialog.line3[2]).find("(100%)"), std::string::npos) << narrow(dialog.line3[2]);
    EXPECT_NE(narrow(dialog.line3[2]).find(" of "), std::string::npos);
    ASSERT_EQ(dialog.progress.size(), 3u);
    EXPECT_EQ(dialog.progress[0], (std::pair<uint64_t, uint64_t>{61440, 150000}));
    EXPECT_EQ(dialog.progress[2], (std::pair<uint64_t, uint64_t>{150000, 150000}));
    EXPECT_TRUE(dialog.started && dialog.stopped);
    EXPECT_EQ(dialog.startFlags, static_cast<DWORD>(PROGDLG_MODAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE));
    EXPECT_EQ(dialog.owner, window.frame()) << "the folder's owner window";
    EXPECT_EQ(device.opens().back(), (std::pair<std::string, int32_t>{"/song.mp3", 0x201}));
    EXPECT_TRUE(dialogs->seen().empty());
}

TEST_F(CopyInTest, AFolderTreeArrivesWholeAndAnEmptyFolderArrivesEmpty) {
    hostFile("Album\\one.mp3", "1");
    hostFile("Album\\Disc 2\\two.mp3", std::string(70000, '2'));
    hostFile("Album\\Disc 2\\Bonus\\three.txt", "3");
    const std::string empty = hostFolder() + "\\Empty";
    ASSERT_TRUE(CreateDirectoryA(empty.c_str(), nullptr));
    device.put("/Music/");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    drop(music, {hostFolder() + "\\Album", empty});
    EXPECT_EQ(device.paths(), (std::vector<std::string>{"/Music/", "/Music/Album/", "/Music/Album/Disc 2/",
                                                        "/Music/Album/Disc 2/Bonus/", "/Music/Album/Disc 2/Bonus/three.txt",
                                                        "/Music/Album/Disc 2/two.mp3", "/Music/Album/one.mp3",
                                                        "/Music/Empty/"}));
    EXPECT_EQ(device.text("/Music/Album/Disc 2/two.mp3"), std::string(70000, '2'));
    ASSERT_EQ(progress->dialogs().size(), 1u);
    EXPECT_EQ(progress->dialogs()[0]->progress.back(), (std::pair<uint64_t, uint64_t>{70002, 70002}))
        << "the total counts every file of the tree";
}

TEST_F(CopyInTest, AnExistingFileAsksAndYesToAllHoldsForTheRestOfTheDrop) {
    device.put("/a.txt", "old a, longer than the new one");
    device.put("/b.txt", "old b");
    device.put("/c.txt", "old c");
    const std::string a = hostFile("a.txt", "new a");
    const std::string b = hostFile("b.txt", "new b");
    const std::string c = hostFile("c.txt", "new c");
    dialogs->answer({IDNO, 8});
    drop(root, {a, b, c});
    EXPECT_EQ(device.text("/a.txt"), "old a, longer than the new one") << "No keeps the file";
    EXPECT_EQ(device.text("/b.txt"), "new b");
    EXPECT_EQ(device.text("/c.txt"), "new c") << "Yes to All holds for the rest of the drop";
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_EQ(dialogs->seen()[0].caption, "Confirm File Replace");
    EXPECT_TRUE(dialogs->seen()[0].says("a.txt"));
    EXPECT_TRUE(dialogs->seen()[0].says("Are you sure you want to overwrite this item?"));
    EXPECT_TRUE(dialogs->seen()[1].says("b.txt"));

    // The next drop asks again; a replaced file is the new file exactly,
    // with no tail of the longer old one.
    dialogs->clear();
    dialogs->answer({IDYES});
    drop(root, {a});
    EXPECT_EQ(device.text("/a.txt"), "new a");
    EXPECT_EQ(dialogs->seen().size(), 1u);
}

TEST_F(CopyInTest, CancelInTheReplaceQuestionStopsTheWholeDrop) {
    device.put("/a.txt", "old a");
    const std::string a = hostFile("a.txt", "new a");
    const std::string b = hostFile("b.txt", "new b");
    dialogs->answer({IDCANCEL});
    drop(root, {a, b});
    EXPECT_EQ(device.text("/a.txt"), "old a");
    EXPECT_FALSE(device.exists("/b.txt"));
}

TEST_F(CopyInTest, ACancelledCopyRemovesItsPartialFile) {
    const std::string big = hostFile("big.bin", patternBytes(200000, 9));
    const std::string next = hostFile("next.bin", "next");
    progress->cancelAfterProgress(1);
    drop(root, {big, next});
    EXPECT_FALSE(device.exists("/big.bin")) << "the partial file is removed";
    EXPECT_FALSE(device.exists("/next.bin")) << "the cancel ends the drop";
    EXPECT_EQ(writeSizes("/big.bin"), (std::vector<uint32_t>{61440, 61440}));
}

// A replace the user confirmed keeps the old file until the new one is
// whole: a device that runs out of room, or a cancel, puts it back.
TEST_F(CopyInTest, AReplaceThatDoesNotArriveWholePutsTheOldFileBack) {
    const auto old = patternBytes(70000, 3);  // the last sector's worth past a chunk included
    device.putBytes("/a.bin", old);
    device.put("/b.txt", "old b");
    const std::string a = hostFile("a.bin", patternBytes(200000, 4));
    const std::string b = hostFile("b.txt", "new b");
    device.sizeLimit["/a.bin"] = 100000;  // the second chunk does not fit, the old file does
    const std::set<std::string> copiesBefore = temporaryCopyFolders();
    dialogs->answer({8, IDOK});  // Yes to All, then the write error
    drop(root, {a, b});
    EXPECT_EQ(device.bytes("/a.bin"), old);
    EXPECT_EQ(device.text("/b.txt"), "new b") << "the drop goes on";
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_TRUE(dialogs->seen()[1].says("Error writing to Kestrel '/a.bin'")) << dialogs->seen()[1].text();
    EXPECT_EQ(temporaryCopyFolders(), copiesBefore) << "the host copies are gone";

    // A cancel in the middle of the copy leaves the old file too.
    device.sizeLimit.clear();
    dialogs->clear();
    dialogs->answer({IDYES});
    progress->cancelAfterProgress(1);
    drop(root, {a});
    EXPECT_EQ(device.bytes("/a.bin"), old);
    EXPECT_EQ(temporaryCopyFolders(), copiesBefore);
}

TEST_F(CopyInTest, OldContentsThatCannotBePutBackStayOnTheHostAndTheUserIsTold) {
    device.put("/a.txt", "the user's data");
    const std::string a = hostFile("a.txt", patternBytes(100000, 5));
    device.writesLeft = 1;  // the device goes away after the first chunk
    const std::set<std::string> copiesBefore = temporaryCopyFolders();
    dialogs->answer({IDYES, IDOK, IDOK});
    drop(root, {a});
    ASSERT_EQ(dialogs->seen().size(), 3u);
    const std::string told = dialogs->seen()[2].text();
    EXPECT_TRUE(dialogs->seen()[2].says("Can not put back the earlier contents of '/a.txt'")) << told;
    const std::string kept = quotedAfter(told, "they are kept in ");
    ASSERT_FALSE(kept.empty()) << told;
    const std::string data = "the user's data";
    EXPECT_EQ(hostFileBytes(kept), std::vector<uint8_t>(data.begin(), data.end()));
    EXPECT_EQ(temporaryCopyFolders().size(), copiesBefore.size() + 1);
    removeHostTree(kept.substr(0, kept.rfind('\\')));
}

// A file that cannot be read whole off the device is not replaced at all.
TEST_F(CopyInTest, AFileThatCannotBeKeptIsNotReplaced) {
    device.put("/a.txt", "the user's data");
    device.failReads.insert("/a.txt");
    const std::string a = hostFile("a.txt", "new a");
    dialogs->answer({IDYES, IDOK});
    drop(root, {a});
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_TRUE(dialogs->seen()[1].says("Can not replace '/a.txt'")) << dialogs->seen()[1].text();
    device.failReads.clear();
    EXPECT_EQ(device.text("/a.txt"), "the user's data");
    EXPECT_TRUE(device.writes().empty());
}

TEST_F(CopyInTest, CtrlWithShiftShowsNoDropAndShiftAloneStillCopies) {
    const std::string a = hostFile("a.txt", "a");
    EXPECT_EQ(drop(root, {a}, MK_CONTROL | MK_SHIFT, ANY_EFFECT, E_FAIL), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_FALSE(device.exists("/a.txt"));
    EXPECT_EQ(drop(root, {a}, MK_SHIFT), static_cast<DWORD>(DROPEFFECT_COPY)) << "never a move";
    EXPECT_EQ(device.text("/a.txt"), "a");
    device.unlink("/a.txt");
    EXPECT_EQ(drop(root, {a}, 0, DROPEFFECT_MOVE, E_FAIL), static_cast<DWORD>(DROPEFFECT_NONE))
        << "a source that allows no copy";
    EXPECT_FALSE(device.exists("/a.txt"));

    ComRef<IDropTarget> target;
    ASSERT_EQ(root->CreateViewObject(window.child(), IID_IDropTarget, target.outVoid()), S_OK);
    DWORD effect = ANY_EFFECT;
    FileDropData data({a});
    EXPECT_EQ(target->DragEnter(&data, 0, POINTL{}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(target->DragLeave(), S_OK);
    effect = ANY_EFFECT;
    EXPECT_EQ(target->DragOver(0, POINTL{}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE)) << "after DragLeave nothing is accepted";
    expectLastRelease(target, "drop target");
}

TEST_F(CopyInTest, AHostFileOf4GiBOrMoreIsReportedAndLeavesTheDeviceAlone) {
    const std::string huge = hostFolder() + "\\huge.bin";
    {
        HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end{};
        end.QuadPart = (int64_t{1} << 32) + 10;
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
    }
    device.put("/huge.bin", "kept");
    const std::string small = hostFile("small.txt", "small");
    dialogs->answer({IDOK});
    drop(root, {huge, small});
    ASSERT_EQ(dialogs->seen().size(), 1u);
    EXPECT_EQ(dialogs->seen()[0].caption, "filex");
    EXPECT_TRUE(dialogs->seen()[0].says("huge.bin")) << dialogs->seen()[0].text();
    EXPECT_EQ(device.text("/huge.bin"), "kept") << "nothing on the device was touched";
    EXPECT_EQ(device.text("/small.txt"), "small") << "the drop goes on";
    EXPECT_EQ(progress->dialogs()[0]->progress.back(), (std::pair<uint64_t, uint64_t>{5, 5}));
    DeleteFileA(huge.c_str());
}

TEST_F(CopyInTest, ACopyErrorIsShownWithCaptionFilexAndTheDropGoesOn) {
    const std::string a = hostFile("a.txt", "a");
    const std::string b = hostFile("b.txt", "b");
    device.put("/a.txt/");  // a folder where the file should go
    dialogs->answer({IDOK});
    drop(root, {a, b});
    ASSERT_EQ(dialogs->seen().size(), 1u);
    EXPECT_EQ(dialogs->seen()[0].caption, "filex");
    EXPECT_TRUE(dialogs->seen()[0].says("Can not create destination file '/a.txt'")) << dialogs->seen()[0].text();
    EXPECT_EQ(device.text("/b.txt"), "b");
}

TEST_F(CopyInTest, APasteOfHostFilesCopiesAndReportsAPerformedMove) {
    // The data object itself, as the paste reads it from the clipboard: its
    // own record of SetData is what the source hears.
    const std::string a = hostFile("a.txt", "a");
    const std::string b = hostFile("b.txt", "b");
    FileDropData cut({a, b});
    cut.preferEffect(DROPEFFECT_MOVE);
    EXPECT_EQ(PasteDataObject(root, &cut), S_OK);
    EXPECT_EQ(device.text("/a.txt"), "a");
    EXPECT_EQ(device.text("/b.txt"), "b");
    EXPECT_EQ(cut.setValues(), (std::map<std::string, DWORD>{{"Performed DropEffect", DROPEFFECT_MOVE},
                                                             {"Paste Succeeded", DROPEFFECT_MOVE}}));

    FileDropData copied({hostFile("c.txt", "c")});
    copied.preferEffect(DROPEFFECT_COPY);
    EXPECT_EQ(PasteDataObject(root, &copied), S_OK);
    EXPECT_EQ(device.text("/c.txt"), "c");
    EXPECT_TRUE(copied.setValues().empty()) << "a copy reports nothing";

    // Through the system's clipboard, without "Preferred DropEffect": a copy.
    FileDropData plain({hostFile("d.txt", "d")});
    ASSERT_EQ(OleSetClipboard(&plain), S_OK);
    EXPECT_EQ(PasteFromOleClipboard(root), S_OK);
    EXPECT_EQ(device.text("/d.txt"), "d");
    EXPECT_TRUE(plain.setValues().empty()) << "without Preferred DropEffect a paste is a copy";
    ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
}

// A cut of host files pasted onto the device: the source deletes its
// originals when told of a performed move, so any file that did not arrive
// whole keeps the move from being reported at all.
TEST_F(CopyInTest, APasteOfACutReportsNoMoveUnlessEveryFileArrivedWhole) {
    const auto pasteCut = [&](const std::vector<std::string>& paths) {
        FileDropData cut(paths);
        cut.preferEffect(DROPEFFECT_MOVE);
        EXPECT_EQ(PasteDataObject(root, &cut), S_FALSE);
        return cut.setValues();
    };
    const std::string a = hostFile("a.txt", "new a");
    const std::string b = hostFile("b.txt", "new b");

    device.put("/a.txt", "old a");
    dialogs->answer({IDNO});
    EXPECT_TRUE(pasteCut({a, b}).empty()) << "No in the replace question";
    EXPECT_EQ(device.text("/a.txt"), "old a");
    EXPECT_EQ(device.text("/b.txt"), "new b");

    dialogs->answer({IDCANCEL});
    EXPECT_TRUE(pasteCut({a, b}).empty()) << "Cancel in the replace question";

    device.unlink("/a.txt");
    device.unlink("/b.txt");
    const std::string big = hostFile("big.bin", patternBytes(200000, 3));
    progress->cancelAfterProgress(1);
    EXPECT_TRUE(pasteCut({a, big}).empty()) << "a cancelled progress dialog";
    progress->cancelAfterProgress(-1);
    EXPECT_FALSE(device.exists("/big.bin"));

    device.put("/x.txt/");  // a folder where the file should go
    const std::string x = hostFile("x.txt", "x");
    dialogs->answer({IDOK});
    EXPECT_TRUE(pasteCut({x}).empty()) << "a destination that cannot be created";

    const std::string locked = hostFile("locked.txt", "locked");
    {
        const platform::win32::UniqueHandle holder(CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                               nullptr));
        ASSERT_TRUE(holder.valid());
        dialogs->answer({IDOK});
        EXPECT_TRUE(pasteCut({locked}).empty()) << "a source that cannot be read";
    }

    const std::string emptyFolder = hostFolder() + "\\Gone";
    EXPECT_TRUE(pasteCut({emptyFolder}).empty()) << "a dropped folder that cannot be listed";
    EXPECT_EQ(dialogs->unanswered(), 0);
}

TEST_F(CopyInTest, APasteOfACutWithA4GiBFileReportsNoMove) {
    const std::string huge = hostFolder() + "\\huge.bin";
    {
        const platform::win32::UniqueHandle file(
            CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        LARGE_INTEGER end{};
        end.QuadPart = (int64_t{1} << 32) + 10;
        ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
    }
    FileDropData cut({huge, hostFile("small.txt", "small")});
    cut.preferEffect(DROPEFFECT_MOVE);
    dialogs->answer({IDOK});
    EXPECT_EQ(PasteDataObject(root, &cut), S_FALSE);
    EXPECT_TRUE(cut.setValues().empty());
    EXPECT_EQ(device.text("/small.txt"), "small");
    DeleteFileA(huge.c_str());
}

// A replace the user confirmed opens the host file first: a source held
// open by another program leaves the device's file as it was.
TEST_F(CopyInTest, AConfirmedReplaceOfAnUnreadableSourceKeepsTheDeviceFile) {
    device.put("/a.txt", "the user's data");
    const std::string a = hostFile("a.txt", "new a");
    const platform::win32::UniqueHandle holder(
        CreateFileA(a.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
    dialogs->answer({IDYES, IDOK});
    drop(root, {a});
    ASSERT_EQ(dialogs->seen().size(), 2u);
    EXPECT_EQ(dialogs->seen()[0].caption, "Confirm File Replace");
    EXPECT_TRUE(dialogs->seen()[1].says("Can not open source file")) << dialogs->seen()[1].text();
    EXPECT_EQ(device.text("/a.txt"), "the user's data");
    for (const auto& [path, flags] : device.opens()) EXPECT_NE(flags, 0x201) << path << " opened for writing";
    EXPECT_TRUE(device.writes().empty());
}

TEST_F(CopyInTest, AFolderItemTakesDropsIntoItself) {
    device.put("/Music/");
    device.put("/a.txt", "a");
    const std::string host = hostFile("b.txt", "b");
    LPCITEMIDLIST music[] = {item(root, "Music")};
    ComRef<IDropTarget> target;
    ASSERT_EQ(root->GetUIObjectOf(window.child(), 1, music, IID_IDropTarget, nullptr, target.outVoid()), S_OK);
    FileDropData data({host});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{}, &effect), S_OK);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(&data, 0, POINTL{}, &effect), S_OK);
    EXPECT_EQ(device.text("/Music/b.txt"), "b");
    expectLastRelease(target, "drop target");
    LPCITEMIDLIST file[] = {item(root, "a.txt")};
    EXPECT_EQ(root->GetUIObjectOf(window.child(), 1, file, IID_IDropTarget, nullptr, target.outVoid()),
              E_NOINTERFACE);
    EXPECT_TRUE(target.cleared());
}

TEST_F(CopyInTest, TheSystemsProgressDialogRunsTheCopy) {
    progress.reset();  // the shell's own dialog, under the test display
    const auto bytes = patternBytes(150000, 8);
    drop(root, {hostFile("song.mp3", bytes)});
    EXPECT_EQ(device.bytes("/song.mp3"), bytes);
}

TEST_F(CopyInTest, TheDropSourceDropsOnReleaseAndCancelsOnEscape) {
    ComRef<IDropSource> source;
    ASSERT_EQ(CreateItemDropSource(source.out()), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_SHIFT), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), DRAGDROP_S_DROP);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    expectLastRelease(source, "drop source");

    // A drag with the right button goes on while that button is down.
    ComRef<IDropSource> right;
    ASSERT_EQ(CreateItemDropSource(MK_RBUTTON, right.out()), S_OK);
    EXPECT_EQ(right->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);
    EXPECT_EQ(right->QueryContinueDrag(FALSE, MK_RBUTTON | MK_CONTROL), S_OK);
    EXPECT_EQ(right->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(right->QueryContinueDrag(FALSE, MK_LBUTTON), DRAGDROP_S_DROP) << "the left button does not hold it";
    EXPECT_EQ(right->QueryContinueDrag(TRUE, MK_RBUTTON), DRAGDROP_S_CANCEL);
    expectLastRelease(right, "drop source");
}

// A drop with the right mouse button asks, as Explorer does: Copy here,
// Move here or Cancel; a cancelled drop copies nothing.
TEST_F(CopyInTest, ARightButtonDropAsksWhetherToCopyOrMove) {
    MenuPicker menus;
    auto rightDrop = [this, &menus](const std::string& host, char key) {
        menus.pick({key});
        ComRef<IDropTarget> target;
        EXPECT_EQ(root->CreateViewObject(window.child(), IID_IDropTarget, target.outVoid()), S_OK);
        FileDropData data({host});
        DWORD effect = ANY_EFFECT;
        EXPECT_EQ(target->DragEnter(&data, MK_RBUTTON, POINTL{5, 5}, &effect), S_OK);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the default shown while dragging";
        effect = ANY_EFFECT;
        EXPECT_EQ(target->DragOver(MK_RBUTTON, POINTL{6, 6}, &effect), S_OK);
        effect = ANY_EFFECT;
        EXPECT_EQ(target->Drop(&data, 0, POINTL{6, 6}, &effect), S_OK);
        expectLastRelease(target, "drop target");
        pumpMessages(50);
        return effect;
    };
    EXPECT_EQ(rightDrop(hostFile("moved.txt", "m"), 'm'), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(device.text("/moved.txt"), "m");
    ASSERT_EQ(menus.seen().size(), 1u) << "no menu was shown";
    EXPECT_EQ(menus.seen()[0], (std::vector<std::string>{"&Copy here", "&Move here", "-", "Cancel"}));

    EXPECT_EQ(rightDrop(hostFile("kept.txt", "k"), MenuPicker::ESCAPE), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_FALSE(device.exists("/kept.txt")) << "a cancelled drop copied";

    EXPECT_EQ(rightDrop(hostFile("copied.txt", "c"), 'c'), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(device.text("/copied.txt"), "c");
    EXPECT_EQ(menus.seen().size(), 3u);
    EXPECT_TRUE(dialogs->seen().empty());
}

// Device items dragged from a view offer what a device folder takes: the
// drop is a copy, with Shift a move; host files stay a copy with Shift.
TEST_F(CopyInTest, DeviceItemsDraggedOntoADeviceFolderCopyAndMoveWithShift) {
    device.put("/Music/a.mp3", "a");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    LPCITEMIDLIST items[] = {item(music, "a.mp3")};
    ComRef<IDataObject> data;
    ASSERT_EQ(CreateItemDataObject(music, items, 1, data.out()), S_OK);
    ComRef<IDropTarget> target;
    ASSERT_EQ(root->CreateViewObject(window.child(), IID_IDropTarget, target.outVoid()), S_OK);
    DWORD effect = ANY_EFFECT;
    EXPECT_EQ(target->DragEnter(data.get(), MK_LBUTTON, POINTL{5, 5}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "device items are not taken";
    effect = ANY_EFFECT;
    EXPECT_EQ(target->DragOver(MK_LBUTTON | MK_SHIFT, POINTL{6, 6}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragOver(MK_LBUTTON | MK_SHIFT, POINTL{6, 6}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "shown, but a source that allows no move drops nothing";
    effect = ANY_EFFECT;
    EXPECT_EQ(target->DragOver(MK_LBUTTON | MK_SHIFT | MK_CONTROL, POINTL{6, 6}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(target->DragLeave(), S_OK);
    expectLastRelease(target, "drop target");
    expectLastRelease(data, "data object");
}

}  // namespace
}  // namespace kestrel::shellext::test
