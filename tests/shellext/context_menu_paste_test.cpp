// Paste from the context menu and from the view: device items copied or
// cut to the clipboard in one folder are pasted into another, and host
// files on the clipboard are pasted too. A program of its own: once the
// Desktop has bound a device folder, COM keeps the library loaded until the
// thread leaves COM, so these cases cannot end with the unload check of the
// others; each ends with its own.
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/modal_answerer.h"
#include "tests/shellext/harness/progress_recorder.h"
#include "tests/shellext/view_fixture.h"

#include <algorithm>
#include <fstream>
#include <future>

namespace kestrel::shellext::test {
namespace {

// A popup menu for the time of a test.
struct PopupMenu {
    HMENU handle = CreatePopupMenu();
    ~PopupMenu() { DestroyMenu(handle); }
    HMENU get() const { return handle; }
};

class PasteTest : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        // The source folder of device items is bound from the Desktop: the
        // class must be known.
        ASSERT_EQ(session_.library().registerServer(), S_OK);
    }
    // The end of a case: nothing of the library is left alive.
    void finishSession() {
        emptyClipboard();
        EXPECT_EQ(session_.library().unregisterServer(), S_OK);
        expectLastRelease(root_, "root folder");
        EXPECT_EQ(session_.library().canUnloadNow(), S_OK) << "objects of the library are still alive";
        sessionFinished_ = true;
    }
    // A view of `folder` in a browser of its own.
    ComRef<IShellView> openViewOf(IShellFolder* folder, ShellBrowserDouble& browser) {
        ComRef<IShellView> view;
        EXPECT_EQ(folder->CreateViewObject(browser.frame(), IID_IShellView, view.outVoid()), S_OK);
        if (!view) return {};
        FOLDERSETTINGS settings{FVM_DETAILS, 0};
        RECT area = browser.viewArea();
        HWND window = nullptr;
        EXPECT_EQ(view->CreateViewWindow(nullptr, &settings, &browser, &area, &window), S_OK);
        pumpMessages(20);
        return view;
    }
    static void command(IShellView* view, UINT id) {
        HWND window = nullptr;
        view->GetWindow(&window);
        SendMessageA(window, WM_COMMAND, id, 0);
    }
    static bool listed(const std::optional<std::vector<std::string>>& names, const std::string& name) {
        return names && std::find(names->begin(), names->end(), name) != names->end();
    }
    std::vector<std::string> rows(IShellView* view) { return column(listOf(view), 0); }
    static bool holds(const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
};

HRESULT invoke(IContextMenu* menu, const char* verb) {
    CMINVOKECOMMANDINFO information{};
    information.cbSize = sizeof information;
    information.lpVerb = verb;
    return menu->InvokeCommand(&information);
}

TEST_F(PasteTest, PasteCopiesTheClipboardItemsIntoTheFolder) {
    {
        const ShellList file = findItem(root_.get(), "C.TXT");
        ASSERT_TRUE(file);
        LPCITEMIDLIST items[] = {file.get()};
        ComRef<IContextMenu> copy;
        ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IContextMenu, nullptr, copy.outVoid()), S_OK);
        EXPECT_EQ(invoke(copy.get(), "copy"), S_OK);
        expectLastRelease(copy, "item menu");

        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        ComRef<IContextMenu> background;
        ASSERT_EQ(music->CreateViewObject(nullptr, IID_IContextMenu, background.outVoid()), S_OK);
        EXPECT_EQ(invoke(background.get(), "Paste"), S_OK) << "verbs are matched in any case";
        expectLastRelease(background, "background menu");
        expectLastRelease(music, "MUSIC");
    }
    finishSession();
    const auto names = device_->list("/MUSIC").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find(names.begin(), names.end(), "C.TXT"), names.end()) << "nothing was pasted";
    const auto top = device_->list("/").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find(top.begin(), top.end(), "C.TXT"), top.end()) << "a copy leaves the source";
}

// A cut and paste through the context menus: the clipboard is free for
// other programs while the device copies, the moved item leaves the view of
// its old folder, and the clipboard no longer offers it.
TEST_F(PasteTest, APasteOfCutItemsFreesTheClipboardWhileItCopiesAndTheSourceViewLetsThemGo) {
    ASSERT_TRUE(device_->put({"/CUT.TXT"}));
    ProgressRecorder progress;
    ModalAnswerer dialogs;  // a message box fails the case instead of waiting
    std::vector<bool> clipboardFree;
    progress.whenStarted([&clipboardFree] {
        // Another program's thread asks for the clipboard meanwhile.
        auto other = std::async(std::launch::async, [] {
            HWND window = CreateWindowExA(0, "STATIC", "other program", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
            const bool opened = window != nullptr && OpenClipboard(window) != FALSE;
            if (opened) CloseClipboard();
            if (window != nullptr) DestroyWindow(window);
            return opened;
        });
        clipboardFree.push_back(other.get());
    });
    {
        auto view = openView(FVM_DETAILS, false);
        ASSERT_TRUE(view);
        ASSERT_TRUE(holds(rows(view.get()), "CUT.TXT"));
        const ShellList file = findItem(root_.get(), "CUT.TXT");
        ASSERT_TRUE(file);
        LPCITEMIDLIST items[] = {file.get()};
        ComRef<IContextMenu> cut;
        ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IContextMenu, nullptr, cut.outVoid()), S_OK);
        EXPECT_EQ(invoke(cut.get(), "cut"), S_OK);
        expectLastRelease(cut, "item menu");

        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        ComRef<IContextMenu> background;
        ASSERT_EQ(music->CreateViewObject(nullptr, IID_IContextMenu, background.outVoid()), S_OK);
        EXPECT_EQ(invoke(background.get(), "paste"), S_OK);
        expectLastRelease(background, "background menu");
        expectLastRelease(music, "MUSIC");
        pumpMessages(50);

        ASSERT_FALSE(clipboardFree.empty()) << "the paste showed no progress";
        for (const bool free : clipboardFree) EXPECT_TRUE(free) << "the clipboard was held open during the copy";
        EXPECT_FALSE(holds(rows(view.get()), "CUT.TXT")) << "the moved item is still shown in its old folder";
        EXPECT_TRUE(clipboardBytes(DEVICE_ITEMS_FORMAT).empty()) << "the moved item is still on the clipboard";
        closeView(view);
    }
    finishSession();
    EXPECT_EQ(dialogs.unanswered(), 0);
    EXPECT_TRUE(listed(device_->list("/MUSIC"), "CUT.TXT"));
    EXPECT_FALSE(listed(device_->list("/"), "CUT.TXT"));
}

TEST_F(PasteTest, PastingOverAListedItemKeepsOneRowForIt) {
    ASSERT_TRUE(device_->put({"/TWICE.TXT", "/MUSIC/TWICE.TXT"}));
    ProgressRecorder progress;
    ModalAnswerer dialogs;  // a message box fails the case instead of waiting
    {
        auto view = openView(FVM_DETAILS, false);
        ASSERT_TRUE(view);
        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        const ShellList file = findItem(music.get(), "TWICE.TXT");
        ASSERT_TRUE(file);
        LPCITEMIDLIST items[] = {file.get()};
        ComRef<IContextMenu> copy;
        ASSERT_EQ(music->GetUIObjectOf(nullptr, 1, items, IID_IContextMenu, nullptr, copy.outVoid()), S_OK);
        EXPECT_EQ(invoke(copy.get(), "copy"), S_OK);
        expectLastRelease(copy, "item menu");
        ComRef<IContextMenu> background;
        ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IContextMenu, background.outVoid()), S_OK);
        dialogs.answer({IDYES});  // replace the root's TWICE.TXT
        EXPECT_EQ(invoke(background.get(), "paste"), S_OK);
        EXPECT_EQ(dialogs.seen().size(), 1u) << "the replace question";
        expectLastRelease(background, "background menu");
        expectLastRelease(music, "MUSIC");
        pumpMessages(50);
        const auto names = rows(view.get());
        EXPECT_EQ(std::count(names.begin(), names.end(), "TWICE.TXT"), 1) << "a second row for the pasted item";
        closeView(view);
    }
    finishSession();
    EXPECT_EQ(dialogs.unanswered(), 0);
}

// The view's own Copy offers the device items, so that its Paste (and the
// Edit menu's Paste entry) take them; the moved original leaves its folder.
TEST_F(PasteTest, TheViewsCopyAndPasteCarryDeviceItemsBetweenFolders) {
    ASSERT_TRUE(device_->put({"/VIEWCOPY.TXT", "/VIEWCUT.TXT"}));
    ProgressRecorder progress;
    ModalAnswerer dialogs;
    {
        auto view = openView(FVM_DETAILS, true);
        ASSERT_TRUE(view);
        HWND list = listOf(view.get());
        selectRow(list, rowOf(list, "VIEWCOPY.TXT"));
        emptyClipboard();
        command(view.get(), CMD_COPY);
        EXPECT_FALSE(clipboardBytes(DEVICE_ITEMS_FORMAT).empty()) << "the view's Copy offers no device items";
        HMENU edit = browser_->submenu(FCIDM_MENU_EDIT);
        ASSERT_NE(edit, nullptr);
        HWND window = nullptr;
        view->GetWindow(&window);
        SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
        EXPECT_FALSE(entryWith(edit, CMD_PASTE).state & MFS_GRAYED);

        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        ShellBrowserDouble musicBrowser;
        auto musicView = openViewOf(music.get(), musicBrowser);
        ASSERT_TRUE(musicView);
        command(musicView.get(), CMD_PASTE);
        pumpMessages(50);
        EXPECT_TRUE(holds(rows(musicView.get()), "VIEWCOPY.TXT")) << "the view's Paste took nothing";
        EXPECT_TRUE(holds(rows(view.get()), "VIEWCOPY.TXT")) << "a copy keeps its source";

        // Cut in the view, Paste in the other: a move.
        selectRow(list, rowOf(list, "VIEWCUT.TXT"));
        command(view.get(), CMD_CUT);
        command(musicView.get(), CMD_PASTE);
        pumpMessages(50);
        EXPECT_TRUE(holds(rows(musicView.get()), "VIEWCUT.TXT"));
        EXPECT_FALSE(holds(rows(view.get()), "VIEWCUT.TXT")) << "the moved item is still shown in its old folder";
        EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
        closeView(musicView);
        expectLastRelease(music, "MUSIC");
        closeView(view);
    }
    finishSession();
    EXPECT_TRUE(listed(device_->list("/MUSIC"), "VIEWCOPY.TXT"));
    EXPECT_TRUE(listed(device_->list("/"), "VIEWCOPY.TXT"));
    EXPECT_TRUE(listed(device_->list("/MUSIC"), "VIEWCUT.TXT"));
    EXPECT_FALSE(listed(device_->list("/"), "VIEWCUT.TXT"));
    for (const auto& dialog : dialogs.seen()) ADD_FAILURE() << "a message: " << dialog.text();
}

// A drag of device items from a view onto another device folder takes the
// way of Paste; with Shift it is a move, and the moved item leaves the view.
TEST_F(PasteTest, DeviceItemsDraggedOntoAnotherDeviceFolderArriveThere) {
    ASSERT_TRUE(device_->put({"/DRAGGED.TXT"}));
    ProgressRecorder progress;
    ModalAnswerer dialogs;  // a message box fails the case instead of waiting
    {
        auto view = openView(FVM_DETAILS, true);
        ASSERT_TRUE(view);
        HWND list = listOf(view.get());
        selectRow(list, rowOf(list, "DRAGGED.TXT"));
        ComRef<IDataObject> data;
        ASSERT_EQ(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.outVoid()), S_OK);
        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        ComRef<IDropTarget> target;
        ASSERT_EQ(music->CreateViewObject(browser_->frame(), IID_IDropTarget, target.outVoid()), S_OK);
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target->DragEnter(data.get(), MK_LBUTTON | MK_SHIFT, POINTL{5, 5}, &effect), S_OK);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target->Drop(data.get(), MK_SHIFT, POINTL{6, 6}, &effect), S_OK);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
        expectLastRelease(target, "drop target");
        expectLastRelease(data, "data object");
        expectLastRelease(music, "MUSIC");
        pumpMessages(50);
        EXPECT_FALSE(holds(rows(view.get()), "DRAGGED.TXT")) << "the moved item is still shown in its old folder";
        closeView(view);
    }
    finishSession();
    EXPECT_EQ(dialogs.unanswered(), 0);
    EXPECT_TRUE(listed(device_->list("/MUSIC"), "DRAGGED.TXT")) << "the drop did not arrive";
    EXPECT_FALSE(listed(device_->list("/"), "DRAGGED.TXT"));
}

// A drag of a device item onto a device folder that holds a file of the
// same name asks first: No keeps the file there and (for a move) the
// dragged one at its source; Yes replaces it with the dragged bytes.
TEST_F(PasteTest, ADeviceItemDraggedOntoAFileOfTheSameNameReplacesItOnlyAfterYes) {
    ASSERT_TRUE(device_->putFile("/SAME.TXT", "the dragged bytes"));
    ASSERT_TRUE(device_->putFile("/MUSIC/SAME.TXT", "the user's own bytes, longer than the dragged ones"));
    ProgressRecorder progress;
    ModalAnswerer dialogs;
    {
        auto view = openView(FVM_DETAILS, true);
        ASSERT_TRUE(view);
        HWND list = listOf(view.get());
        selectRow(list, rowOf(list, "SAME.TXT"));
        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        const auto dragOntoMusic = [&](DWORD keys) {
            ComRef<IDataObject> data;
            ASSERT_EQ(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.outVoid()), S_OK);
            ComRef<IDropTarget> target;
            ASSERT_EQ(music->CreateViewObject(browser_->frame(), IID_IDropTarget, target.outVoid()), S_OK);
            DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
            EXPECT_EQ(target->DragEnter(data.get(), MK_LBUTTON | keys, POINTL{5, 5}, &effect), S_OK);
            effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
            (void)target->Drop(data.get(), keys, POINTL{6, 6}, &effect);
            expectLastRelease(target, "drop target");
            expectLastRelease(data, "data object");
        };

        dialogs.answer({IDNO});
        dragOntoMusic(MK_SHIFT);
        pumpMessages(50);
        EXPECT_EQ(device_->readText("/MUSIC/SAME.TXT"), "the user's own bytes, longer than the dragged ones")
            << "No destroyed the file";
        EXPECT_EQ(device_->readText("/SAME.TXT"), "the dragged bytes") << "a skipped move lost its source";
        EXPECT_TRUE(holds(rows(view.get()), "SAME.TXT")) << "the skipped item left the view";
        EXPECT_EQ(dialogs.seen().size(), 1u);
        if (!dialogs.seen().empty()) {
            EXPECT_EQ(dialogs.seen()[0].caption, "Confirm File Replace");
            EXPECT_TRUE(dialogs.seen()[0].says("SAME.TXT")) << dialogs.seen()[0].text();
        }

        dialogs.clear();
        dialogs.answer({IDYES});
        dragOntoMusic(0);
        pumpMessages(50);
        EXPECT_EQ(device_->readText("/MUSIC/SAME.TXT"), "the dragged bytes") << "Yes did not replace the file";
        EXPECT_EQ(device_->readText("/SAME.TXT"), "the dragged bytes") << "a copy keeps its source";
        EXPECT_EQ(dialogs.seen().size(), 1u);
        EXPECT_EQ(dialogs.unanswered(), 0);
        expectLastRelease(music, "MUSIC");
        closeView(view);
    }
    finishSession();
}

// A host file list on the clipboard: the Paste entries of the background
// menu and of the Edit menu are active, and the background menu's Paste
// copies the files onto the device.
TEST_F(PasteTest, HostFilesOnTheClipboardEnablePasteAndArePasted) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "kshx-paste-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string host = folder + "\\pasted.bin";
    { std::ofstream(host, std::ios::binary) << std::string(700, 'h'); }
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    EXPECT_NE(SetClipboardData(CF_HDROP, dropFilesBlock({host})), nullptr);
    CloseClipboard();
    ProgressRecorder progress;
    ModalAnswerer dialogs;
    {
        auto view = openView(FVM_DETAILS, true);
        ASSERT_TRUE(view);
        HMENU edit = browser_->submenu(FCIDM_MENU_EDIT);
        ASSERT_NE(edit, nullptr);
        HWND window = nullptr;
        view->GetWindow(&window);
        SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
        EXPECT_FALSE(entryWith(edit, CMD_PASTE).state & MFS_GRAYED) << "the Edit menu's Paste";

        ComRef<IContextMenu> background;
        ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IContextMenu, background.outVoid()), S_OK);
        PopupMenu menu;
        ASSERT_TRUE(SUCCEEDED(background->QueryContextMenu(menu.get(), 0, 1, 100, CMF_NORMAL)));
        EXPECT_EQ(entryWith(menu.get(), 1 + CMD_PASTE).state & MFS_GRAYED, 0u) << "the background menu's Paste";
        EXPECT_EQ(invoke(background.get(), "paste"), S_OK);
        expectLastRelease(background, "background menu");
        pumpMessages(50);
        closeView(view);
    }
    DeleteFileA(host.c_str());
    RemoveDirectoryA(folder.c_str());
    finishSession();
    EXPECT_TRUE(listed(device_->list("/"), "pasted.bin")) << "the host file was not pasted";
    EXPECT_EQ(dialogs.unanswered(), 0);
}

}  // namespace
}  // namespace kestrel::shellext::test
