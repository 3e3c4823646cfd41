// The device's session: one process at a time may use a device, from the
// start of the link (usbcInit, or a command that starts it) to its close.
// Two processes that each keep their own block maps and FAT would overwrite
// each other's work, and a firmware download from one resets the device
// under the other. The session is a lock file named after the device as the
// whole machine knows it (DeviceProvider::machineName); the system drops it
// when its holder dies. A device only this process can reach needs none.
#pragma once

#include "platform/lock_file.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::usblink {

// How long usbcInit waits for another process's session to end: as long as
// a closing holder needs to put the main firmware back and let the device
// return to the bus.
inline constexpr uint32_t SESSION_WAIT_MS = 15000;

inline constexpr const char* DEVICE_IN_USE_TEXT = "Device in use by another program\n";

// The lock file of the session on device `deviceName` as the active device
// provider reaches it; empty when the device needs no session lock.
std::string sessionLockPath(const std::string& deviceName);

class DeviceSession {
public:
    explicit DeviceSession(std::string deviceName) : deviceName_(std::move(deviceName)) {}

    // Takes the session unless this object holds it already, waiting at
    // most `ms` product milliseconds for another process to end its own.
    // Busy: another process kept it. Failed: no lock file can be had (see
    // lockError()); the session is held then, without a lock, for a device
    // that works must not become unusable through the temporary folder.
    [[nodiscard]] platform::LockResult begin(uint32_t ms);
    const std::string& lockError() const { return lockError_; }
    // Lets the session go (nothing when not held).
    void end();
    bool held() const { return held_; }

private:
    std::string deviceName_;
    bool held_ = false;
    std::string lockError_;
    std::unique_ptr<platform::LockFile> lock_;  // null for a device that needs no lock
};

}  // namespace kestrel::usblink
