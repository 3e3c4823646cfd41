#include "media/sector_pool.h"

namespace kestrel::media {

SectorBufferPool::Lease& SectorBufferPool::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        release();
        pool_ = other.pool_;
        index_ = other.index_;
        generation_ = other.generation_;
        other.pool_ = nullptr;
    }
    return *this;
}

void SectorBufferPool::Lease::release() {
    if (pool_ == nullptr) return;
    pool_->giveBack(index_, generation_);
    pool_ = nullptr;
}

SectorBufferPool::Lease SectorBufferPool::take() {
    if (free_.empty()) return {};
    const size_t index = free_.back();
    free_.pop_back();
    return Lease(this, index, generation_);
}

void SectorBufferPool::rebuild() {
    ++generation_;
    free_.clear();
    free_.reserve(BUFFER_COUNT);
    for (size_t i = BUFFER_COUNT; i-- > 0;) free_.push_back(i);
}

void SectorBufferPool::giveBack(size_t index, uint64_t generation) {
    if (generation == generation_) free_.push_back(index);
}

}  // namespace kestrel::media
