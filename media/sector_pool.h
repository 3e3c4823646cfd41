// The pool of sector buffers: three buffers of 512 data bytes and 4 spare
// bytes, handed out and returned in LIFO order. Operations that need a
// buffer and find the pool empty fail with 28.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::media {

class SectorBufferPool {
public:
    static constexpr size_t BUFFER_COUNT = 3;
    static constexpr size_t BUFFER_BYTES = 512 + 4;

    // A buffer on loan; returned to the pool when the lease ends. An empty
    // lease (the pool had none) is false.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& other) noexcept { *this = std::move(other); }
        Lease& operator=(Lease&& other) noexcept;
        ~Lease() { release(); }

        explicit operator bool() const { return pool_ != nullptr; }
        uint8_t* data() { return pool_->buffers_[index_].data(); }
        // Returns the buffer now.
        void release();

    private:
        friend class SectorBufferPool;
        Lease(SectorBufferPool* pool, size_t index, uint64_t generation)
            : pool_(pool), index_(index), generation_(generation) {}

        SectorBufferPool* pool_ = nullptr;
        size_t index_ = 0;
        uint64_t generation_ = 0;
    };

    SectorBufferPool() { rebuild(); }
    SectorBufferPool(const SectorBufferPool&) = delete;
    SectorBufferPool& operator=(const SectorBufferPool&) = delete;

    // The buffer returned last, or an empty lease.
    [[nodiscard]] Lease take();
    size_t available() const { return free_.size(); }
    // All buffers free again; leases from before are not taken back.
    void rebuild();

private:
    void giveBack(size_t index, uint64_t generation);

    std::array<std::array<uint8_t, BUFFER_BYTES>, BUFFER_COUNT> buffers_{};
    std::vector<size_t> free_;
    uint64_t generation_ = 0;
};

}  // namespace kestrel::media
