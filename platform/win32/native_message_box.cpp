// A real message box: modal, without an owner window.
#include "platform/native_message_box.h"

#include "platform/win32/win32.h"

namespace kestrel::platform::detail {

namespace {

UINT iconFlags(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop: return MB_ICONSTOP;
    case MessageIcon::Question: return MB_ICONQUESTION;
    case MessageIcon::Exclamation: return MB_ICONEXCLAMATION;
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::None: break;
    }
    return 0;
}

UINT buttonFlags(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel: return MB_OKCANCEL;
    case MessageButtons::YesNo: return MB_YESNO;
    case MessageButtons::YesNoCancel: return MB_YESNOCANCEL;
    case MessageButtons::Ok: break;
    }
    return MB_OK;
}

// What a box that could not be shown counts as: the answer that does nothing.
MessageAnswer refusal(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel: return MessageAnswer::Cancel;
    case MessageButtons::YesNo: return MessageAnswer::No;
    case MessageButtons::Ok: break;
    }
    return MessageAnswer::Ok;
}

}  // namespace

MessageAnswer nativeMessageBox(const MessageBoxRequest& request) {
    const int answer = MessageBoxA(nullptr, request.text.c_str(), request.caption.c_str(),
                                   iconFlags(request.icon) | buttonFlags(request.buttons));
    switch (answer) {
    case IDOK: return MessageAnswer::Ok;
    case IDCANCEL: return MessageAnswer::Cancel;
    case IDYES: return MessageAnswer::Yes;
    case IDNO: return MessageAnswer::No;
    default: return refusal(request.buttons);
    }
}

}  // namespace kestrel::platform::detail
