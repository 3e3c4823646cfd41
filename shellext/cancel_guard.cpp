#include "shellext/cancel_guard.h"

#include "platform/clock.h"

namespace kestrel::shellext {

CancelGuard& CancelGuard::process() {
    static CancelGuard guard;
    return guard;
}

void CancelGuard::raise(uint64_t nowMs) {
    std::lock_guard lock(mutex_);
    raised_ = true;
    timeMs_ = nowMs;
}

bool CancelGuard::admit(uint64_t nowMs) {
    std::lock_guard lock(mutex_);
    if (!raised_) return true;
    if (nowMs - timeMs_ <= HOLD_MS) {
        timeMs_ = nowMs;
        return false;
    }
    raised_ = false;
    return true;
}

void CancelGuard::raiseNow() { raise(platform::tickMs()); }
bool CancelGuard::admitNow() { return admit(platform::tickMs()); }

}  // namespace kestrel::shellext
