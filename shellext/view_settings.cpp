#include "shellext/view_settings.h"

#include "shellext/context_menu_verbs.h"

namespace kestrel::shellext {

DWORD listTypeStyle(UINT viewMode) {
    switch (viewMode) {
    case FVM_ICON: return LVS_ICON;
    case FVM_SMALLICON: return LVS_SMALLICON;
    case FVM_LIST: return LVS_LIST;
    default: return LVS_REPORT;
    }
}

UINT viewModeCommand(UINT viewMode) {
    switch (viewMode) {
    case FVM_ICON: return CMD_LARGE_ICONS;
    case FVM_SMALLICON: return CMD_SMALL_ICONS;
    case FVM_LIST: return CMD_LIST;
    default: return CMD_DETAILS;
    }
}

DWORD clickExtendedStyle() {
    using GetSettings = void(WINAPI*)(SHELLFLAGSTATE*, DWORD);
    const HMODULE shell = GetModuleHandleA("shell32.dll");
    const auto getSettings =
        shell == nullptr ? nullptr : reinterpret_cast<GetSettings>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSettings")));
    if (getSettings == nullptr) return 0;  // the classic setting
    SHELLFLAGSTATE state{};
    getSettings(&state, SSF_DOUBLECLICKINWEBVIEW | SSF_WIN95CLASSIC);
    if (state.fDoubleClickInWebView || state.fWin95Classic) return 0;
    return LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE | LVS_EX_UNDERLINEHOT;
}

}  // namespace kestrel::shellext
