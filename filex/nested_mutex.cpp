#include "filex/nested_mutex.h"

namespace kestrel::filex {

std::unique_ptr<NestedMutex> NestedMutex::over(std::unique_ptr<platform::NamedMutex> inner) {
    if (!inner) return nullptr;
    return std::unique_ptr<NestedMutex>(new NestedMutex(std::move(inner)));
}

platform::WaitResult NestedMutex::lock(uint32_t ms) {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
        ++depth_;
        return platform::WaitResult::Signalled;
    }
    const platform::WaitResult result = inner_->lock(ms);
    if (result == platform::WaitResult::Signalled) {
        depth_ = 1;
        owner_.store(self, std::memory_order_relaxed);
    }
    return result;
}

void NestedMutex::unlock() {
    if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id() || depth_ == 0) {
        inner_->unlock();
        return;
    }
    if (--depth_ != 0) return;
    owner_.store(std::thread::id{}, std::memory_order_relaxed);
    inner_->unlock();
}

}  // namespace kestrel::filex
