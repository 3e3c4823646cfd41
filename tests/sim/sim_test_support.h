// Shared pieces of the simulator tests: temporary device folders, a
// kestrel-simd child process, the two ways of reaching a device (in process
// and over KSIM), and requests that block until a test ends them.
#pragma once

#include "platform/device_provider.h"
#include "platform/process.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/sim_device.h"

#include <cstdint>
#include <functional>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::sim::test {

// Generous real-time bound for anything a test waits for.
inline constexpr uint32_t PATIENCE_MS = 20000;

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// A program next to the running test executable (with .exe on Windows).
std::string siblingProgram(const std::string& name);
// A file next to the running test executable.
std::string siblingFile(const std::string& name);

std::vector<uint8_t> readFile(const std::string& path);
// `length` bytes of a file at `offset`.
std::vector<uint8_t> readFileRange(const std::string& path, uint64_t offset, size_t length);

// kestrel-simd serving `folder` on a loopback port chosen by the system.
class SimDaemon {
public:
    // Starts the daemon and waits for its port file; check endpoint().
    explicit SimDaemon(const std::string& folder);
    ~SimDaemon();
    const std::string& endpoint() const { return endpoint_; }
    const std::string& error() const { return error_; }

private:
    std::unique_ptr<platform::ChildProcess> process_;
    std::string endpoint_;
    std::string error_;
};

// A simulated device as a test reaches it.
class TestDevice {
public:
    virtual ~TestDevice() = default;
    virtual std::shared_ptr<platform::DeviceProvider> provider() = 0;
    // A simulator command (fault injection, statistics).
    virtual std::string command(const std::string& text) = 0;

    DeviceClient client() { return DeviceClient(provider()); }
    uint64_t stat(const std::string& key) { return statValue(command("stats"), key); }
};

enum class Transport { InProcess, Ksim };
std::string transportName(Transport transport);

// Opens `folder` in this process, or serves it with a kestrel-simd child
// and connects over KSIM. Null with a failure recorded when that fails.
std::unique_ptr<TestDevice> openTestDevice(Transport transport, const std::string& folder);

// Creates a device folder for `config`; records a failure when it cannot.
bool createFolder(const std::string& folder, const DeviceConfig& config);

// A request running on its own thread, for requests that block in the
// device until another connection ends them.
class PendingRequest {
public:
    PendingRequest(std::function<platform::ControlResult()> request, TestDevice& device);
    // If the request never ended, unplugs the device so that it does.
    ~PendingRequest();
    // True once the device reports a transfer blocked in it (or the request
    // has already ended).
    bool waitUntilBlocked();
    bool finished();
    // The request's result; a request still blocked after PATIENCE_MS is a
    // failure (the device is unplugged to end it).
    platform::ControlResult result();

private:
    TestDevice& device_;
    uint64_t baseline_ = 0;  // transfers already blocked before this one
    std::future<platform::ControlResult> future_;
};

// Ends a test that hangs: when it is still alive after `realMs`, records a
// failure and runs `unblock` (which must make the blocked call return).
class Watchdog {
public:
    Watchdog(std::function<void()> unblock, uint32_t realMs = PATIENCE_MS);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread thread_;
};

// Page data and spare of `bytes` length with a pattern unique to `seed`.
std::vector<uint8_t> pattern(size_t bytes, uint32_t seed);

}  // namespace kestrel::sim::test
