// One endpoint's transfer queue for the simulated USB face: transfers run
// one after another on a thread of the endpoint's own, each through
// `run`; cancel() completes the queued ones as Cancelled at once and asks
// `abortRunning` to end the one in progress.
#pragma once

#include "platform/usb/usb_transport.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrel::sim {

class UsbEndpointQueue {
public:
    struct Transfer {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        platform::usb::BulkDone done;
    };
    using Runner = std::function<platform::usb::UsbResult(const Transfer&)>;

    UsbEndpointQueue(Runner run, std::function<void()> abortRunning);
    // Cancels everything pending and waits for the thread.
    ~UsbEndpointQueue();
    UsbEndpointQueue(const UsbEndpointQueue&) = delete;
    UsbEndpointQueue& operator=(const UsbEndpointQueue&) = delete;

    void submit(Transfer transfer);
    void cancel();

private:
    void loop();

    Runner run_;
    std::function<void()> abortRunning_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Transfer> queued_;
    bool running_ = false;
    uint64_t serial_ = 0;  // transfers finished
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kestrel::sim
