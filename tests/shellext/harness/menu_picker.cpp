#include "tests/shellext/harness/menu_picker.h"

namespace kestrel::shellext::test {

namespace {

constexpr UINT MN_GETHMENU_MESSAGE = 0x01E1;
constexpr UINT TICK_MS = 20;

// The picker of this thread's tests (the timer procedure has no context).
thread_local MenuPicker* current = nullptr;

BOOL CALLBACK findMenuWindow(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::vector<std::string> entriesOf(HMENU menu) {
    std::vector<std::string> texts;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = {};
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_TYPE;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item);
        texts.emplace_back((item.fType & MFT_SEPARATOR) ? "-" : text);
    }
    return texts;
}

}  // namespace

MenuPicker::MenuPicker() {
    current = this;
    timer_ = SetTimer(nullptr, 0, TICK_MS, tick);
}

MenuPicker::~MenuPicker() {
    if (timer_ != 0) KillTimer(nullptr, timer_);
    current = nullptr;
}

void CALLBACK MenuPicker::tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr) return;
    HWND menu = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findMenuWindow, reinterpret_cast<LPARAM>(&menu));
    if (menu == nullptr) {
        current->answered_ = nullptr;
        return;
    }
    if (menu != current->answered_) current->answer(menu);
}

void MenuPicker::answer(HWND menuWindow) {
    answered_ = menuWindow;
    seen_.push_back(entriesOf(reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU_MESSAGE, 0, 0))));
    const char key = keys_.empty() ? ESCAPE : keys_.front();
    if (!keys_.empty()) keys_.pop_front();
    if (key == ESCAPE) {
        PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(menuWindow, WM_KEYUP, VK_ESCAPE, 0);
    } else {
        PostMessageA(menuWindow, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(key)), 0);
    }
}

}  // namespace kestrel::shellext::test
