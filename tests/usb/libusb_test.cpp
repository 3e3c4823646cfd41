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

// Under umockdev-run with tests/usb/kestrel.umockdev (the ctest
// usb_libusb_umockdev sets KESTREL_UMOCKDEV): libusb reads the emulated
// Kestrel's sysfs descriptors; its device node takes no USB requests, so
// opening it must fail without a crash or a leak.
TEST_F(LibusbTest, EmulatedKestrelIsListedAndFailsCleanlyOnOpen) {
    if (!getEnv("KESTREL_UMOCKDEV")) GTEST_SKIP() << "runs under umockdev-run (ctest usb_libusb_umockdev)";
    auto transport = makeLibusbTransport();
    const DeviceList list = transport->list();
    ASSERT_EQ(list.devices.size(), 1u) << list.why;
    const DeviceIdentity& device = list.devices[0];
    EXPECT_EQ(device.vendorId, 0x0547);
    EXPECT_EQ(device.productId, 0x4B4D);
    EXPECT_EQ(device.bus, 3);
    EXPECT_EQ(device.address, 9);
    EXPECT_EQ(device.interfaceClass, 0xFF);
    const uint8_t order[] = {0x02, 0x82, 0x04, 0x01, 0x84, 0x81};
    ASSERT_EQ(device.endpoints.size(), sizeof order);
    for (size_t i = 0; i < sizeof order; ++i) {
        EXPECT_EQ(device.endpoints[i].address, order[i]) << i;
        EXPECT_EQ(device.endpoints[i].type, EndpointType::Bulk) << i;
        EXPECT_EQ(device.endpoints[i].maxPacketSize, 64) << i;
    }
    EXPECT_TRUE(selects(defaultSelection(), device));

    UsbStatus status = UsbStatus::Ok;
    EXPECT_FALSE(transport->open(device, status));
    EXPECT_NE(status, UsbStatus::Ok);
    // The product's open fails with an error, not a crash, and not with 0.
    auto handle = DeviceHandle::open("\\\\.\\QlxUsb-0", driver::ACCESS_WRITE, driver::SHARE_WRITE);
    EXPECT_FALSE(handle.valid());
    EXPECT_NE(handle.openError(), 0u);
}

}  // namespace kestrel::platform::usb::test
#endif
