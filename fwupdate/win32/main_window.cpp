// The main window: hosts the update dialog, refuses to close while an
// update runs, and keeps its position in the registry.
#include "fwupdate/core/identity.h"
#include "fwupdate/win32/app.h"
#include "fwupdate/win32/child_dialog.h"
#include "fwupdate/win32/window_position.h"

namespace kestrel::fwupdate::win32 {

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    App* app = appOf(window);
    if (app != nullptr) {
        switch (message) {
        case WM_CREATE:
            app->mainWindow = window;
            app->dialog = CreateChildDialog(APP_NAME, app->instance(), UpdateDialogProc, window);
            RestoreWindowPosition(window, APP_NAME, app->monitors());
            break;
        case WM_SETFOCUS:
            if (IsWindow(app->dialog)) SetFocus(app->dialog);
            break;
        case WM_CLOSE:
            if (app->refuseWhileUpdating()) return 0;
            break;
        case WM_DESTROY: PostQuitMessage(0); break;
        case WM_NCDESTROY:
            SaveWindowPosition(window, APP_NAME, false);
            app->mainWindow = nullptr;
            app->dialog = nullptr;
            break;
        default: break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace kestrel::fwupdate::win32
