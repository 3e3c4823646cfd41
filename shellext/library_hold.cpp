#include "shellext/library_hold.h"

#include <utility>

namespace kestrel::shellext {

namespace {

// An address inside this library, to find the library by.
void anchor() {}

}  // namespace

void LibraryHold::follow(bool linkRunning) {
    if (!linkRunning) return;
    std::lock_guard lock(mutex_);
    if (detaching_ || self_ != nullptr) return;
    HMODULE self = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&anchor),
                           &self))
        self_ = self;
}

void LibraryHold::release() {
    HMODULE self = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (detaching_) return;
        self = std::exchange(self_, nullptr);
    }
    if (self != nullptr) FreeLibrary(self);
}

bool LibraryHold::held() const {
    std::lock_guard lock(mutex_);
    return self_ != nullptr;
}

void LibraryHold::detaching() {
    std::lock_guard lock(mutex_);
    detaching_ = true;
}

}  // namespace kestrel::shellext
