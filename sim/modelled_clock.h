// The simulated device's own clock, in microseconds, so that runs can be
// compared across machines. A driver request costs one 1 ms USB frame per
// started group of 19 packets of 64 bytes (at least one frame). Card work
// (page read, program, erase) starts at the time of the request that triggers
// it and keeps the card busy for its duration; card work that arrives while
// the card is busy first waits for it.
#pragma once

#include <cstdint>

namespace kestrel::sim {

class ModelledClock {
public:
    static constexpr uint64_t FRAME_US = 1000;
    static constexpr uint64_t PACKET_BYTES = 64;
    static constexpr uint64_t PACKETS_PER_FRAME = 19;
    static constexpr uint64_t PAGE_READ_US = 25;
    static constexpr uint64_t PAGE_PROGRAM_US = 200;
    static constexpr uint64_t BLOCK_ERASE_US = 2000;

    static uint64_t framesFor(uint64_t bytes) {
        const uint64_t packets = (bytes + PACKET_BYTES - 1) / PACKET_BYTES;
        const uint64_t frames = (packets + PACKETS_PER_FRAME - 1) / PACKETS_PER_FRAME;
        return frames == 0 ? 1 : frames;
    }

    // A driver request moving `bytes` over the bus.
    void chargeRequest(uint64_t bytes) { now_ += framesFor(bytes) * FRAME_US; }

    // Card work of `micros`: waits for the card if it is busy, then keeps it
    // busy from now on.
    void startCardWork(uint64_t micros) {
        if (now_ < busyUntil_) now_ = busyUntil_;
        busyUntil_ = now_ + micros;
    }

    // Lets modelled time pass until the card is no longer busy.
    void waitForCard() {
        if (now_ < busyUntil_) now_ = busyUntil_;
    }

    bool cardBusy() const { return now_ < busyUntil_; }
    uint64_t now() const { return now_; }

private:
    uint64_t now_ = 0;
    uint64_t busyUntil_ = 0;
};

}  // namespace kestrel::sim
