// What the folder view does for its browser beyond the list: the filter,
// selection and default command of a common file dialog's browser, the
// tooltips of its toolbar buttons, and its keyboard accelerators.
#include "tests/shellext/view_fixture.h"

#include <algorithm>

namespace kestrel::shellext::test {
namespace {

using ViewBrowserTest = ViewFixture;

// The browser side of a common file dialog: includes only folders, and
// records what the view tells it.
class CommonDialogDouble final : public StrictDouble<ICommDlgBrowser> {
public:
    explicit CommonDialogDouble(IShellFolder* folder) : StrictDouble("common dialog browser"), folder_(folder) {}

    HRESULT STDMETHODCALLTYPE OnDefaultCommand(IShellView*) override {
        ++defaultCommands;
        return S_OK;  // the dialog takes it: the view does nothing more
    }
    HRESULT STDMETHODCALLTYPE OnStateChange(IShellView*, ULONG change) override {
        changes.push_back(change);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IncludeObject(IShellView*, PCUITEMID_CHILD item) override {
        SFGAOF attributes = SFGAO_FOLDER;
        LPCITEMIDLIST items[] = {item};
        ++asked;
        if (FAILED(folder_->GetAttributesOf(1, items, &attributes))) return S_FALSE;
        return (attributes & SFGAO_FOLDER) ? S_OK : S_FALSE;
    }

    int asked = 0;
    int defaultCommands = 0;
    std::vector<ULONG> changes;

private:
    IShellFolder* folder_;
};

HWND viewWindow(IShellView* view) {
    HWND window = nullptr;
    view->GetWindow(&window);
    return window;
}

LRESULT notifyFromList(HWND list, UINT code) {
    NMITEMACTIVATE activation{};
    activation.hdr.hwndFrom = list;
    activation.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    activation.hdr.code = code;
    activation.iItem = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    return SendMessageA(GetParent(list), WM_NOTIFY, activation.hdr.idFrom, reinterpret_cast<LPARAM>(&activation));
}

std::wstring wideTooltip(HWND view, UINT_PTR command) {
    NMTTDISPINFOW info{};
    info.hdr.code = TTN_GETDISPINFOW;
    info.hdr.idFrom = command;
    SendMessageW(view, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.szText;
}

std::string narrowTooltip(HWND view, UINT_PTR command) {
    NMTTDISPINFOA info{};
    info.hdr.code = TTN_GETDISPINFOA;
    info.hdr.idFrom = command;
    SendMessageA(view, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.szText;
}

// A key going down, with Ctrl held or not, as the browser passes it on.
MSG keyDown(HWND target, WPARAM key, bool control) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    keys[VK_LCONTROL] = keys[VK_CONTROL];
    SetKeyboardState(keys);
    MSG message{};
    message.hwnd = target;
    message.message = WM_KEYDOWN;
    message.wParam = key;
    message.lParam = 1;
    return message;
}

void releaseControl() {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
    SetKeyboardState(keys);
}

TEST_F(ViewBrowserTest, InACommonDialogTheViewListsWhatTheDialogIncludesAndLeavesItTheDefaultCommand) {
    CommonDialogDouble dialog(root_.get());
    browser_->offerDialogBrowser(&dialog);
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    EXPECT_EQ(column(list, 0), (std::vector<std::string>{"MUSIC", "new folder", "New Folder 1"}));
    EXPECT_EQ(dialog.asked, 6) << "every item of the folder is offered to the dialog";

    dialog.changes.clear();
    selectRow(list, rowOf(list, "MUSIC"));
    EXPECT_NE(std::find(dialog.changes.begin(), dialog.changes.end(), ULONG{CDBOSC_SELCHANGE}), dialog.changes.end());

    // A double click (item activation) goes to the dialog, which takes it.
    notifyFromList(list, LVN_ITEMACTIVATE);
    EXPECT_EQ(dialog.defaultCommands, 1);
    EXPECT_EQ(column(list, 0).size(), 3u);

    closeView(view);
    browser_->offerDialogBrowser(nullptr);
    EXPECT_EQ(dialog.references(), 0L) << "the view lets the dialog's browser go";
}

TEST_F(ViewBrowserTest, TheToolbarTooltipsNameTheViewModes) {
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    const HWND window = viewWindow(view.get());
    const std::pair<UINT_PTR, const char*> tips[] = {
        {CMD_LARGE_ICONS, "Lar&ge Icons"}, {CMD_SMALL_ICONS, "S&mall Icons"}, {CMD_LIST, "&List"}, {CMD_DETAILS, "&Details"}};
    for (const auto& [command, text] : tips) {
        EXPECT_EQ(narrowTooltip(window, command), text) << command;
        const std::string narrow = text;
        EXPECT_EQ(wideTooltip(window, command), std::wstring(narrow.begin(), narrow.end())) << command;
    }
    EXPECT_EQ(narrowTooltip(window, CMD_COPY), "") << "no tooltip for a command without a button";
    closeView(view);
}

// Whether the data object on the OLE clipboard offers `format`.
bool clipboardOffers(const char* format) {
    ComRef<IDataObject> data;
    if (FAILED(OleGetClipboard(data.out())) || !data) return false;
    FORMATETC wanted{static_cast<CLIPFORMAT>(RegisterClipboardFormatA(format)), nullptr, DVASPECT_CONTENT, -1,
                     TYMED_HGLOBAL};
    return data->QueryGetData(&wanted) == S_OK;
}

// The "Preferred DropEffect" of the data object on the OLE clipboard; 0 when
// it gives none.
DWORD preferredEffect() {
    ComRef<IDataObject> data;
    if (FAILED(OleGetClipboard(data.out())) || !data) return 0;
    FORMATETC wanted{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Preferred DropEffect")), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&wanted, &medium))) return 0;
    DWORD effect = 0;
    if (const auto* value = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
        effect = *value;
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return effect;
}

TEST_F(ViewBrowserTest, CtrlCAndCtrlXPutTheSelectionOnTheClipboardOtherKeysAreLeftToTheBrowser) {
    OleSetClipboard(nullptr);
    emptyClipboard();
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    const int row = rowOf(list, "A.TXT");
    selectRow(list, row);

    MSG plain = keyDown(list, 'C', false);
    EXPECT_EQ(view->TranslateAccelerator(&plain), S_FALSE);
    EXPECT_FALSE(clipboardOffers("FileGroupDescriptor"));

    MSG copy = keyDown(list, 'C', true);
    EXPECT_EQ(view->TranslateAccelerator(&copy), S_OK);
    EXPECT_TRUE(clipboardOffers("FileGroupDescriptor")) << "Ctrl+C put the items on the clipboard";
    EXPECT_EQ(preferredEffect(), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(ListView_GetItemState(list, row, LVIS_CUT), 0u);

    MSG cut = keyDown(list, 'X', true);
    EXPECT_EQ(view->TranslateAccelerator(&cut), S_OK);
    releaseControl();
    EXPECT_EQ(preferredEffect(), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(ListView_GetItemState(list, row, LVIS_CUT), static_cast<UINT>(LVIS_CUT)) << "Ctrl+X marked the item";

    closeView(view);
    OleSetClipboard(nullptr);
}

}  // namespace
}  // namespace kestrel::shellext::test
