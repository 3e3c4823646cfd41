// The libusb transport on the machine the tests run on: its listing and
// error paths for real. Without a USB subsystem (no /sys/bus/usb) libusb
// cannot start: the listing is empty and says why, and opens fail with 2.
#include "platform/device.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/usb_provider.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef KESTREL_HAVE_LIBUSB
#include "platform/usb/libusb_transport.h"

namespace kestrel::platform::usb::test {

namespace {

bool machineHasUsb() { return std::filesystem::exists("/sys/bus/usb"); }

class LibusbTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetEnv("KESTREL_SIM");
        unsetEnv("KESTREL_USB");
        installDeviceProvider(nullptr);
    }
    void TearDown() override { unsetEnv("KESTREL_USB"); }
};

}  // namespace

TEST_F(LibusbTest, ListingSaysWhyItIsEmpty) {
    auto transport = makeLibusbTransport();
    ASSERT_TRUE(transport);
    EXPECT_EQ(transport->name(), "libusb");
    const DeviceList list = transport->list();
    if (machineHasUsb()) {
        EXPECT_TRUE(list.why.empty()) << list.why;
    } else {
        EXPECT_TRUE(list.devices.empty());
        EXPECT_NE(list.why.find("no USB subsystem"), std::string::npos) << list.why;
    }
    std::string error;
    const auto unknown = parseSelection("ffff:fffe", error);
    ASSERT_TRUE(unknown) << error;
    const Candidates found = findCandidates(*transport, *unknown);
    EXPECT_TRUE(found.devices.empty());
    EXPECT_EQ(found.why.rfind("libusb: ", 0), 0u) << found.why;
}

TEST_F(LibusbTest, OpeningADeviceThatIsNotThereFails) {
    auto transport = makeLibusbTransport();
    DeviceIdentity nowhere;
    nowhere.vendorId = 0x0547;
    nowhere.bus = 255;
    nowhere.address = 127;
    UsbStatus status = UsbStatus::Ok;
    EXPECT_FALSE(transport->open(nowhere, status));
    EXPECT_EQ(status, UsbStatus::NotFound);
}

TEST_F(LibusbTest, ProductOpensFailWith2ThroughTheSystemProvider) {
    // No installed provider, no KESTREL_SIM: USB itself.
    setEnv("KESTREL_USB", "ffff:fffe");
    auto named = DeviceHandle::open("\\\\.\\QlxUsb-0", driver::ACCESS_WRITE, driver::SHARE_WRITE);
    EXPECT_FALSE(named.valid());
    EXPECT_EQ(named.openError(), driver::ERR_FILE_NOT_FOUND);
    setEnv("KESTREL_USB", "not-an-id");
    auto malformed = DeviceHandle::open("\\\\.\\QlxUsb-0", driver::ACCESS_WRITE, driver::SHARE_WRITE);
    EXPECT_EQ(malformed.openError(), driver::ERR_FILE_NOT_FOUND);
    unsetEnv("KESTREL_USB");
    if (!machineHasUsb()) {
        auto plain = DeviceHandle::open("\\\\.\\QlxUsb-0", driver::ACCESS_WRITE, driver::SHARE_WRITE);
        EXPECT_EQ(plain.openError(), driver::ERR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(activeDeviceProvider(), systemUsbProvider()) << "one provider for the whole process";
}

}  // namespace kestrel::platform::usb::test
#endif
