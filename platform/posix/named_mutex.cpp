// Named mutexes on POSIX: between processes, an flock on the lock file
// "kestrel-<name>.lock" in the temporary folder (released by the kernel when
// the holder dies); inside the process, an owner thread and a recursion count
// shared by every opener of the name. An unnamed mutex has no lock file.
#include "platform/named_mutex.h"

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/posix/named_registry.h"
#include "platform/posix/unique_fd.h"
#include "platform/real_sleep.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kestrel::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t POLL_MS = 2;

std::string lockFilePath(std::string_view name) {
    std::string folder = getEnv("TMPDIR").value_or("");
    if (folder.empty()) folder = "/tmp";
    if (folder.back() == '/') folder.pop_back();
    std::string file = "kestrel-";
    for (const char c : name) file += (c == '/' || c == '\0') ? '_' : c;
    return folder + "/" + file + ".lock";
}

struct MutexState {
    explicit MutexState(posix::UniqueFd lockFile) : file(std::move(lockFile)) {}
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id owner;  // the owning (or acquiring) thread; none when free
    uint32_t count = 0;     // recursion depth; 0 while the owner still acquires the file
    posix::UniqueFd file;
};

posix::NamedRegistry<MutexState>& namedMutexes() {
    static posix::NamedRegistry<MutexState> registry;
    return registry;
}

class PosixNamedMutex final : public NamedMutex {
public:
    explicit PosixNamedMutex(std::shared_ptr<MutexState> state) : state_(std::move(state)) {}

    WaitResult lock(uint32_t ms) override {
        const uint32_t real = scaledMs(ms);
        const bool forever = real == WAIT_FOREVER;
        const auto deadline = forever ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(real);
        const auto me = std::this_thread::get_id();
        std::unique_lock lock(state_->mutex);
        if (state_->owner == me) {
            ++state_->count;
            return WaitResult::Signalled;
        }
        const auto free = [this] { return state_->owner == std::thread::id(); };
        if (forever) state_->released.wait(lock, free);
        else if (!state_->released.wait_until(lock, deadline, free)) return WaitResult::TimedOut;

        // Claim the in-process side, then contend with other processes for
        // the file without holding the state's lock.
        state_->owner = me;
        lock.unlock();
        const WaitResult result = lockFile(forever, deadline);
        lock.lock();
        if (result == WaitResult::Signalled) {
            state_->count = 1;
        } else {
            state_->owner = std::thread::id();
            state_->released.notify_one();
        }
        return result;
    }

    void unlock() override {
        std::lock_guard lock(state_->mutex);
        if (state_->owner != std::this_thread::get_id() || state_->count == 0) return;
        if (--state_->count != 0) return;
        if (state_->file.valid()) flock(state_->file.get(), LOCK_UN);
        state_->owner = std::thread::id();
        state_->released.notify_one();
    }

private:
    WaitResult lockFile(bool forever, Clock::time_point deadline) {
        const int fd = state_->file.get();
        if (fd < 0) return WaitResult::Signalled;  // unnamed: private to the process
        if (forever) {
            while (flock(fd, LOCK_EX) != 0) {
                if (errno != EINTR) return WaitResult::Failed;
            }
            return WaitResult::Signalled;
        }
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) return WaitResult::Signalled;
            if (errno != EWOULDBLOCK && errno != EINTR) return WaitResult::Failed;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return WaitResult::TimedOut;
            detail::sleepRealMs(static_cast<uint32_t>(std::min<int64_t>(left.count(), POLL_MS)));
        }
    }

    std::shared_ptr<MutexState> state_;
};

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::open(std::string_view name) {
    if (name.empty()) return std::make_unique<PosixNamedMutex>(std::make_shared<MutexState>(posix::UniqueFd()));
    auto state = namedMutexes().obtain(name, [&]() -> std::shared_ptr<MutexState> {
        // Read-only is enough for flock, and works on a lock file another
        // user created.
        posix::UniqueFd file(::open(lockFilePath(name).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
        if (!file.valid()) return nullptr;
        return std::make_shared<MutexState>(std::move(file));
    });
    if (!state) return nullptr;
    return std::make_unique<PosixNamedMutex>(std::move(state));
}

}  // namespace kestrel::platform
