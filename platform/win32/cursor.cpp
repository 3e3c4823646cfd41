#include "platform/cursor.h"

#include "platform/win32/win32.h"

namespace kestrel::platform {

WaitCursor::WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) {}  // IDC_WAIT

WaitCursor::~WaitCursor() { SetCursor(static_cast<HCURSOR>(previous_)); }

}  // namespace kestrel::platform
