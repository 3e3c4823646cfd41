#include "sim/pipe_set.h"

#include <algorithm>

namespace kestrel::sim {

void PipeSet::setAnswer(uint32_t pipe, std::vector<uint8_t> bytes) {
    pipes_[pipe].answer = std::move(bytes);
    pipes_[pipe].readOffset = 0;
}

void PipeSet::discardAnswers() {
    for (auto& pipe : pipes_) {
        pipe.answer.clear();
        pipe.readOffset = 0;
    }
}

size_t PipeSet::take(uint32_t pipe, uint8_t* out, size_t length) {
    auto& p = pipes_[pipe];
    const size_t n = std::min(length, p.answer.size() - p.readOffset);
    std::copy_n(p.answer.begin() + static_cast<std::ptrdiff_t>(p.readOffset), n, out);
    p.readOffset += n;
    if (p.readOffset == p.answer.size()) {
        p.answer.clear();
        p.readOffset = 0;
    }
    return n;
}

}  // namespace kestrel::sim
