// Library load and unload: nothing to do at load; at unload the link is
// stopped and the device's main firmware loaded back (usbcClose).
#include "fatfs/oryx.h"

#ifdef _WIN32
#include "platform/win32/win32.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process exit (reserved != null) the other threads are already gone,
    // so stopping the link cannot wait on a live watchdog under the loader
    // lock. On FreeLibrary the same holds once callers closed the device.
    if (reason == DLL_PROCESS_DETACH) {
        (void)reserved;
        usbcClose();
    }
    return TRUE;
}
#else
__attribute__((destructor)) static void oryxUnload() { usbcClose(); }
#endif
