// Internal to platform/: read-ahead for stream sockets. A message is usually
// read as a header followed by a body; taking whatever the socket already
// holds in one call lets both come out of a single receive, which matters
// where a blocking receive is expensive (Winsock under wine costs a round
// trip to the wine server per call).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrel::platform::detail {

class ReceiveBuffer {
public:
    static constexpr size_t CAPACITY = 64 * 1024;

    // Fills `data` with exactly `length` bytes. `receiveSome(buffer, room)`
    // is one receive call: bytes received, or <= 0 when the peer closed or
    // an error occurred (then false is returned).
    template <typename ReceiveSome>
    bool receiveAll(void* data, size_t length, ReceiveSome&& receiveSome) {
        auto* out = static_cast<uint8_t*>(data);
        const size_t buffered = std::min(length, end_ - begin_);
        if (buffered > 0) {
            std::memcpy(out, storage_.data() + begin_, buffered);
            begin_ += buffered;
            out += buffered;
            length -= buffered;
        }
        while (length > 0) {
            // Large reads go straight to the caller's memory.
            if (length >= CAPACITY) {
                const ptrdiff_t received = receiveSome(out, length);
                if (received <= 0) return false;
                out += received;
                length -= static_cast<size_t>(received);
                continue;
            }
            if (storage_.empty()) storage_.resize(CAPACITY);
            const ptrdiff_t received = receiveSome(storage_.data(), CAPACITY);
            if (received <= 0) return false;
            const size_t taken = std::min(length, static_cast<size_t>(received));
            std::memcpy(out, storage_.data(), taken);
            begin_ = taken;
            end_ = static_cast<size_t>(received);
            out += taken;
            length -= taken;
        }
        return true;
    }

private:
    std::vector<uint8_t> storage_;
    size_t begin_ = 0;  // unread bytes are storage_[begin_, end_)
    size_t end_ = 0;
};

}  // namespace kestrel::platform::detail
