#include "sim/ksim_request_runner.h"

namespace kestrel::sim {

KsimRequestRunner::KsimRequestRunner(Handler handler) : handler_(std::move(handler)) {
    thread_ = platform::Thread([this] { run(); });
}

KsimRequestRunner::~KsimRequestRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool KsimRequestRunner::submit(KsimRequest request) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || (!busy_ && !next_); });
    if (failed_) return false;
    next_ = std::move(request);
    changed_.notify_all();
    return true;
}

void KsimRequestRunner::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_.has_value(); });
        if (!next_) return;
        KsimRequest request = std::move(*next_);
        next_.reset();
        busy_ = true;
        lock.unlock();
        const bool replied = handler_(request);
        lock.lock();
        busy_ = false;
        if (!replied) failed_ = true;
        changed_.notify_all();
        if (failed_) return;
    }
}

}  // namespace kestrel::sim
