// The device backends. One table of operations per backend:
//
//   DeviceProvider::open   opens the device `name` (the part after "\\.\",
//                          e.g. "QlxUsb-0") with Win32-style access and share
//                          flags. Returns a connection, or null with `error`
//                          set (2 when the device is absent or re-enumerating).
//                          Does not block beyond connection set-up.
//   DeviceConnection::control
//                          one synchronous device-I/O control request. May
//                          block: a bulk read with nothing to deliver waits
//                          until data arrives or the pipe is aborted through
//                          another connection (error 995). Thread-safe with
//                          respect to other connections, not to itself.
//   DeviceProvider::machineName
//                          what names the device `name` for every process
//                          on the machine, for locks that keep two of them
//                          from using it at once; empty where no other
//                          process can reach the device (in process).
//
// Backends: the Win32 driver (Windows builds), the KSIM client over a socket
// (selected by KESTREL_SIM), an in-process device model installed by the
// simulator, and a null backend (every open fails with 2) where no device
// can exist.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrel::platform {

struct ControlResult {
    bool ok = false;          // the call returned success
    uint32_t error = 0;       // last error when !ok (Win32 values, see driver_interface.h)
    uint32_t bytes = 0;       // bytes returned
};

class DeviceConnection {
public:
    virtual ~DeviceConnection() = default;
    virtual ControlResult control(uint32_t code, const void* in, uint32_t inLength,
                                  void* out, uint32_t outLength) = 0;
};

class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    virtual std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t access,
                                                   uint32_t share, uint32_t& error) = 0;
    virtual std::string machineName(std::string_view) const { return {}; }
};

// Installs (or, with null, removes) an in-process backend; it takes
// precedence over every other backend until removed.
void installDeviceProvider(std::shared_ptr<DeviceProvider> provider);

// The backend in force: the installed one, else the KSIM client when
// KESTREL_SIM is set, else the OS driver's device when present (Windows),
// else USB itself (WinUSB on Windows, libusb where built; the null backend
// otherwise).
std::shared_ptr<DeviceProvider> activeDeviceProvider();

// Backend factories, for tests and tools that want one explicitly.
std::shared_ptr<DeviceProvider> makeKsimProvider(std::string_view endpoint);
std::shared_ptr<DeviceProvider> makeOsDriverProvider();
std::shared_ptr<DeviceProvider> makeNullProvider();

}  // namespace kestrel::platform
