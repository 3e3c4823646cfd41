// The wait cursor shown while the device is busy: set on construction, the
// previous cursor restored on destruction. Nothing to show without a window
// system.
#pragma once

namespace kestrel::platform {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    void* previous_ = nullptr;
};

}  // namespace kestrel::platform
