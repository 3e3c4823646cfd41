#include "tests/shellext/harness/shell_browser_double.h"

namespace kestrel::shellext::test {

namespace {

constexpr char FRAME_CLASS[] = "KestrelTestBrowserFrame";

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerFrameClass() {
    WNDCLASSA existing{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), FRAME_CLASS, &existing)) return;
    WNDCLASSA frame{};
    frame.lpfnWndProc = frameProcedure;
    frame.hInstance = GetModuleHandleA(nullptr);
    frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frame.lpszClassName = FRAME_CLASS;
    RegisterClassA(&frame);
}

HMENU popupWith(const char* text, UINT command, bool optionsSeparator) {
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, command, text);
    if (optionsSeparator) {
        AppendMenuA(popup, MF_SEPARATOR, FCIDM_MENU_VIEW_SEP_OPTIONS, nullptr);
        AppendMenuA(popup, MF_STRING, BROWSER_VIEW_OPTIONS, "Folder &Options...");
    }
    return popup;
}

void appendPopup(HMENU menu, UINT command, const char* title, HMENU popup) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = command;
    item.hSubMenu = popup;
    item.dwTypeData = const_cast<char*>(title);
    InsertMenuItemA(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &item);
}

}  // namespace

void pumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

ShellBrowserDouble::ShellBrowserDouble(bool tree) : StrictDouble("shell browser") {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    registerFrameClass();
    frame_ = CreateWindowExA(0, FRAME_CLASS, "Kestrel - test browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                             900, 520, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0,
                               0, frame_, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame_, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (tree)
        tree_ = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, frame_, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
}

ShellBrowserDouble::~ShellBrowserDouble() {
    if (frame_ != nullptr) DestroyWindow(frame_);
}

RECT ShellBrowserDouble::viewArea() const {
    RECT client{}, bar{}, status{};
    GetClientRect(frame_, &client);
    GetWindowRect(toolbar_, &bar);
    GetWindowRect(status_, &status);
    client.top += bar.bottom - bar.top;
    client.bottom -= status.bottom - status.top;
    return client;
}

HMENU ShellBrowserDouble::submenu(UINT command) const {
    if (menu_ == nullptr) return nullptr;
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    return GetMenuItemInfoA(menu_, command, FALSE, &item) ? item.hSubMenu : nullptr;
}

std::string ShellBrowserDouble::statusText() const {
    char text[256] = {};
    SendMessageA(status_, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

bool ShellBrowserDouble::buttonChecked(UINT command) const {
    return SendMessageA(toolbar_, TB_ISBUTTONCHECKED, command, 0) != 0;
}

int ShellBrowserDouble::buttonCount() const { return static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0)); }

HRESULT ShellBrowserDouble::QueryInterface(REFIID riid, void** out) {
    if (out != nullptr && dialog_ != nullptr && IsEqualIID(riid, IID_ICommDlgBrowser)) {
        dialog_->AddRef();
        *out = dialog_;
        return S_OK;
    }
    return StrictDouble::QueryInterface(riid, out);
}

HRESULT ShellBrowserDouble::GetWindow(HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = frame_;
    return S_OK;
}

HRESULT ShellBrowserDouble::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
    ++inserted_;
    appendPopup(shared, FCIDM_MENU_FILE, "&File", popupWith("&Close", BROWSER_FILE_CLOSE, false));
    appendPopup(shared, FCIDM_MENU_EDIT, "&Edit", popupWith("&Undo", BROWSER_EDIT_UNDO, false));
    appendPopup(shared, FCIDM_MENU_VIEW, "&View", popupWith("&Status Bar", 0x7104, true));
    if (widths != nullptr) {
        widths->width[0] = 1;
        widths->width[2] = 1;
        widths->width[4] = 1;
    }
    return S_OK;
}

HRESULT ShellBrowserDouble::SetMenuSB(HMENU shared, HOLEMENU, HWND) {
    menu_ = shared;
    return S_OK;
}

HRESULT ShellBrowserDouble::RemoveMenusSB(HMENU shared) {
    ++removed_;
    // The browser's own popups go with it.
    for (UINT command : {FCIDM_MENU_FILE, FCIDM_MENU_EDIT, FCIDM_MENU_VIEW}) DeleteMenu(shared, command, MF_BYCOMMAND);
    return S_OK;
}

HRESULT ShellBrowserDouble::GetControlWindow(UINT id, HWND* out) {
    if (out == nullptr) return E_POINTER;
    switch (id) {
    case FCW_TOOLBAR: *out = toolbar_; break;
    case FCW_STATUS: *out = status_; break;
    case FCW_TREE: *out = tree_; break;
    default: *out = nullptr; break;
    }
    return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT ShellBrowserDouble::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    HWND control = id == FCW_TOOLBAR ? toolbar_ : id == FCW_STATUS ? status_ : nullptr;
    if (control == nullptr) return unexpected("SendControlMsg for another control");
    const LRESULT answer = SendMessageA(control, message, wParam, lParam);
    if (result != nullptr) *result = answer;
    return S_OK;
}

HRESULT ShellBrowserDouble::OnViewWindowActive(IShellView*) {
    ++activations_;
    return S_OK;
}

HRESULT ShellBrowserDouble::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) {
    if (flags != FCT_MERGE) return unexpected("SetToolbarItems without FCT_MERGE");
    if (buttons != nullptr && count > 0)
        SendMessageA(toolbar_, TB_ADDBUTTONSA, count, reinterpret_cast<LPARAM>(buttons));
    return S_OK;
}

}  // namespace kestrel::shellext::test
