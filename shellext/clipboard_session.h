// ClipboardSession: the clipboard held open for the lifetime of the object
// (OpenClipboard without an owner window, CloseClipboard at the end).
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

class ClipboardSession {
public:
    ClipboardSession() : open_(OpenClipboard(nullptr) != FALSE) {}
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;

    bool open() const { return open_; }

private:
    bool open_;
};

// The format number of the extension's own clipboard data
// ("qlxshlextDataFormat").
UINT deviceItemsFormat();

// True when the clipboard offers data in that format.
bool clipboardHoldsDeviceItems();

// True when the clipboard offers something a Paste into a device folder
// takes: device items or a host file list (CF_HDROP).
bool clipboardHoldsPasteableData();

// After a paste of cut items: empties the clipboard, so that they are not
// pasted a second time, unless it has changed since its sequence number was
// `sequence` (another program put something new there meanwhile).
void emptyClipboardUnlessChanged(DWORD sequence);

}  // namespace kestrel::shellext
