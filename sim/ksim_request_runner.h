// The requests of one KSIM connection, carried out on a thread of their own.
//
// The connection's reader hands each request over and goes straight back to
// its socket, so it learns at once when the client goes away, even while a
// request of that client waits in the device (a bulk read on an endpoint
// with nothing to deliver). The reader then cancels the device handle, and
// the waiting request ends instead of taking an answer meant for the next
// client.
#pragma once

#include "platform/thread.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kestrel::sim {

struct KsimRequest {
    uint32_t code = 0;
    uint32_t inLength = 0;
    uint32_t outLength = 0;
    // The input bytes, then (when the driver reads the output buffer) the
    // output buffer's bytes.
    std::vector<uint8_t> payload;
};

class KsimRequestRunner {
public:
    // Carries out one request and sends its reply: false when the reply
    // could not be sent (the runner then takes no more requests).
    using Handler = std::function<bool(KsimRequest&)>;

    explicit KsimRequestRunner(Handler handler);
    // Lets the request in hand finish and joins the thread.
    ~KsimRequestRunner();
    KsimRequestRunner(const KsimRequestRunner&) = delete;
    KsimRequestRunner& operator=(const KsimRequestRunner&) = delete;

    // Hands over the next request, after waiting for the one before it to
    // finish (a client sends one request at a time). False once a reply
    // could not be sent.
    [[nodiscard]] bool submit(KsimRequest request);

private:
    void run();

    Handler handler_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<KsimRequest> next_;
    bool busy_ = false;
    bool failed_ = false;
    bool stopping_ = false;
    platform::Thread thread_;
};

}  // namespace kestrel::sim
