// Changes to a folder view that arrive from threads other than the view's
// own. Each Explorer window runs on a thread of its own, and a view's list
// may only be changed on the thread that made it: a change from elsewhere
// is queued with copies of its identifiers, and the view's window is told
// by a message of its own ("qlxshlextViewChange") to take the queue and
// apply it there.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace kestrel::shellext {

// One change: the event and copies of its identifier lists.
class ViewChange {
public:
    ViewChange(LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem);

    LONG event() const { return event_; }
    // Null where the change had none.
    LPCITEMIDLIST item() const { return listOf(item_); }
    LPCITEMIDLIST newItem() const { return listOf(newItem_); }

private:
    static std::vector<uint8_t> copyOf(LPCITEMIDLIST list);
    static LPCITEMIDLIST listOf(const std::vector<uint8_t>& bytes);

    LONG event_;
    std::vector<uint8_t> item_;
    std::vector<uint8_t> newItem_;
};

// The changes waiting for a view's thread; any thread may add, the view's
// thread takes them.
class ViewChangeQueue {
public:
    void push(ViewChange change);
    // Every waiting change, oldest first; the queue is empty afterwards.
    [[nodiscard]] std::vector<ViewChange> take();
    [[nodiscard]] size_t size() const;

private:
    mutable std::mutex mutex_;
    std::vector<ViewChange> changes_;
};

// The registered number of the message that tells a view's window to apply
// its queued changes (0 when it cannot be registered).
UINT viewChangeMessage();

}  // namespace kestrel::shellext
