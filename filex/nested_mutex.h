// A machine-wide mutex that a thread may take again while it holds it, with
// only the outermost lock and unlock reaching the OS mutex under it. The
// filex operations nest the file mutex (operation, exchange, transfer): on
// Windows every take and release of a kernel mutex is a system call, and a
// round trip to the server process where kernel objects are emulated.
#pragma once

#include "platform/named_mutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace kestrel::filex {

class NestedMutex final : public platform::NamedMutex {
public:
    // Null when `inner` is null.
    [[nodiscard]] static std::unique_ptr<NestedMutex> over(std::unique_ptr<platform::NamedMutex> inner);

    platform::WaitResult lock(uint32_t ms) override;
    // An unlock by a thread that does not own the mutex goes to the OS
    // mutex unchanged (which refuses it, as it would without this layer).
    void unlock() override;

private:
    explicit NestedMutex(std::unique_ptr<platform::NamedMutex> inner) : inner_(std::move(inner)) {}

    std::unique_ptr<platform::NamedMutex> inner_;
    std::atomic<std::thread::id> owner_{};  // only the owner ever finds its own id here
    uint32_t depth_ = 0;                   // touched by the owner only
};

}  // namespace kestrel::filex
