// Keeps the library loaded while the filex link runs.
//
// The link's watchdog is a thread that runs in this library's code. If the
// library were unloaded under it, the thread would run into unmapped memory
// and take Explorer down. And it cannot be stopped while the library is
// being unloaded: DLL_PROCESS_DETACH runs under the loader lock, which an
// ending thread needs too. So the library holds a reference to itself from
// the moment the link runs; a FreeLibrary then leaves it loaded. When no
// object of the library is alive any more, DllCanUnloadNow (called outside
// the loader lock, just before the caller unloads) stops the link and drops
// the reference.
#pragma once

#include "shellext/shell_api.h"

#include <mutex>

namespace kestrel::shellext {

class LibraryHold {
public:
    // Takes the reference when `linkRunning` and none is held.
    void follow(bool linkRunning);
    // Drops the reference (never the last one: the caller is running code
    // of the library, so its own reference is still there).
    void release();
    bool held() const;
    // From process detach on, no reference is taken or dropped.
    void detaching();

private:
    mutable std::mutex mutex_;
    HMODULE self_ = nullptr;
    bool detaching_ = false;
};

}  // namespace kestrel::shellext
