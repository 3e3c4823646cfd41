// A thread with start and join. The destructor joins.
#pragma once

#include <functional>
#include <thread>

namespace kestrel::platform {

class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body) : thread_(std::move(body)) {}
    Thread(Thread&&) = default;
    Thread& operator=(Thread&& other) {
        join();
        thread_ = std::move(other.thread_);
        return *this;
    }
    ~Thread() { join(); }

    bool joinable() const { return thread_.joinable(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

}  // namespace kestrel::platform
