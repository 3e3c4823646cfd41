#include "usblink/device_session.h"

#include "platform/device_provider.h"

namespace kestrel::usblink {

std::string sessionLockPath(const std::string& deviceName) {
    const std::string name = platform::activeDeviceProvider()->machineName(deviceName);
    return name.empty() ? std::string() : platform::LockFile::machinePath("oryx-" + name);
}

platform::LockResult DeviceSession::begin(uint32_t ms) {
    if (held_) return platform::LockResult::Acquired;
    const std::string path = sessionLockPath(deviceName_);
    if (!path.empty()) {
        platform::LockAttempt attempt = platform::LockFile::acquire(path, ms);
        if (attempt.result == platform::LockResult::Busy) return attempt.result;
        lock_ = std::move(attempt.lock);
        lockError_ = std::move(attempt.error);
        held_ = true;
        return attempt.result;
    }
    held_ = true;
    return platform::LockResult::Acquired;
}

void DeviceSession::end() {
    lock_.reset();
    held_ = false;
}

}  // namespace kestrel::usblink
