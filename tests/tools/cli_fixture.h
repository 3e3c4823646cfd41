// The fixture of the kestrel end-to-end tests: a fresh simulated device
// (1 MB card, formatted by kestrel unless a test asks for a blank one)
// served by a kestrel-simd child, KESTREL_SIM pointing at it, and the
// kestrel program run as a child process whose exit code, standard output
// and standard error (line ends as on POSIX) the test reads.
#pragma once

#include "platform/device_provider.h"
#include "sim/device_config.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::cli::test {

#ifdef _WIN32
inline constexpr bool ON_WINDOWS = true;
#else
inline constexpr bool ON_WINDOWS = false;
#endif

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` through the system's command processor,
// its output captured in `outFile` and `errFile`. The exit code.
int runCaptured(const std::string& program, const std::vector<std::string>& arguments, const std::string& outFile,
                const std::string& errFile);

// Writes a file of `size` bytes with a pattern unique to `seed`.
std::vector<uint8_t> writePatternFile(const std::string& path, size_t size, uint32_t seed);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool hostFileExists(const std::string& path);

// kestrel's exit code and output.
class CliTest : public ::testing::Test {
protected:
    // The default card: 1 MB, 8 sectors (one cluster) per block. Small
    // cards keep the tests quick under wine, where every card command costs.
    static constexpr uint32_t CARD_MB = 1;
    static constexpr uint32_t CARD_SECTORS = 2000;
    static constexpr uint32_t CLUSTER_BYTES = 4096;

    void SetUp() override;
    void TearDown() override;
    // Hooks for test suites that need a different device: its
    // configuration, and whether it starts formatted (a card of the
    // default configuration of its size, copied from one formatted once
    // per program: a format takes long under wine).
    virtual sim::DeviceConfig deviceConfig() { return *sim::defaultDeviceConfig(CARD_MB, 0xEC); }
    virtual bool startsFormatted() { return true; }

    // kestrel with `arguments`; its exit code and output.
    Outcome kestrel(const std::vector<std::string>& arguments);
    // kestrel that must succeed; records a failure with its output if not.
    Outcome ok(const std::vector<std::string>& arguments);

    // Makes a device folder with a freshly formatted card of the default
    // configuration for `megabytes`.
    void makeFormattedDevice(const std::string& folder, uint32_t megabytes = CARD_MB);

    // A path in the test's scratch folder.
    std::string scratch(const std::string& name) const { return folder_.file(name); }
    const std::string& deviceFolder() const { return deviceFolder_; }

    // From the simulator: a counter, and the firmware running ("main").
    uint64_t counter(const char* key);
    std::string firmware();
    // A simulator command ("flip PAGE BYTE BIT", ...); its answer.
    std::string simCommand(const std::string& text);

private:
    sim::test::TempFolder folder_;
    std::string deviceFolder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    std::unique_ptr<platform::DeviceConnection> control_;
    int runs_ = 0;
};

}  // namespace kestrel::cli::test
