#include "fwupdate/win32/pump.h"

#include "platform/win32/win32.h"

namespace kestrel::fwupdate::win32 {

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        // The quit message (0) is taken and ends the pumping.
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) return;
        DispatchMessageA(&message);
    }
}

}  // namespace kestrel::fwupdate::win32
