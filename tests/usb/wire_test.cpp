// The USB face's records on the wire: identities survive the round trip and
// records cut short or lying about their length are refused.
#include "platform/driver_interface.h"
#include "platform/usb/usb_wire.h"

#include <gtest/gtest.h>

namespace kestrel::platform::usb::test {

using namespace wire;

TEST(UsbWire, IdentitiesRoundTripAndBadRecordsAreRefused) {
    DeviceIdentity device;
    device.vendorId = 0x0547;
    device.productId = 0xBEEF;
    device.bus = 200;
    device.address = 127;
    device.interfaceClass = 0xFF;
    device.interfaceSubClass = 1;
    device.interfaceProtocol = 2;
    device.endpoints = {{0x02, EndpointType::Bulk, 512, 0}, {0x83, EndpointType::Interrupt, 8, 10}};
    std::vector<uint8_t> bytes;
    putIdentity(bytes, device);
    putIdentity(bytes, DeviceIdentity{});
    ASSERT_EQ(bytes.size(), 2 * IDENTITY_HEADER + 2 * ENDPOINT_RECORD);
    size_t at = 0;
    const auto first = takeIdentity(bytes.data(), bytes.size(), at);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->vendorId, 0x0547);
    EXPECT_EQ(first->productId, 0xBEEF);
    EXPECT_EQ(first->bus, 200);
    EXPECT_EQ(first->address, 127);
    EXPECT_EQ(first->interfaceSubClass, 1);
    EXPECT_EQ(first->interfaceProtocol, 2);
    ASSERT_EQ(first->endpoints.size(), 2u);
    EXPECT_EQ(first->endpoints[1].address, 0x83);
    EXPECT_EQ(first->endpoints[1].type, EndpointType::Interrupt);
    EXPECT_EQ(first->endpoints[0].maxPacketSize, 512);
    EXPECT_EQ(first->endpoints[1].interval, 10);
    const auto second = takeIdentity(bytes.data(), bytes.size(), at);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->endpoints.empty());
    EXPECT_EQ(at, bytes.size());
    EXPECT_FALSE(takeIdentity(bytes.data(), bytes.size(), at)) << "nothing left";
    size_t past = bytes.size() + 1;
    EXPECT_FALSE(takeIdentity(bytes.data(), bytes.size(), past));

    // Every cut of the first record is refused and leaves `at` alone.
    for (size_t length = 0; length < IDENTITY_HEADER + 2 * ENDPOINT_RECORD; ++length) {
        size_t start = 0;
        EXPECT_FALSE(takeIdentity(bytes.data(), length, start)) << length;
        EXPECT_EQ(start, 0u);
    }
    // More endpoints than an interface can have, with the bytes for them.
    std::vector<uint8_t> many(IDENTITY_HEADER + (MAX_ENDPOINTS + 1) * ENDPOINT_RECORD);
    many[9] = MAX_ENDPOINTS + 1;
    size_t start = 0;
    EXPECT_FALSE(takeIdentity(many.data(), many.size(), start));
    many[9] = MAX_ENDPOINTS;
    EXPECT_TRUE(takeIdentity(many.data(), many.size(), start));
}

TEST(UsbWire, ControlRecordsAndStatusesRoundTrip) {
    uint8_t record[CONTROL_REQUEST_LENGTH];
    putControl(record, {0x01020304, {0xC0, 0xA0, 0x7F92, 0xBEEF}, 0xFFFF, 0x80000001});
    const ControlRequest back = takeControl(record);
    EXPECT_EQ(back.device, 0x01020304u);
    EXPECT_EQ(back.setup.requestType, 0xC0);
    EXPECT_EQ(back.setup.request, 0xA0);
    EXPECT_EQ(back.setup.value, 0x7F92);
    EXPECT_EQ(back.setup.index, 0xBEEF);
    EXPECT_EQ(back.length, 0xFFFF);
    EXPECT_EQ(back.timeoutMs, 0x80000001u);

    for (const UsbStatus s : {UsbStatus::Gone, UsbStatus::Cancelled, UsbStatus::Stall, UsbStatus::Timeout,
                              UsbStatus::Access, UsbStatus::Busy, UsbStatus::NotFound, UsbStatus::Error})
        EXPECT_EQ(statusOfError(errorOf(s)), s);
    EXPECT_EQ(statusOfError(errorOf(UsbStatus::Ok)), UsbStatus::Error) << "a failure never reads as success";
    EXPECT_EQ(statusOfError(errorOf(UsbStatus::Error) + 1), UsbStatus::Error);
    EXPECT_EQ(statusOfError(driver::ERR_DEVICE_NOT_CONNECTED), UsbStatus::Gone);
    EXPECT_EQ(statusOfError(driver::ERR_OPERATION_ABORTED), UsbStatus::Error);
}

}  // namespace kestrel::platform::usb::test
