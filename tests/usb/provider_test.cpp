// The driver interface answered over USB, against a scripted device: the
// translation of each control code, the sharing of one device by every
// handle, aborts, a device that leaves, and which devices are taken.
#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/usb/usb_connection.h"
#include "platform/usb/usb_provider.h"
#include "tests/usb/fake_usb.h"

#include <gtest/gtest.h>

#include <future>
#include <numeric>

namespace kestrel::platform::usb::test {

namespace {

using namespace kestrel::driver;

ControlResult pipeRequest(DeviceConnection& c, uint32_t code, uint32_t pipe, void* data = nullptr,
                          uint32_t length = 0) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return c.control(code, index, sizeof index, data, length);
}

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        transport_->devices = {kestrelIdentity(0x1002, 7)};
        provider_ = makeUsbProvider(transport_, defaultSelection());
    }
    std::unique_ptr<DeviceConnection> open(uint32_t* errorOut = nullptr) {
        uint32_t error = 0xdeadbeef;
        auto c = provider_->open(DEVICE_NAME, ACCESS_WRITE, SHARE_WRITE, error);
        if (errorOut) *errorOut = error;
        return c;
    }

    std::shared_ptr<FakeTransport> transport_ = std::make_shared<FakeTransport>();
    std::shared_ptr<DeviceProvider> provider_;
};

}  // namespace

TEST_F(ProviderTest, PipeInfoListsTheEndpointsInDescriptorOrder) {
    auto c = open();
    ASSERT_TRUE(c);
    std::vector<uint8_t> info(PIPE_INFO_LENGTH, 0xCD);
    const auto r = c->control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, PIPE_INFO_LENGTH);
    EXPECT_EQ(loadLe32(info.data() + PIPE_INFO_COUNT_OFFSET), 6u);
    EXPECT_EQ(loadLe16(info.data()), 16 + 6 * 20);
    EXPECT_EQ(info[4], 0xFF);
    const uint8_t order[] = {0x02, 0x82, 0x04, 0x01, 0x84, 0x81};
    for (uint32_t i = 0; i < 6; ++i) {
        const uint8_t* pipe = info.data() + 16 + i * 20;
        EXPECT_EQ(loadLe16(pipe), 64) << i;
        EXPECT_EQ(pipe[2], order[i]) << i;
        EXPECT_EQ(loadLe32(pipe + 4), 2u) << "bulk, pipe " << i;
    }
    EXPECT_EQ(info[16 + 6 * 20], 0) << "the rest of the record is cleared";
    EXPECT_EQ(info[PIPE_INFO_LENGTH - 1], 0);
    // A record smaller than 1024 bytes is refused.
    EXPECT_EQ(c->control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH - 1).error,
              ERR_INVALID_PARAMETER);
}

TEST_F(ProviderTest, BareControllerHasNoPipes) {
    transport_->devices = {kestrelIdentity(0x2131, 4, false)};
    auto c = open();
    ASSERT_TRUE(c);
    std::vector<uint8_t> info(PIPE_INFO_LENGTH, 0xCD);
    ASSERT_TRUE(c->control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).ok);
    EXPECT_EQ(loadLe32(info.data() + PIPE_INFO_COUNT_OFFSET), 0u);
    uint8_t byte = 0;
    EXPECT_EQ(pipeRequest(*c, CTL_BULK_READ, 0, &byte, 1).error, ERR_INVALID_PARAMETER);
}

TEST_F(ProviderTest, VendorRequestIsBuiltFromTheRecord) {
    auto c = open();
    ASSERT_TRUE(c);
    uint8_t record[VENDOR_REQUEST_LENGTH] = {};
    record[VR_REQUEST] = 0xA0;
    storeLe16(record + VR_VALUE, 0x7F92);
    storeLe16(record + VR_INDEX, 0x1234);
    storeLe16(record + VR_LENGTH, 1);
    record[VR_DIRECTION] = 0;
    record[VR_DATA] = 1;
    ASSERT_TRUE(c->control(CTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0).ok);
    record[VR_REQUEST] = 0x55;
    storeLe16(record + VR_LENGTH, 0);
    ASSERT_TRUE(c->control(CTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0).ok);
    // Short records and host-to-device data stages the record cannot hold.
    EXPECT_EQ(c->control(CTL_VENDOR_REQUEST, record, 9, nullptr, 0).error, ERR_INVALID_PARAMETER);
    storeLe16(record + VR_LENGTH, 2);
    EXPECT_EQ(c->control(CTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0).error, ERR_INVALID_PARAMETER);

    const auto sent = transport_->last->controls();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].setup.requestType, 0x40);
    EXPECT_EQ(sent[0].setup.request, 0xA0);
    EXPECT_EQ(sent[0].setup.value, 0x7F92);
    EXPECT_EQ(sent[0].setup.index, 0x1234);
    EXPECT_EQ(sent[0].data, std::vector<uint8_t>{1});
    EXPECT_EQ(sent[1].setup.request, 0x55);
    EXPECT_TRUE(sent[1].data.empty()) << "no data stage when the length is 0";
}

TEST_F(ProviderTest, DownloadGoesInLoadRequestsFromTheOffset) {
    auto c = open();
    ASSERT_TRUE(c);
    std::vector<uint8_t> image(2 * DOWNLOAD_CHUNK + 5);
    std::iota(image.begin(), image.end(), uint8_t{0});
    uint8_t offset[2];
    storeLe16(offset, 0x0100);
    const auto r = c->control(CTL_DOWNLOAD, offset, 2, image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, image.size());
    const auto sent = transport_->last->controls();
    ASSERT_EQ(sent.size(), 3u);
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].setup.requestType, 0x40);
        EXPECT_EQ(sent[i].setup.request, 0xA0);
        EXPECT_EQ(sent[i].setup.value, 0x0100 + i * DOWNLOAD_CHUNK);
        EXPECT_LE(sent[i].data.size(), DOWNLOAD_CHUNK);
        joined.insert(joined.end(), sent[i].data.begin(), sent[i].data.end());
    }
    EXPECT_EQ(joined, image);

    // Past the end of the controller's memory: refused, nothing sent.
    storeLe16(offset, 0xFFFF);
    EXPECT_EQ(c->control(CTL_DOWNLOAD, offset, 2, image.data(), 2).error, ERR_INVALID_PARAMETER);
    storeLe16(offset, 0xFFFE);
    EXPECT_TRUE(c->control(CTL_DOWNLOAD, offset, 2, image.data(), 2).ok) << "the last two bytes fit";
    EXPECT_EQ(c->control(CTL_DOWNLOAD, offset, 1, image.data(), 2).error, ERR_INVALID_PARAMETER);
    EXPECT_EQ(transport_->last->controls().size(), 4u);
}

TEST_F(ProviderTest, BulkTransfersUseThePipesEndpointAndReportBytesMoved) {
    auto c = open();
    ASSERT_TRUE(c);
    std::vector<uint8_t> packet(64, 7);
    auto w = pipeRequest(*c, CTL_BULK_WRITE, PIPE_COMMAND, packet.data(), 64);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.bytes, 64u);
    transport_->last->answer({1, 2, 3});
    std::vector<uint8_t> in(64, 0);
    auto r = pipeRequest(*c, CTL_BULK_READ, PIPE_DATA_IN, in.data(), 64);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 3u);
    EXPECT_EQ(in[2], 3);
    const auto bulks = transport_->last->bulks();
    ASSERT_EQ(bulks.size(), 2u);
    EXPECT_EQ(bulks[0].endpoint, 0x01) << "pipe 3";
    EXPECT_EQ(bulks[1].endpoint, 0x82) << "pipe 1";
    EXPECT_EQ(bulks[1].length, 64u);

    // Wrong direction, no such pipe, no pipe index: refused without a transfer.
    EXPECT_EQ(pipeRequest(*c, CTL_BULK_READ, PIPE_DATA_OUT, in.data(), 64).error, ERR_INVALID_PARAMETER);
    EXPECT_EQ(pipeRequest(*c, CTL_BULK_WRITE, PIPE_STATUS, in.data(), 64).error, ERR_INVALID_PARAMETER);
    EXPECT_EQ(pipeRequest(*c, CTL_BULK_WRITE, 6, in.data(), 64).error, ERR_INVALID_PARAMETER);
    EXPECT_EQ(c->control(CTL_BULK_WRITE, in.data(), 3, in.data(), 64).error, ERR_INVALID_PARAMETER);
    EXPECT_EQ(c->control(0x222FFF, nullptr, 0, nullptr, 0).error, ERR_INVALID_FUNCTION);
    EXPECT_EQ(transport_->last->bulks().size(), 2u);
}

TEST_F(ProviderTest, ResetPipeClearsTheEndpointsHalt) {
    auto c = open();
    ASSERT_TRUE(c);
    transport_->last->stall(0x02);
    uint8_t data[64] = {};
    EXPECT_FALSE(pipeRequest(*c, CTL_BULK_WRITE, PIPE_DATA_OUT, data, 64).ok);
    ASSERT_TRUE(pipeRequest(*c, CTL_RESET_PIPE, PIPE_DATA_OUT).ok);
    EXPECT_EQ(transport_->last->clearedHalts(), std::vector<uint8_t>{0x02});
    EXPECT_TRUE(pipeRequest(*c, CTL_BULK_WRITE, PIPE_DATA_OUT, data, 64).ok);
    EXPECT_EQ(pipeRequest(*c, CTL_RESET_PIPE, 6).error, ERR_INVALID_PARAMETER);
}

TEST_F(ProviderTest, AbortOnAnotherHandleEndsThePendingReadWith995) {
    auto first = open();
    auto second = open();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(transport_->opens, 1) << "both handles share the open device";
    std::vector<uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] { return pipeRequest(*first, CTL_BULK_READ, PIPE_DATA_IN, in.data(), 64); });
    ASSERT_TRUE(transport_->last->waitPending(1));
    // Aborting another pipe leaves the read pending.
    ASSERT_TRUE(pipeRequest(*second, CTL_ABORT_PIPE, PIPE_COMMAND).ok);
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    ASSERT_TRUE(pipeRequest(*second, CTL_ABORT_PIPE, PIPE_DATA_IN).ok);
    const auto r = pending.get();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ERR_OPERATION_ABORTED);
    // The next read works.
    transport_->last->answer({9});
    const auto next = pipeRequest(*first, CTL_BULK_READ, PIPE_DATA_IN, in.data(), 64);
    EXPECT_TRUE(next.ok);
    EXPECT_EQ(next.bytes, 1u);
}

TEST_F(ProviderTest, DeviceThatLeftFailsWith1167AndIsFoundAgainUnderANewProductId) {
    auto c = open();
    ASSERT_TRUE(c);
    FakeDevice* old = transport_->last;
    std::vector<uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] { return pipeRequest(*c, CTL_BULK_READ, PIPE_DATA_IN, in.data(), 64); });
    ASSERT_TRUE(old->waitPending(1));
    old->leave();
    EXPECT_EQ(pending.get().error, ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(pipeRequest(*c, CTL_RESET_PIPE, 0).error, ERR_DEVICE_NOT_CONNECTED);
    std::vector<uint8_t> info(PIPE_INFO_LENGTH);
    EXPECT_EQ(c->control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).error, ERR_DEVICE_NOT_CONNECTED);

    // Off the bus: an open fails with 2.
    transport_->devices.clear();
    uint32_t error = 0;
    EXPECT_FALSE(open(&error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);

    // Back, at another address with another product id.
    transport_->devices = {kestrelIdentity(0x4B46, 8)};
    auto again = open(&error);
    ASSERT_TRUE(again);
    EXPECT_EQ(error, 0u);
    EXPECT_NE(transport_->last, old);
    EXPECT_EQ(transport_->last->identity().productId, 0x4B46);
}

TEST_F(ProviderTest, ReopenAfterTheDeviceLeftAtTheSameAddressOpensItAnew) {
    auto c = open();
    ASSERT_TRUE(c);
    transport_->last->leave();
    auto again = open();
    ASSERT_TRUE(again);
    EXPECT_EQ(transport_->opens, 2);
    uint8_t data[64] = {};
    EXPECT_TRUE(pipeRequest(*again, CTL_BULK_WRITE, PIPE_COMMAND, data, 64).ok);
}

TEST_F(ProviderTest, OpenFailures) {
    uint32_t error = 0;
    EXPECT_FALSE(provider_->open("Ezusb-0", 0, 0, error)) << "only the Kestrel's device name";
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);
    transport_->openStatus = UsbStatus::Access;
    EXPECT_FALSE(open(&error));
    EXPECT_EQ(error, 5u);
    transport_->openStatus = UsbStatus::Gone;
    EXPECT_FALSE(open(&error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND) << "a device that left between listing and open is absent";
}

TEST(UsbSelectionTest, DefaultTakesAnchorDevicesWithTheKestrelsLayoutOnly) {
    const Selection selection = defaultSelection();
    EXPECT_TRUE(selects(selection, kestrelIdentity(0x1234, 2)));
    EXPECT_TRUE(selects(selection, kestrelIdentity(0x2131, 2, false))) << "the bare controller";
    auto other = kestrelIdentity(0x1234, 2);
    other.vendorId = 0x0548;
    EXPECT_FALSE(selects(selection, other));
    auto five = kestrelIdentity(0x1234, 2);
    five.endpoints.pop_back();
    EXPECT_FALSE(selects(selection, five));
    auto interrupt = kestrelIdentity(0x1234, 2);
    interrupt.endpoints[5].type = EndpointType::Interrupt;
    EXPECT_FALSE(selects(selection, interrupt));
}

TEST(UsbSelectionTest, NamedDevicesByIdsAndByBusAndAddress) {
    std::string error;
    const auto parsed = parseSelection("04b4:8613,0547:*@3:9", error);
    ASSERT_TRUE(parsed) << error;
    ASSERT_EQ(parsed->entries.size(), 2u);
    auto cypress = kestrelIdentity(0x8613, 1);
    cypress.vendorId = 0x04B4;
    cypress.endpoints.pop_back();
    EXPECT_TRUE(selects(*parsed, cypress)) << "a named device is taken whatever its layout";
    EXPECT_FALSE(selects(*parsed, kestrelIdentity(0x1002, 8)));
    EXPECT_TRUE(selects(*parsed, kestrelIdentity(0x1002, 9)));
    auto wrongPid = cypress;
    wrongPid.productId = 0x8614;
    EXPECT_FALSE(selects(*parsed, wrongPid));

    for (const char* bad : {"", "0547", "0547:", ":1002", "10547:1002", "0547:1002@", "0547:1002@3",
                            "0547:1002@3:128", "0547:1002@256:1", "0547:1002,", "zz:1002", "0547:1002 "}) {
        error.clear();
        EXPECT_FALSE(parseSelection(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST_F(ProviderTest, SeveralMatchesTakeTheFirstAndAMalformedSelectionOpensNothing) {
    transport_->devices = {kestrelIdentity(0x1002, 7), kestrelIdentity(0x1003, 9)};
    auto c = open();
    ASSERT_TRUE(c);
    EXPECT_EQ(transport_->last->identity().address, 7);

    const Candidates none = findCandidates(*transport_, Selection{}, "KESTREL_USB 'x': expected VID:PID");
    EXPECT_TRUE(none.devices.empty());
    EXPECT_NE(none.why.find("KESTREL_USB"), std::string::npos);
    auto refusing = makeUsbProvider(transport_, Selection{}, "KESTREL_USB 'x': expected VID:PID");
    uint32_t error = 0;
    EXPECT_FALSE(refusing->open(DEVICE_NAME, 0, 0, error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);

    transport_->devices.clear();
    transport_->why = "no USB subsystem";
    EXPECT_EQ(findCandidates(*transport_, defaultSelection()).why, "fake: no USB subsystem");
}

}  // namespace kestrel::platform::usb::test
