// The library's module-wide state, from process attach to process detach:
// the instance handle (for resources), the count of live objects, the
// product display name, the name-column width, the shared image lists, the
// registry of open views and the hold that keeps the library loaded while
// the filex link runs. One instance per process; the exported functions
// and the object classes reach it through ServerModule::instance().
#pragma once

#include "shellext/image_lists.h"
#include "shellext/library_hold.h"
#include "shellext/shell_api.h"
#include "shellext/view_registry.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace kestrel::shellext {

class ServerModule {
public:
    static ServerModule& instance();

    // Process attach: stores the instance, loads the settings and the
    // product name, builds the image lists, initialises COM on this thread.
    void attach(HINSTANCE instance);
    // Process detach: saves the settings, destroys the image lists and the
    // view registry, and undoes this thread's COM initialisation when it
    // succeeded at attach, the library is unloaded by FreeLibrary (not at
    // process exit) and this is the thread that attached.
    void detach(bool processEnding);

    HINSTANCE resources() const { return instance_; }

    // Every object class of the library counts its instances here. Explorer
    // runs a thread per window, so the count is atomic.
    void objectCreated() { ++liveObjects_; }
    void objectDestroyed() { --liveObjects_; }
    int32_t liveObjects() const { return liveObjects_.load(); }

    // String resource 5 ("Kestrel"), at most 63 characters.
    const std::string& productName() const { return productName_; }

    int32_t nameColumnWidth() const { return nameColumnWidth_.load(); }
    void setNameColumnWidth(int32_t width) { nameColumnWidth_ = width; }

    const ImageLists& imageLists() const { return imageLists_; }
    ViewRegistry& views() { return views_; }
    LibraryHold& hold() { return hold_; }

private:
    ServerModule() = default;

    HINSTANCE instance_ = nullptr;
    std::atomic<int32_t> liveObjects_{0};
    std::string productName_;
    std::atomic<int32_t> nameColumnWidth_{100};
    ImageLists imageLists_;
    ViewRegistry views_;
    LibraryHold hold_;
    HRESULT comInitialised_ = E_FAIL;
    DWORD attachThread_ = 0;
};

// Base of every object class: counts the object as live while it exists.
class LiveObject {
protected:
    LiveObject() { ServerModule::instance().objectCreated(); }
    ~LiveObject() { ServerModule::instance().objectDestroyed(); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

}  // namespace kestrel::shellext
