// The update dialog: check boxes set from the update files present, "Update"
// and "Exit".
#include "fwupdate/core/control_ids.h"
#include "fwupdate/core/messages.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/win32/app.h"

#include <commctrl.h>

namespace kestrel::fwupdate::win32 {

namespace {

void setChoice(HWND dialog, int id, bool available) {
    CheckDlgButton(dialog, id, available ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, id), available);
}

void initialise(App& app, HWND dialog) {
    app.view().attach(dialog);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
    const UpdateFiles files = findUpdateFiles(hostFilesIn(""));
    setChoice(dialog, IDC_EEPROM, files.eeprom);
    setChoice(dialog, IDC_MAIN, files.main);
    if (files.noneAvailable()) {
        EnableWindow(GetDlgItem(dialog, IDC_UPDATE), FALSE);
        app.view().showMessage(box::updateFilesMissing());
    }
    SetDlgItemTextA(dialog, IDC_ACTION, "");
    SetDlgItemTextA(dialog, IDC_PERCENT, "");
}

App* dialogApp(HWND dialog) { return reinterpret_cast<App*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

}  // namespace

INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        App* app = appOf(reinterpret_cast<HWND>(lParam));
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(app));
        if (app != nullptr) initialise(*app, dialog);
        return TRUE;  // the system sets the initial focus
    }
    case WM_COMMAND: {
        App* app = dialogApp(dialog);
        if (app == nullptr || HIWORD(wParam) != BN_CLICKED) break;
        if (LOWORD(wParam) == IDC_EXIT) {
            if (!app->refuseWhileUpdating()) DestroyWindow(app->mainWindow);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_UPDATE) {
            app->tool().RunUpdate();
            return TRUE;
        }
        break;
    }
    case WM_NCDESTROY: return TRUE;
    default: break;
    }
    return FALSE;
}

}  // namespace kestrel::fwupdate::win32
