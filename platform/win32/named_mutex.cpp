// Named mutexes on Windows: kernel mutex objects, recursive for the owning
// thread; a mutex whose owner died is handed over abandoned, which counts as
// owned.
#include "platform/named_mutex.h"

#include "platform/clock.h"
#include "platform/win32/unique_handle.h"

#include <string>

namespace kestrel::platform {

namespace {

class Win32NamedMutex final : public NamedMutex {
public:
    explicit Win32NamedMutex(win32::UniqueHandle handle) : handle_(std::move(handle)) {}

    WaitResult lock(uint32_t ms) override {
        switch (WaitForSingleObject(handle_.get(), scaledMs(ms))) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: return WaitResult::Signalled;
        case WAIT_TIMEOUT: return WaitResult::TimedOut;
        default: return WaitResult::Failed;
        }
    }

    void unlock() override { ReleaseMutex(handle_.get()); }

private:
    win32::UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::open(std::string_view name) {
    const std::string text(name);
    win32::UniqueHandle handle(CreateMutexA(nullptr, FALSE, text.empty() ? nullptr : text.c_str()));
    if (!handle.valid()) return nullptr;
    return std::make_unique<Win32NamedMutex>(std::move(handle));
}

}  // namespace kestrel::platform
