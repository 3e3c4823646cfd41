// Machine-wide named mutexes, recursive for the owning thread and released
// when the owning process dies (Windows: a named kernel mutex; POSIX: a lock
// file under the temporary folder held with flock, plus a recursive lock
// inside the process).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/event.h"

namespace kestrel::platform {

class NamedMutex {
public:
    // Opens or creates the mutex `name` (an empty name makes a mutex private
    // to this object); null when it cannot be.
    [[nodiscard]] static std::unique_ptr<NamedMutex> open(std::string_view name);
    virtual ~NamedMutex() = default;
    // Waits at most `ms` product milliseconds. Signalled means owned (once
    // more, when already owned by this thread).
    virtual WaitResult lock(uint32_t ms) = 0;
    virtual void unlock() = 0;
};

// Holds a NamedMutex for a scope.
class NamedMutexLock {
public:
    NamedMutexLock(NamedMutex& mutex, uint32_t ms) : mutex_(mutex), owned_(mutex.lock(ms) == WaitResult::Signalled) {}
    ~NamedMutexLock() { if (owned_) mutex_.unlock(); }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    bool owned() const { return owned_; }

private:
    NamedMutex& mutex_;
    bool owned_;
};

}  // namespace kestrel::platform
