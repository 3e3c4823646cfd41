// kestrel devices' listing: one line per Kestrel on USB with what can be
// told of it, and a line saying why when there is none.
#include "platform/environment.h"
#include "platform/usb/device_listing.h"
#include "tests/usb/fake_usb.h"

#include <gtest/gtest.h>

namespace kestrel::platform::usb::test {

namespace {

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetEnv("KESTREL_SIM");
        unsetEnv("KESTREL_USB");
    }
    std::shared_ptr<FakeTransport> transport_ = std::make_shared<FakeTransport>();
};

// Windows lists the OS driver's device first, before USB.
#ifdef _WIN32
constexpr size_t DRIVER_LINES = 1;
#else
constexpr size_t DRIVER_LINES = 0;
#endif

}  // namespace

TEST_F(ListingTest, KestrelsWithIdsPlacePipesAndFirmwareState) {
    auto other = kestrelIdentity(0x9999, 2);
    other.vendorId = 0x1D6B;  // not a Kestrel: not listed
    transport_->devices = {kestrelIdentity(0x4B4D, 7), kestrelIdentity(0x2131, 12, false), other};
    const DeviceReport report = listDevices(transport_);
    EXPECT_TRUE(report.found);
    ASSERT_EQ(report.lines.size(), DRIVER_LINES + 2u);
    if (DRIVER_LINES != 0) {
        EXPECT_EQ(report.lines[0].rfind("driver \\\\.\\QlxUsb-0: ", 0), 0u) << report.lines[0];
    }
    EXPECT_EQ(report.lines[DRIVER_LINES], "usb 0547:4b4d bus 3 address 7: 6 pipes, firmware running");
    EXPECT_EQ(report.lines[DRIVER_LINES + 1], "usb 0547:2131 bus 3 address 12: 0 pipes, bare controller (no firmware running)");
}

TEST_F(ListingTest, NoPermissionNamesTheUdevRule) {
    transport_->devices = {kestrelIdentity(0x4B4D, 7)};
    transport_->openStatus = UsbStatus::Access;
    const DeviceReport report = listDevices(transport_);
    EXPECT_FALSE(report.found);
    ASSERT_EQ(report.lines.size(), DRIVER_LINES + 1u);
    EXPECT_NE(report.lines.back().find("no permission"), std::string::npos) << report.lines.back();
    EXPECT_NE(report.lines.back().find("60-kestrel.rules"), std::string::npos) << report.lines.back();
}

TEST_F(ListingTest, NothingFoundSaysWhy) {
    transport_->why = "no USB subsystem on this system";
    DeviceReport report = listDevices(transport_);
    EXPECT_FALSE(report.found);
    ASSERT_EQ(report.lines.size(), DRIVER_LINES + 1u);
    EXPECT_EQ(report.lines.back(), "usb: no Kestrel found (fake: no USB subsystem on this system)");

    report = listDevices(nullptr);
    EXPECT_FALSE(report.found);
    EXPECT_EQ(report.lines.back(), "usb: not built into this program");

    setEnv("KESTREL_USB", "0547");
    transport_->devices = {kestrelIdentity(0x4B4D, 7)};
    report = listDevices(transport_);
    unsetEnv("KESTREL_USB");
    EXPECT_FALSE(report.found) << "a malformed KESTREL_USB selects nothing";
    EXPECT_NE(report.lines.back().find("KESTREL_USB"), std::string::npos) << report.lines.back();
}

TEST_F(ListingTest, TheSimulatorOfKestrelSimIsListedFirst) {
    setEnv("KESTREL_SIM", "tcp:127.0.0.1:1");  // nothing listens there
    const DeviceReport report = listDevices(transport_);
    unsetEnv("KESTREL_SIM");
    ASSERT_EQ(report.lines.size(), DRIVER_LINES + 2u);
    EXPECT_EQ(report.lines[0].rfind("simulator (KESTREL_SIM=tcp:127.0.0.1:1): no device (error ", 0), 0u)
        << report.lines[0];
    EXPECT_FALSE(report.found);
}

}  // namespace kestrel::platform::usb::test
