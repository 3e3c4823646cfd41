// A device provider for the filex tests: forwards to the simulated device,
// records every request (which handle, code, pipe, lengths, the bytes that
// went out and came back, the result) and every open (access and sharing),
// and lets a test step in front of a request to change what the driver
// answers: fail it, shorten it, or alter the bytes it returns.
#pragma once

#include "platform/device_provider.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrel::filex::test {

inline constexpr uint32_t NO_PIPE = 0xFFFFFFFFu;

struct Request {
    uint32_t connection = 0;  // 1 for the first handle opened, then 2, ...
    uint32_t code = 0;
    uint32_t pipe = NO_PIPE;
    uint32_t outLength = 0;      // requested or sent length
    std::vector<uint8_t> sent;   // bulk writes: the bytes sent
    std::vector<uint8_t> received;  // bulk reads: the bytes returned
    platform::ControlResult result;
};

struct Open {
    uint32_t access = 0;
    uint32_t share = 0;
    bool ok = false;
};

// The request about to be made, as an interceptor sees it.
struct PendingCall {
    uint32_t connection;
    uint32_t code;
    uint32_t pipe;
    void* out;
    uint32_t outLength;
};

// Makes the real request, asking the device for `outLength` bytes (at most
// the caller's length).
using Forward = std::function<platform::ControlResult(uint32_t outLength)>;
using Interceptor = std::function<platform::ControlResult(const PendingCall& call, const Forward& forward)>;

class ProbeProvider final : public platform::DeviceProvider {
public:
    explicit ProbeProvider(std::shared_ptr<platform::DeviceProvider> inner) : inner_(std::move(inner)) {}

    std::unique_ptr<platform::DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                                     uint32_t& error) override;

    // Replaces the interceptor (null: every request goes to the device).
    void intercept(Interceptor interceptor);
    // The interceptor's call, used by the connections.
    platform::ControlResult call(const PendingCall& call, const Forward& forward);

    std::vector<Request> requests() const;
    // Recorded requests with `code`, on `pipe` unless NO_PIPE.
    std::vector<Request> requests(uint32_t code, uint32_t pipe = NO_PIPE) const;
    std::vector<Open> opens() const;
    // Handles opened and not yet closed.
    uint32_t liveConnections() const;
    void clear();

    void add(Request request);
    void closed();

private:
    std::shared_ptr<platform::DeviceProvider> inner_;
    mutable std::mutex mutex_;
    Interceptor interceptor_;
    std::vector<Request> requests_;
    std::vector<Open> opens_;
    uint32_t connections_ = 0;
    uint32_t live_ = 0;
};

}  // namespace kestrel::filex::test
