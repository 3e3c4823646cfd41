#include "shellext/clipboard_session.h"

#include "shellext/clipboard_formats.h"

namespace kestrel::shellext {

UINT deviceItemsFormat() { return RegisterClipboardFormatA(formats::DEVICE_ITEMS); }

bool clipboardHoldsDeviceItems() {
    const UINT format = deviceItemsFormat();
    return format != 0 && IsClipboardFormatAvailable(format) != FALSE;
}

}  // namespace kestrel::shellext
