#include "shellext/view_changes.h"

#include "shellext/id_allocator.h"

#include <utility>

namespace kestrel::shellext {

ViewChange::ViewChange(LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem)
    : event_(event), item_(copyOf(item)), newItem_(copyOf(newItem)) {}

std::vector<uint8_t> ViewChange::copyOf(LPCITEMIDLIST list) {
    if (list == nullptr) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(list);
    // The elements and a three-byte terminator, whatever terminator the
    // given list had.
    const uint32_t size = IdAllocator::size(list);
    std::vector<uint8_t> copy(bytes, bytes + (size - 3));
    copy.resize(size, 0);
    return copy;
}

LPCITEMIDLIST ViewChange::listOf(const std::vector<uint8_t>& bytes) {
    return bytes.empty() ? nullptr : reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

void ViewChangeQueue::push(ViewChange change) {
    std::lock_guard lock(mutex_);
    changes_.push_back(std::move(change));
}

std::vector<ViewChange> ViewChangeQueue::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(changes_, {});
}

size_t ViewChangeQueue::size() const {
    std::lock_guard lock(mutex_);
    return changes_.size();
}

UINT viewChangeMessage() {
    static const UINT message = RegisterWindowMessageA("qlxshlextViewChange");
    return message;
}

}  // namespace kestrel::shellext
