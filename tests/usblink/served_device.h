// A device folder served by a kestrel-simd child process and reached through
// the KSIM client, as another process on the machine reaches it: the link
// tests run through this when KESTREL_TEST_KSIM names a socket kind.
#pragma once

#include "platform/process.h"
#include "tests/sim/sim_test_support.h"

#include <memory>
#include <mutex>
#include <string>

namespace kestrel::usblink::test {

class ServedDevice final : public sim::test::TestDevice {
public:
    // Serves `folder` over `kind`: "tcp" (loopback, a port the system
    // chooses) or "unix" (a socket in the folder). Null with `error` when the
    // daemon does not start or cannot be reached.
    static std::unique_ptr<ServedDevice> start(const std::string& folder, const std::string& kind,
                                               std::string& error);
    // Stops the daemon.
    ~ServedDevice() override;

    std::shared_ptr<platform::DeviceProvider> provider() override { return provider_; }
    // Through the daemon's control handle; callable from any thread.
    std::string command(const std::string& text) override;

private:
    ServedDevice() = default;

    std::unique_ptr<platform::ChildProcess> daemon_;
    std::shared_ptr<platform::DeviceProvider> provider_;
    std::mutex controlMutex_;
    std::unique_ptr<platform::DeviceConnection> control_;
};

}  // namespace kestrel::usblink::test
