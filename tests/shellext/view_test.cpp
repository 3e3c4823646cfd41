// The folder view in a browser frame: the list with its columns and order,
// view modes, toolbar, menu merging, status bar, the name column's width,
// and a screenshot of the details mode.
#include "tests/shellext/view_fixture.h"

#include "platform/environment.h"

#include <fstream>

namespace kestrel::shellext::test {
namespace {

using ViewTest = ViewFixture;

std::string systemByteSize(uint32_t bytes) {
    WCHAR wide[64] = {};
    StrFormatByteSizeW(bytes, wide, 64);
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

std::string systemTypeName(const std::string& extension) {
    SHFILEINFOA info{};
    SHGetFileInfoA(extension.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                   SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME);
    return info.szTypeName;
}

struct ColumnInfo {
    std::string title;
    int width;
    int alignment;
};

ColumnInfo columnInfo(HWND list, int column) {
    char title[64] = {};
    LVCOLUMNA info{};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    info.pszText = title;
    info.cchTextMax = sizeof title;
    SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
    return {title, info.cx, info.fmt & LVCFMT_JUSTIFYMASK};
}

DWORD listType(HWND list) { return static_cast<DWORD>(GetWindowLongPtrA(list, GWL_STYLE)) & LVS_TYPEMASK; }

void initMenu(IShellView* view, HMENU menu) {
    HWND window = nullptr;
    view->GetWindow(&window);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 1);
}

TEST_F(ViewTest, ListsFoldersFirstByNameWithEveryColumn) {
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    ASSERT_NE(list, nullptr) << "no list-view control 2000";
    EXPECT_EQ(listType(list), static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(GetWindowLongPtrA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    char className[64] = {};
    GetClassNameA(GetParent(list), className, sizeof className);
    EXPECT_STREQ(className, "qlxshlextNSClass");

    EXPECT_EQ(column(list, 0),
              (std::vector<std::string>{"MUSIC", "new folder", "New Folder 1", "A.TXT", "b.txt", "C.TXT"}));
    const ColumnInfo expected[] = {{"Name", 0, LVCFMT_LEFT},
                                   {"Size", 0, LVCFMT_RIGHT},
                                   {"Modified", 160, LVCFMT_LEFT},
                                   {"Attributes", 80, LVCFMT_LEFT},
                                   {"Type", 160, LVCFMT_LEFT}};
    for (int i = 0; i < 5; ++i) {
        const ColumnInfo info = columnInfo(list, i);
        EXPECT_EQ(info.title, expected[i].title);
        EXPECT_EQ(info.alignment, expected[i].alignment) << info.title;
        if (expected[i].width != 0) {
            EXPECT_EQ(info.width, expected[i].width) << info.title;
        }
    }

    const int file = rowOf(list, "A.TXT");
    ASSERT_GE(file, 0);
    EXPECT_EQ(cell(list, file, 1), systemByteSize(1536));
    EXPECT_EQ(cell(list, file, 1).rfind("1.5", 0), 0u) << cell(list, file, 1);
    EXPECT_EQ(cell(list, file, 2), "07.03.2002  14:05:30");
    EXPECT_EQ(cell(list, file, 3), "RA");
    EXPECT_EQ(cell(list, file, 4), systemTypeName(".TXT"));

    const int disk = rowOf(list, "MUSIC");
    ASSERT_GE(disk, 0);
    EXPECT_EQ(cell(list, disk, 1), "") << "folders show no size";
    EXPECT_EQ(cell(list, disk, 2), "") << "Disk items show no date";
    EXPECT_EQ(cell(list, disk, 4), "Disk");
    EXPECT_NE(cell(list, rowOf(list, "b.txt"), 2), "") << "files show their date";

    EXPECT_EQ(browser_->statusText(), "Kestrel");
    EXPECT_EQ(browser_->buttonCount(), 4);
    EXPECT_TRUE(browser_->buttonChecked(CMD_DETAILS));
    closeView(view);
}

TEST_F(ViewTest, TheFourViewModesSwitchStyleAndToolbar) {
    auto view = openView(FVM_ICON);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    EXPECT_EQ(listType(list), static_cast<DWORD>(LVS_ICON));
    EXPECT_TRUE(browser_->buttonChecked(CMD_LARGE_ICONS));
    HWND window = GetParent(list);
    const struct {
        UINT command;
        DWORD style;
        UINT mode;
    } modes[] = {{CMD_SMALL_ICONS, LVS_SMALLICON, FVM_SMALLICON},
                 {CMD_LIST, LVS_LIST, FVM_LIST},
                 {CMD_DETAILS, LVS_REPORT, FVM_DETAILS},
                 {CMD_LARGE_ICONS, LVS_ICON, FVM_ICON}};
    for (const auto& mode : modes) {
        SendMessageA(window, WM_COMMAND, mode.command, 0);
        EXPECT_EQ(listType(list), mode.style) << "command " << mode.command;
        FOLDERSETTINGS settings{0xdeadbeef, 0xdeadbeef};
        EXPECT_EQ(view->GetCurrentInfo(&settings), S_OK);
        EXPECT_EQ(settings.ViewMode, mode.mode);
        for (UINT button = CMD_LARGE_ICONS; button <= CMD_DETAILS; ++button)
            EXPECT_EQ(browser_->buttonChecked(button), button == mode.command) << "button " << button;
        if (mode.command == CMD_LIST) {
            EXPECT_EQ(ListView_GetColumnWidth(list, 0), 200);
        }
    }
    EXPECT_EQ(ListView_GetItemCount(list), 6) << "switching modes keeps the items";
    closeView(view);
}

TEST_F(ViewTest, MenusAreMergedByFocusAndEnabledOnOpening) {
    auto view = openView(FVM_DETAILS, false);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);
    ASSERT_NE(browser_->menu(), nullptr);
    EXPECT_EQ(menuTexts(browser_->submenu(FCIDM_MENU_FILE)), (std::vector<std::string>{"-", "&Close"}));
    EXPECT_EQ(menuTexts(browser_->submenu(FCIDM_MENU_EDIT)), (std::vector<std::string>{"&Undo", "&Paste"}));

    EXPECT_EQ(view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    EXPECT_EQ(browser_->menusRemoved(), 1) << "the earlier merge is taken back";
    HMENU file = browser_->submenu(FCIDM_MENU_FILE);
    EXPECT_EQ(menuTexts(file), (std::vector<std::string>{"-", "&Delete", "&Rename", "-", "&Close"}));
    EXPECT_EQ(menuEntries(file)[0].id, CMD_SEPARATOR);
    EXPECT_EQ(entryWith(file, CMD_DELETE).text, "&Delete");
    EXPECT_EQ(entryWith(file, CMD_RENAME).text, "&Rename");
    HMENU edit = browser_->submenu(FCIDM_MENU_EDIT);
    EXPECT_EQ(menuTexts(edit), (std::vector<std::string>{"&Undo", "Cu&t", "&Copy", "&Paste"}));
    HMENU viewMenu = browser_->submenu(FCIDM_MENU_VIEW);
    EXPECT_EQ(menuTexts(viewMenu), (std::vector<std::string>{"&Status Bar", "-", "Lar&ge Icons", "S&mall Icons",
                                                             "&List", "&Details", "-", "Folder &Options..."}));
    EXPECT_EQ(view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK) << "the same state again changes nothing";
    EXPECT_EQ(browser_->menusInserted(), 2);

    // Nothing selected, other text on the clipboard: Cut, Copy and Paste gray.
    HWND list = listOf(view.get());
    selectRow(list, -1);
    putTextOnClipboard("text of another program");
    initMenu(view.get(), edit);
    EXPECT_TRUE(entryWith(edit, CMD_PASTE).state & MFS_GRAYED);
    EXPECT_TRUE(entryWith(edit, CMD_CUT).state & MFS_GRAYED);
    EXPECT_TRUE(entryWith(edit, CMD_COPY).state & MFS_GRAYED);
    EXPECT_FALSE(entryWith(edit, BROWSER_EDIT_UNDO).state & MFS_GRAYED) << "the browser's entries are left alone";

    // An item selected and device items on the clipboard: all enabled.
    selectRow(list, rowOf(list, "A.TXT"));
    ComRef<IContextMenu> menu;
    const ShellList item = findItem(root_.get(), "A.TXT");
    LPCITEMIDLIST items[] = {item.get()};
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IContextMenu, nullptr, menu.outVoid()), S_OK);
    CMINVOKECOMMANDINFO copy{};
    copy.cbSize = sizeof copy;
    copy.lpVerb = "copy";
    EXPECT_EQ(menu->InvokeCommand(&copy), S_OK);
    expectLastRelease(menu, "context menu");
    initMenu(view.get(), edit);
    EXPECT_FALSE(entryWith(edit, CMD_PASTE).state & MFS_GRAYED);
    EXPECT_FALSE(entryWith(edit, CMD_CUT).state & MFS_GRAYED);
    EXPECT_FALSE(entryWith(edit, CMD_COPY).state & MFS_GRAYED);

    initMenu(view.get(), viewMenu);
    EXPECT_TRUE(entryWith(viewMenu, CMD_DETAILS).state & MFS_CHECKED);
    EXPECT_FALSE(entryWith(viewMenu, CMD_LIST).state & MFS_CHECKED);

    EXPECT_EQ(view->UIActivate(SVUIA_DEACTIVATE), S_OK);
    EXPECT_EQ(browser_->menu(), nullptr);
    EXPECT_EQ(browser_->menusRemoved(), 2);
    closeView(view);
}

TEST_F(ViewTest, TheNameColumnWidthComesFromTheSettingsAndIsSavedBack) {
    // The library reads the value when it is loaded: load it afresh.
    if (root_) expectLastRelease(root_, "root folder");
    session_.finish();
    sessionFinished_ = true;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\zidorozu", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const DWORD stored = 150;
    RegSetValueExA(key, "Display Settings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored), 4);
    {
        ExplorerSession session;
        ASSERT_TRUE(session.ready());
        root_ = session.openRoot();
        ASSERT_TRUE(root_);
        auto view = openView(FVM_DETAILS);
        ASSERT_TRUE(view);
        HWND list = listOf(view.get());
        EXPECT_EQ(ListView_GetColumnWidth(list, 0), 150);

        // The user drags the header of the name column to 222 pixels.
        HDITEMA item{};
        item.mask = HDI_WIDTH;
        item.cxy = 222;
        NMHEADERA track{};
        track.hdr.hwndFrom = ListView_GetHeader(list);
        track.hdr.idFrom = 0;
        track.hdr.code = HDN_ENDTRACKA;
        track.iItem = 0;
        track.pitem = &item;
        SendMessageA(GetParent(list), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&track));
        closeView(view);
        expectLastRelease(root_, "root folder");
        session.finish();
    }
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "Display Settings", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 222u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    RegDeleteValueA(key, "Display Settings");
    RegCloseKey(key);
}

TEST_F(ViewTest, TheWindowClassGoesWithTheLibraryAndComesBackWithIt) {
    auto view = openView(FVM_LIST);
    ASSERT_TRUE(view);
    closeView(view);
    expectLastRelease(root_, "root folder");
    const HMODULE unloaded = session_.library().module();
    WNDCLASSA found{};
    ASSERT_TRUE(GetClassInfoA(unloaded, "qlxshlextNSClass", &found));
    session_.finish();
    sessionFinished_ = true;
    EXPECT_FALSE(GetClassInfoA(unloaded, "qlxshlextNSClass", &found));

    ExplorerSession again;
    ASSERT_TRUE(again.ready()) << again.error();
    root_ = again.openRoot();
    ASSERT_TRUE(root_);
    view = openView(FVM_LIST);
    ASSERT_TRUE(view);
    EXPECT_GT(ListView_GetItemCount(listOf(view.get())), 0);
    closeView(view);
    expectLastRelease(root_, "root folder");
    again.finish();
}

// With KESTREL_VIEW_SHOT set to a folder (a host path), the view waits in
// details mode until a screenshot was taken: it writes "ready" there and
// waits for "taken" (screen_shot.sh takes the picture with ImageMagick).
TEST_F(ViewTest, DetailsModeOnScreen) {
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    selectRow(list, rowOf(list, "A.TXT"));
    pumpMessages(300);
    EXPECT_TRUE(IsWindowVisible(list));
    const auto folder = platform::getEnv("KESTREL_VIEW_SHOT");
    if (folder && !folder->empty()) {
        std::string windows = "Z:" + *folder;
        for (char& c : windows)
            if (c == '/') c = '\\';
        { std::ofstream(windows + "\\ready") << "details\n"; }
        bool taken = false;
        for (int i = 0; i < 300 && !taken; ++i) {
            pumpMessages(100);
            taken = GetFileAttributesA((windows + "\\taken").c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        EXPECT_TRUE(taken) << "no screenshot was taken";
    }
    closeView(view);
}

}  // namespace
}  // namespace kestrel::shellext::test
