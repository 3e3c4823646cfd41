#include "fwupdate/win32/dialog_view.h"

#include "fwupdate/core/control_ids.h"
#include "fwupdate/win32/pump.h"

#include <commctrl.h>

namespace kestrel::fwupdate::win32 {

namespace {

UINT iconFlags(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Warning: return MB_ICONWARNING;
    case BoxIcon::Question: return MB_ICONQUESTION;
    case BoxIcon::Information: return MB_ICONINFORMATION;
    case BoxIcon::Error: return MB_ICONERROR;
    }
    return 0;
}

}  // namespace

Answer showMessageBox(HWND dialog, const Message& message) {
    UINT flags = iconFlags(message.icon);
    flags |= message.buttons == BoxButtons::YesNoDefaultNo ? MB_YESNO | MB_DEFBUTTON2 : MB_OK;
    if (message.modality == BoxModality::TaskModal) flags |= MB_TASKMODAL;
    const HWND owner = message.modality == BoxModality::OwnedByDialog ? dialog : nullptr;
    switch (MessageBoxA(owner, message.text.c_str(), message.caption.c_str(), flags)) {
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    case IDOK: return Answer::Ok;
    default: break;
    }
    // A box that could not be shown: the answer that does nothing.
    return message.buttons == BoxButtons::Ok ? Answer::Ok : Answer::No;
}

void DialogView::setActionText(const std::string& text) { SetDlgItemTextA(dialog_, IDC_ACTION, text.c_str()); }

void DialogView::setPercentText(const std::string& text) { SetDlgItemTextA(dialog_, IDC_PERCENT, text.c_str()); }

void DialogView::setProgress(uint32_t percent) {
    SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, percent, 0);
}

bool DialogView::isChecked(Choice choice) {
    return IsDlgButtonChecked(dialog_, choice == Choice::Eeprom ? IDC_EEPROM : IDC_MAIN) == BST_CHECKED;
}

void DialogView::enableControls(bool enable) {
    for (const int id : {IDC_EEPROM, IDC_MAIN, IDC_UPDATE, IDC_EXIT}) EnableWindow(GetDlgItem(dialog_, id), enable);
}

Answer DialogView::showMessage(const Message& message) { return showMessageBox(dialog_, message); }

void DialogView::pumpMessages() { PumpMessages(); }

void DialogView::beginWaitCursor() { previousCursor_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }

void DialogView::endWaitCursor() { SetCursor(previousCursor_); }

}  // namespace kestrel::fwupdate::win32
