// Load and unload of the ORYX library, and the part the exported functions
// play in them (library_lifetime.cpp). Unloading the library calls usbcClose.
#pragma once

namespace kestrel::oryx {

// Called once, as soon as the exports have made the library's device: from
// then on the library's unload calls usbcClose, before the C runtime
// destroys the device.
void closeAtUnload();

// Called by the exports that may start or stop the link, on their way out,
// with whether the link runs now. While it runs, the library keeps itself
// loaded where an unload could not stop the link's watchdog thread safely
// (Windows); elsewhere this does nothing.
void holdLibraryWhileLinkRuns(bool linkRunning);

}  // namespace kestrel::oryx
