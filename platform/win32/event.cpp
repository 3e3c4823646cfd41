// Events on Windows: kernel event objects; a name makes them machine-wide.
#include "platform/event.h"

#include "platform/clock.h"
#include "platform/win32/unique_handle.h"

#include <string>

namespace kestrel::platform {

namespace {

class Win32Event final : public Event {
public:
    explicit Win32Event(win32::UniqueHandle handle) : handle_(std::move(handle)) {}

    void set() override { SetEvent(handle_.get()); }
    void reset() override { ResetEvent(handle_.get()); }

    WaitResult wait(uint32_t ms) override {
        switch (WaitForSingleObject(handle_.get(), scaledMs(ms))) {
        case WAIT_OBJECT_0: return WaitResult::Signalled;
        case WAIT_TIMEOUT: return WaitResult::TimedOut;
        default: return WaitResult::Failed;
        }
    }

private:
    win32::UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<Event> Event::create(std::string_view name, bool manualReset, bool initialState) {
    const std::string text(name);
    win32::UniqueHandle handle(
        CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, text.empty() ? nullptr : text.c_str()));
    if (!handle.valid()) return nullptr;
    return std::make_unique<Win32Event>(std::move(handle));
}

}  // namespace kestrel::platform
