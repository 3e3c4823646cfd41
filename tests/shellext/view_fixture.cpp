#include "tests/shellext/view_fixture.h"

#include "fatfs/fs_results.h"

#include <cstring>

namespace kestrel::shellext::test {

namespace {

// A file through ORYX with its attributes and time stamp.
bool putStamped(fatfs::FileSystem& files, const char* path, uint32_t size, uint8_t attributes) {
    uint32_t handle = 0;
    if (files.createFile(path, 1, &handle) != fatfs::FS_OK) return false;
    const std::vector<uint8_t> data(size, 'k');
    const bool written = files.writeFile(handle, data.data(), size) == fatfs::FS_OK;
    if (files.closeFile(handle) != fatfs::FS_OK || !written) return false;
    uint8_t stat[64] = {};
    stat[0] = attributes;
    stat[12] = 2002 & 0xFF;
    stat[13] = 2002 >> 8;
    stat[14] = 3;   // month
    stat[15] = 7;   // day
    stat[16] = 14;  // hour
    stat[17] = 5;   // minute
    stat[18] = 30;  // second
    return files.writeStat(path, stat) == fatfs::FS_OK;
}

}  // namespace

std::unique_ptr<SimulatedKestrel> ViewFixture::device_;
bool ViewFixture::ready_ = false;

void ViewFixture::SetUpTestSuite() {
    device_ = std::make_unique<SimulatedKestrel>(
        [](fatfs::FileSystem& files) { return putStamped(files, "dev0:\\A.TXT", 1536, 0x21); });
    if (!device_->ready()) return;
    ready_ = device_->put({"/MUSIC/B.TXT", "/new folder/", "/New Folder 1/", "/b.txt", "/C.TXT"});
}

void ViewFixture::TearDownTestSuite() { device_.reset(); }

void ViewFixture::SetUp() {
    ASSERT_TRUE(device_->ready()) << device_->error();
    ASSERT_TRUE(ready_) << device_->error();
    ASSERT_TRUE(session_.ready()) << session_.error();
    root_ = session_.openRoot();
    ASSERT_TRUE(root_);
    browser_ = std::make_unique<ShellBrowserDouble>();
}

void ViewFixture::TearDown() {
    if (root_) expectLastRelease(root_, "root folder");
    browser_.reset();
    emptyClipboard();
    if (session_.ready() && !sessionFinished_ && !HasFatalFailure()) session_.finish();
}

ComRef<IShellView> ViewFixture::openView(UINT mode, bool activate) {
    ComRef<IShellView> view;
    const HRESULT made = root_->CreateViewObject(browser_->frame(), IID_IShellView, view.outVoid());
    EXPECT_EQ(made, S_OK) << hresultText(made);
    if (made != S_OK) return {};
    FOLDERSETTINGS settings{mode, 0};
    RECT area = browser_->viewArea();
    HWND window = reinterpret_cast<HWND>(DEADBEEF);
    const HRESULT shown = view->CreateViewWindow(nullptr, &settings, browser_.get(), &area, &window);
    EXPECT_EQ(shown, S_OK) << hresultText(shown);
    if (shown != S_OK) return {};
    EXPECT_TRUE(IsWindow(window));
    if (activate) {
        EXPECT_EQ(view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    }
    pumpMessages(50);
    return view;
}

void ViewFixture::closeView(ComRef<IShellView>& view) {
    if (!view) return;
    EXPECT_EQ(view->DestroyViewWindow(), S_OK);
    expectLastRelease(view, "folder view");
}

HWND ViewFixture::listOf(IShellView* view) {
    HWND window = nullptr;
    EXPECT_EQ(view->GetWindow(&window), S_OK);
    return GetDlgItem(window, 2000);
}

std::string ViewFixture::cell(HWND list, int row, int column) {
    char text[260] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::string> ViewFixture::column(HWND list, int column) {
    std::vector<std::string> texts;
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) texts.push_back(cell(list, row, column));
    return texts;
}

int ViewFixture::rowOf(HWND list, const std::string& name) {
    const auto names = column(list, 0);
    for (size_t row = 0; row < names.size(); ++row)
        if (names[row] == name) return static_cast<int>(row);
    ADD_FAILURE() << name << " is not in the list";
    return -1;
}

void selectRow(HWND list, int row) {
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    if (row >= 0) ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

std::vector<MenuEntry> menuEntries(HMENU menu) {
    std::vector<MenuEntry> entries;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = {};
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item);
        MenuEntry entry;
        entry.text = (item.fType & MFT_SEPARATOR) ? "-" : text;
        entry.id = item.wID;
        entry.state = item.fState & (MFS_GRAYED | MFS_DEFAULT | MFS_CHECKED);
        entry.submenu = item.hSubMenu != nullptr;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<std::string> menuTexts(HMENU menu) {
    std::vector<std::string> texts;
    for (const auto& entry : menuEntries(menu)) texts.push_back(entry.text);
    return texts;
}

MenuEntry entryWith(HMENU menu, UINT id) {
    for (const auto& entry : menuEntries(menu))
        if (entry.id == id && entry.text != "-") return entry;
    ADD_FAILURE() << "no menu entry " << id;
    return {};
}

void putTextOnClipboard(const std::string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    EXPECT_NE(SetClipboardData(CF_TEXT, block), nullptr);
    CloseClipboard();
}

void emptyClipboard() {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    CloseClipboard();
}

std::vector<uint8_t> clipboardBytes(const char* format) {
    std::vector<uint8_t> bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    if (HANDLE data = GetClipboardData(RegisterClipboardFormatA(format))) {
        const auto* start = static_cast<const uint8_t*>(GlobalLock(data));
        if (start != nullptr) bytes.assign(start, start + GlobalSize(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return bytes;
}

}  // namespace kestrel::shellext::test
