#include "shellext/clipboard_session.h"

#include "shellext/clipboard_formats.h"

namespace kestrel::shellext {

UINT deviceItemsFormat() { return RegisterClipboardFormatA(formats::DEVICE_ITEMS); }

bool clipboardHoldsDeviceItems() {
    const UINT format = deviceItemsFormat();
    return format != 0 && IsClipboardFormatAvailable(format) != FALSE;
}

bool clipboardHoldsPasteableData() { return clipboardHoldsDeviceItems() || IsClipboardFormatAvailable(CF_HDROP); }

void emptyClipboardUnlessChanged(DWORD sequence) {
    ClipboardSession clipboard;
    if (clipboard.open() && GetClipboardSequenceNumber() == sequence) EmptyClipboard();
}

}  // namespace kestrel::shellext
