#include "sim/usb_endpoint_queue.h"

#include <chrono>

namespace kestrel::sim {

namespace {

constexpr uint32_t ABORT_ATTEMPTS = 100;
constexpr uint32_t ABORT_RETRY_MS = 2;

}  // namespace

using platform::usb::UsbResult;
using platform::usb::UsbStatus;

UsbEndpointQueue::UsbEndpointQueue(Runner run, std::function<void()> abortRunning)
    : run_(std::move(run)), abortRunning_(std::move(abortRunning)), thread_([this] { loop(); }) {}

UsbEndpointQueue::~UsbEndpointQueue() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cancel();
    changed_.notify_all();
    thread_.join();
}

void UsbEndpointQueue::submit(Transfer transfer) {
    {
        std::lock_guard lock(mutex_);
        if (!stop_) {
            queued_.push_back(std::move(transfer));
            changed_.notify_all();
            return;
        }
    }
    transfer.done({UsbStatus::Cancelled, 0});
}

// An abort that reaches the device just before the running transfer starts
// waiting in it would miss that transfer: abort again until it has ended.
void UsbEndpointQueue::cancel() {
    std::deque<Transfer> dropped;
    std::unique_lock lock(mutex_);
    dropped.swap(queued_);
    const uint64_t serial = serial_;
    for (uint32_t attempt = 0; running_ && serial_ == serial && attempt < ABORT_ATTEMPTS; ++attempt) {
        lock.unlock();
        abortRunning_();
        lock.lock();
        changed_.wait_for(lock, std::chrono::milliseconds(ABORT_RETRY_MS),
                          [&] { return !running_ || serial_ != serial; });
    }
    lock.unlock();
    for (auto& transfer : dropped) transfer.done({UsbStatus::Cancelled, 0});
}

void UsbEndpointQueue::loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
        if (queued_.empty()) return;  // stopping, nothing left
        Transfer transfer = std::move(queued_.front());
        queued_.pop_front();
        running_ = true;
        lock.unlock();
        const UsbResult result = run_(transfer);
        transfer.done(result);
        lock.lock();
        running_ = false;
        ++serial_;
        changed_.notify_all();
    }
}

}  // namespace kestrel::sim
