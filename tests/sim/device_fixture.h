// The fixture of the device behaviour tests: two simulated devices, a 2 MB
// card with 256-byte pages (maker 0x98, block 5 factory-bad) and a 16 MB
// card with 512-byte pages (maker 0xEC, block 3 factory-bad), reached in
// process or over KSIM through a kestrel-simd child. Every test starts from
// the devices' power-on state (main firmware, no runtime faults).
#pragma once

#include "sim/card_geometry.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

namespace kestrel::sim::test {

class DeviceTest : public ::testing::TestWithParam<Transport> {
public:
    static constexpr uint32_t SMALL_BAD_BLOCK = 5;
    static constexpr uint32_t LARGE_BAD_BLOCK = 3;

    static void TearDownTestSuite();

protected:
    void SetUp() override;
    void TearDown() override { watchdog_.reset(); }

    TestDevice& small();
    TestDevice& large();
    static CardGeometry geometryOf(TestDevice& device);
    static std::string nandPath(TestDevice& device);
    static std::string eepromPath(TestDevice& device);

    // A client whose device runs the file-system firmware.
    static DeviceClient fileSystemClient(TestDevice& device);
    // A second handle on the same device.
    static DeviceClient secondClient(TestDevice& device);

private:
    std::unique_ptr<Watchdog> watchdog_;  // unplugs both devices if the test hangs
};

std::string transportParamName(const ::testing::TestParamInfo<Transport>& info);

}  // namespace kestrel::sim::test
