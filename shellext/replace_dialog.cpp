#include "shellext/replace_dialog.h"

#include "shellext/resource_ids.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"
#include "shellext/trace.h"

namespace kestrel::shellext {

namespace {

INT_PTR CALLBACK replaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_REPLACE_NAME, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDYES:
        case IDNO:
        case IDCANCEL:
        case IDC_YES_TO_ALL: EndDialog(dialog, LOWORD(wParam)); return TRUE;
        default: break;
        }
        break;
    default: break;
    }
    return FALSE;
}

}  // namespace

int askReplace(const std::string& name) {
    const INT_PTR answer = DialogBoxParamA(ServerModule::instance().resources(), MAKEINTRESOURCEA(IDD_CONFIRM_REPLACE),
                                           nullptr, replaceProc, reinterpret_cast<LPARAM>(name.c_str()));
    SHX_TRACE("ConfirmReplace('%s')->%d\n", name.c_str(), static_cast<int>(answer));
    switch (answer) {
    case IDYES: return REPLACE_YES;
    case IDNO: return REPLACE_NO;
    case IDC_YES_TO_ALL: return REPLACE_YES_TO_ALL;
    default: return REPLACE_CANCEL;
    }
}

}  // namespace kestrel::shellext
