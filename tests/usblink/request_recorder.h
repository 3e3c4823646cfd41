// A device provider that forwards to another one and keeps every control
// request: which handle sent it, the code, the pipe, the lengths, the bytes
// sent to the device and the result. The tests read transfer shapes from it.
#pragma once

#include "platform/device_provider.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrel::usblink::test {

struct RecordedRequest {
    uint32_t connection = 0;  // 1 for the first handle opened, 2 for the next...
    uint32_t code = 0;
    uint32_t pipe = 0xFFFFFFFFu;  // for requests that carry a pipe index
    std::vector<uint8_t> in;      // the input buffer
    uint32_t outLength = 0;       // requested or sent length
    std::vector<uint8_t> sent;    // the output buffer, for requests that send it
    platform::ControlResult result;
};

class RequestRecorder final : public platform::DeviceProvider {
public:
    explicit RequestRecorder(std::shared_ptr<platform::DeviceProvider> inner)
        : inner_(std::move(inner)) {}

    std::unique_ptr<platform::DeviceConnection> open(std::string_view name, uint32_t access,
                                                     uint32_t share, uint32_t& error) override;

    std::vector<RecordedRequest> requests() const;
    // The recorded requests with this code (and pipe, unless any).
    std::vector<RecordedRequest> requests(uint32_t code, uint32_t pipe = ANY_PIPE) const;
    void clear();
    uint32_t opens() const;
    // Waits until `count` requests with this code (and pipe) have been
    // recorded, for requests another thread is still sending; false when
    // they have not come after `realMs` real milliseconds.
    bool waitFor(uint32_t code, uint32_t pipe, size_t count, uint32_t realMs) const;

    static constexpr uint32_t ANY_PIPE = 0xFFFFFFFFu;

    // From now on, requests with this code on this pipe move at most
    // `maxBytes` bytes, as a driver that ends a transfer short: a read asks
    // the device for no more, a write passes on only the first `maxBytes`
    // bytes; both report the bytes moved. 0 ends it.
    void shortenTransfers(uint32_t code, uint32_t pipe, uint32_t maxBytes);
    // From now on, requests with this code on this pipe wait `realMs` real
    // milliseconds before they reach the device (a slow driver).
    void delayRequests(uint32_t code, uint32_t pipe, uint32_t realMs);
    uint32_t delayOf(uint32_t code, uint32_t pipe) const;
    // The length a request of `code` on `pipe` may move.
    uint32_t allowedLength(uint32_t code, uint32_t pipe, uint32_t length) const;

    // Called by the connections.
    void add(RecordedRequest request);

private:
    std::shared_ptr<platform::DeviceProvider> inner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<RecordedRequest> requests_;
    uint32_t opens_ = 0;
    uint32_t shortCode_ = 0;
    uint32_t shortPipe_ = ANY_PIPE;
    uint32_t shortMax_ = 0;
    std::vector<std::pair<std::pair<uint32_t, uint32_t>, uint32_t>> delays_;
};

}  // namespace kestrel::usblink::test
