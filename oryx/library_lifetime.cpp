// Library load and unload. Unloading the library calls usbcClose: the link
// is stopped (its watchdog thread joined) and the device's main firmware
// loaded back.
//
// Windows. DLL_PROCESS_DETACH runs under the loader lock, and a thread that
// ends takes that lock, so joining a live watchdog there would wait for ever.
// The library therefore holds a reference to itself while its link runs: a
// FreeLibrary then leaves it loaded, and usbcClose, called outside the lock,
// joins the watchdog and drops the reference. So the detach comes
//  - from FreeLibrary (reserved null) only with the link stopped, and
//    usbcClose has nothing to do;
//  - at process exit (reserved not null) after the system has ended every
//    other thread, the watchdog included: joining it returns at once, and the
//    main firmware is loaded back. That waits for the device to come back
//    (1 s, then at most 15 s) but for nothing in this process. A failure
//    goes to the debug output instead of a message box: at exit nobody
//    would answer the box, and windows under the loader lock can deadlock.
// The C runtime destroys the library's objects after DllMain has returned.
//
// POSIX. Nothing stops an unload from joining the watchdog. At exit() the C
// runtime destroys the library's objects before the library's destructors
// run, so the close is an exit handler registered once the device exists:
// handlers and destructors run in the reverse order of their registration,
// at exit() and at dlclose alike, so the close comes before the device goes.
#include "oryx/library_lifetime.h"

#include "oryx/oryx.h"

#ifdef _WIN32
#include "platform/debug_text.h"
#include "platform/message_box.h"
#include "platform/win32/win32.h"

#include <string>
#include <utility>

namespace {

// The library's own state of its lifetime; the loader and the callers
// serialise every access (DllMain holds the loader lock, the exports are not
// called concurrently).
struct Lifetime {
    bool deviceMade = false;        // usbcClose has a device to close
    // The reference held while the link runs. Dropped only by usbcClose,
    // never by a destructor: at unload a FreeLibrary must not run.
    HMODULE heldSelf = nullptr;
    bool detaching = false;         // inside DLL_PROCESS_DETACH
};

Lifetime& lifetime() {
    static Lifetime state;
    return state;
}

kestrel::platform::MessageAnswer toDebugOutput(const kestrel::platform::MessageBoxRequest& request) {
    const std::string line = "ORYX: " + request.caption + ": " + request.text;
    kestrel::platform::debugText(line.c_str());
    return kestrel::platform::MessageAnswer::Ok;
}

void closeForUnload() {
    auto& state = lifetime();
    state.detaching = true;  // the reference is not dropped under the loader lock
    if (!state.deviceMade) return;
    auto previous = kestrel::platform::setMessageSink(toDebugOutput);
    usbcClose();
    kestrel::platform::setMessageSink(std::move(previous));
}

}  // namespace

namespace kestrel::oryx {

void closeAtUnload() { lifetime().deviceMade = true; }

void holdLibraryWhileLinkRuns(bool linkRunning) {
    auto& state = lifetime();
    if (state.detaching) return;
    if (linkRunning && state.heldSelf == nullptr) {
        HMODULE self = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               reinterpret_cast<LPCSTR>(&holdLibraryWhileLinkRuns), &self))
            state.heldSelf = self;
    } else if (!linkRunning && state.heldSelf != nullptr) {
        // The caller holds a reference of its own (it is calling us), so this
        // one is never the last.
        FreeLibrary(std::exchange(state.heldSelf, nullptr));
    }
}

}  // namespace kestrel::oryx

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) closeForUnload();
    return TRUE;
}

#else

#include "platform/device_provider.h"

#include <cstdlib>

namespace {

void closeForUnload() { usbcClose(); }

}  // namespace

namespace kestrel::oryx {

void closeAtUnload() {
    // The close at exit reaches the device through the device layer's
    // process-wide objects (the provider of KESTREL_SIM_USB, the system's USB
    // stack). Made before the close is registered, they are destroyed after
    // it has run, at exit and at dlclose alike.
    (void)kestrel::platform::activeDeviceProvider();
    std::atexit(closeForUnload);
}

void holdLibraryWhileLinkRuns(bool) {}

}  // namespace kestrel::oryx

#endif
