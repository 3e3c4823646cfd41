// The device's six bulk pipes as the host sees them: what each IN pipe has
// ready for the host, and per pipe an abort generation that tells a waiting
// transfer that the pipe was aborted after it started. No locking here: the
// device guards the pipes with its own mutex.
#pragma once

#include "platform/driver_interface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::sim {

class PipeSet {
public:
    static constexpr uint32_t COUNT = driver::PIPE_COUNT;

    static bool exists(uint32_t pipe) { return pipe < COUNT; }
    // Data flows to the host on pipes 1, 4 and 5, to the device on 0, 2, 3.
    static bool isIn(uint32_t pipe) { return pipe == 1 || pipe == 4 || pipe == 5; }

    // Makes `bytes` the answer the host can read from `pipe`, replacing any
    // unread one.
    void setAnswer(uint32_t pipe, std::vector<uint8_t> bytes);
    // Drops every unread answer.
    void discardAnswers();

    size_t available(uint32_t pipe) const { return pipes_[pipe].answer.size() - pipes_[pipe].readOffset; }
    // Moves at most `length` answer bytes to `out`; returns how many.
    size_t take(uint32_t pipe, uint8_t* out, size_t length);

    uint64_t abortGeneration(uint32_t pipe) const { return pipes_[pipe].abortGeneration; }
    void abort(uint32_t pipe) { ++pipes_[pipe].abortGeneration; }

private:
    struct Pipe {
        std::vector<uint8_t> answer;
        size_t readOffset = 0;
        uint64_t abortGeneration = 0;
    };
    std::array<Pipe, COUNT> pipes_;
};

}  // namespace kestrel::sim
