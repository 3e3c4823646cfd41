// Events on POSIX: a flag under a mutex and condition variable. Named events
// are shared by every opener in the process.
#include "platform/event.h"

#include "platform/clock.h"
#include "platform/posix/named_registry.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kestrel::platform {

namespace {

struct EventState {
    EventState(bool manual, bool signalled) : manualReset(manual), signalled(signalled) {}
    std::mutex mutex;
    std::condition_variable changed;
    const bool manualReset;
    bool signalled;
};

posix::NamedRegistry<EventState>& namedEvents() {
    static posix::NamedRegistry<EventState> registry;
    return registry;
}

class PosixEvent final : public Event {
public:
    explicit PosixEvent(std::shared_ptr<EventState> state) : state_(std::move(state)) {}

    void set() override {
        std::lock_guard lock(state_->mutex);
        state_->signalled = true;
        if (state_->manualReset) state_->changed.notify_all();
        else state_->changed.notify_one();
    }

    void reset() override {
        std::lock_guard lock(state_->mutex);
        state_->signalled = false;
    }

    WaitResult wait(uint32_t ms) override {
        std::unique_lock lock(state_->mutex);
        const auto signalled = [this] { return state_->signalled; };
        const uint32_t real = scaledMs(ms);
        if (real == WAIT_FOREVER) {
            state_->changed.wait(lock, signalled);
        } else {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(real);
            if (!state_->changed.wait_until(lock, deadline, signalled)) return WaitResult::TimedOut;
        }
        if (!state_->manualReset) state_->signalled = false;
        return WaitResult::Signalled;
    }

private:
    std::shared_ptr<EventState> state_;
};

}  // namespace

std::unique_ptr<Event> Event::create(std::string_view name, bool manualReset, bool initialState) {
    const auto make = [&] { return std::make_shared<EventState>(manualReset, initialState); };
    // Like a kernel event, opening an existing name ignores the flags.
    auto state = name.empty() ? make() : namedEvents().obtain(name, make);
    return std::make_unique<PosixEvent>(std::move(state));
}

}  // namespace kestrel::platform
