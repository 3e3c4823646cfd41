// The WinUSB transport against a scripted WinUSB: finding the Kestrel by
// its paths, the failures of opening it, every handle released, and the
// driver interface's codes for WinUSB's results (abort -> 995, a device
// that leaves -> 1167, short transfers).
#include "platform/byte_order.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/device_listing.h"
#include "platform/usb/usb_provider.h"
#include "tests/usb/fake_winusb.h"

#include <gtest/gtest.h>

#include <future>

namespace kestrel::platform::win32::test {

namespace {

using namespace kestrel::driver;
using platform::usb::UsbStatus;

const std::vector<uint8_t> KESTREL_PIPES = {0x02, 0x82, 0x04, 0x01, 0x84, 0x81};

FakeWinUsbDevice kestrelDevice(uint16_t productId = 0x4B4D, uint8_t hub = 3, uint8_t port = 5) {
    FakeWinUsbDevice d;
    d.path.hub = hub;
    d.path.port = port;
    wchar_t hex[5];
    swprintf(hex, 5, L"%04x", productId);
    d.path.path = std::wstring(L"\\\\?\\usb#vid_0547&pid_") + hex + L"#5&1a2b3c&0&5#{a5dcbf10}";
    d.vendorId = 0x0547;
    d.productId = productId;
    d.pipes = KESTREL_PIPES;
    return d;
}

ControlResult pipeRequest(DeviceConnection& c, uint32_t code, uint32_t pipe, void* data = nullptr,
                          uint32_t length = 0) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return c.control(code, index, sizeof index, data, length);
}

class WinUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetEnv("KESTREL_SIM");
        unsetEnv("KESTREL_USB");
    }
    std::unique_ptr<DeviceConnection> open(uint32_t& error) {
        error = 0xdeadbeef;
        return provider_->open(DEVICE_NAME, ACCESS_WRITE, SHARE_WRITE, error);
    }

    FakeWinUsb fake_;
    std::shared_ptr<platform::usb::UsbTransport> transport_ = makeWinUsbTransport(fake_.api());
    std::shared_ptr<DeviceProvider> provider_ =
        platform::usb::makeUsbProvider(transport_, platform::usb::defaultSelection());
};

}  // namespace

TEST_F(WinUsbTest, NoDeviceListsNothingSaysWhyAndOpensFailWith2) {
    const auto list = transport_->list();
    EXPECT_TRUE(list.devices.empty());
    EXPECT_NE(list.why.find("no USB device bound to WinUSB"), std::string::npos) << list.why;
    uint32_t error = 0;
    EXPECT_FALSE(open(error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);
    const auto report = platform::usb::listDevices(transport_);
    EXPECT_FALSE(report.found);
    ASSERT_FALSE(report.lines.empty());
    EXPECT_NE(report.lines.back().find("winusb: no USB device bound to WinUSB"), std::string::npos)
        << report.lines.back();
}

TEST_F(WinUsbTest, ListsTheKestrelOnceWithIdsLocationAndPipesAndLeavesOtherDevicesUnopened) {
    FakeWinUsbDevice mouse;
    mouse.path = {L"\\\\?\\usb#vid_046d&pid_c077#6&2&0&1#{a5dcbf10}", 1, 1};
    mouse.vendorId = 0x046d;
    mouse.productId = 0xc077;
    fake_.add(mouse);
    auto k = kestrelDevice(0x4B4D, 3, 12);
    k.ownClass = true;  // under both classes: one device
    fake_.add(k);
    const auto list = transport_->list();
    ASSERT_EQ(list.devices.size(), 2u);
    // The Kestrel's own class is looked at first.
    const auto& other = list.devices[1];
    EXPECT_EQ(other.vendorId, 0x046d);
    EXPECT_EQ(other.productId, 0xc077);
    EXPECT_TRUE(other.endpoints.empty());
    const auto& found = list.devices[0];
    EXPECT_EQ(found.vendorId, 0x0547);
    EXPECT_EQ(found.productId, 0x4B4D);
    EXPECT_EQ(found.bus, 3);
    EXPECT_EQ(found.address, 12);
    ASSERT_EQ(found.endpoints.size(), KESTREL_PIPES.size());
    for (size_t i = 0; i < KESTREL_PIPES.size(); ++i) {
        EXPECT_EQ(found.endpoints[i].address, KESTREL_PIPES[i]) << i;
        EXPECT_EQ(found.endpoints[i].type, platform::usb::EndpointType::Bulk) << i;
        EXPECT_EQ(found.endpoints[i].maxPacketSize, 64) << i;
    }
    // Only the Kestrel was opened to read its pipes, and it was closed again.
    ASSERT_EQ(fake_.openedPaths.size(), 1u);
    const std::wstring kestrelPath = L"\\\\?\\usb#vid_0547&pid_4b4d";
    EXPECT_EQ(_wcsnicmp(fake_.openedPaths[0].c_str(), kestrelPath.c_str(), kestrelPath.size()), 0);
    EXPECT_EQ(fake_.filesOpened, fake_.filesClosed);
    EXPECT_EQ(fake_.interfacesOpened, fake_.interfacesFreed);

    // KESTREL_USB names another device: that one is opened instead.
    setEnv("KESTREL_USB", "046d:c077");
    (void)transport_->list();
    unsetEnv("KESTREL_USB");
    ASSERT_EQ(fake_.openedPaths.size(), 2u);
    EXPECT_NE(fake_.openedPaths[1].find(L"vid_046d&pid_c077"), std::wstring::npos);
}

TEST_F(WinUsbTest, OpenFailuresSayWhyAndReleaseWhatWasOpened) {
    fake_.add(kestrelDevice());
    struct Case {
        DWORD openError, initializeError, queryPipeError;
        const char* why;
    } cases[] = {
        {ERROR_ACCESS_DENIED, 0, 0, "(busy)"},
        {0, ERROR_INVALID_FUNCTION, 0, "not bound to the WinUSB driver"},
        {0, 0, ERROR_GEN_FAILURE, "(stall)"},
    };
    for (const auto& c : cases) {
        fake_.openError = c.openError;
        fake_.initializeError = c.initializeError;
        fake_.queryPipeError = c.queryPipeError;
        const auto list = transport_->list();
        EXPECT_TRUE(list.devices.empty()) << c.why;
        EXPECT_NE(list.why.find("0547:4b4d at hub 3 port 5 cannot be opened with WinUSB"), std::string::npos)
            << list.why;
        EXPECT_NE(list.why.find(c.why), std::string::npos) << list.why;
        uint32_t error = 0;
        EXPECT_FALSE(open(error)) << c.why;
        EXPECT_EQ(error, ERR_FILE_NOT_FOUND) << c.why;
        EXPECT_EQ(fake_.filesOpened, fake_.filesClosed) << c.why;
        EXPECT_EQ(fake_.interfacesOpened, fake_.interfacesFreed) << c.why;
    }
    EXPECT_GT(fake_.filesOpened, 0);
    EXPECT_GT(fake_.interfacesOpened, 0);
    // Opening a listed device that has meanwhile become busy.
    fake_.openError = fake_.initializeError = fake_.queryPipeError = 0;
    auto listed = transport_->list().devices;
    ASSERT_EQ(listed.size(), 1u);
    fake_.openError = ERROR_SHARING_VIOLATION;
    UsbStatus status = UsbStatus::Ok;
    EXPECT_FALSE(transport_->open(listed[0], status));
    EXPECT_EQ(status, UsbStatus::Busy);
    // A device at another place is not the listed one.
    fake_.openError = 0;
    listed[0].address = 6;
    EXPECT_FALSE(transport_->open(listed[0], status));
    EXPECT_EQ(status, UsbStatus::NotFound);
}

TEST_F(WinUsbTest, DriverInterfaceRequestsBecomeWinUsbCalls) {
    fake_.add(kestrelDevice());
    uint32_t error = 0;
    auto c = open(error);
    ASSERT_TRUE(c) << error;
    std::vector<uint8_t> info(PIPE_INFO_LENGTH);
    ASSERT_TRUE(c->control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).ok);
    EXPECT_EQ(loadLe32(info.data() + PIPE_INFO_COUNT_OFFSET), 6u);

    uint8_t request[VENDOR_REQUEST_LENGTH] = {};
    request[VR_REQUEST] = 0xA0;
    storeLe16(request + VR_VALUE, 0x7F92);
    storeLe16(request + VR_INDEX, 0x1234);
    storeLe16(request + VR_LENGTH, 1);
    request[VR_DATA] = 1;
    ASSERT_TRUE(c->control(CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0).ok);
    ASSERT_FALSE(fake_.controls.empty());
    const WINUSB_SETUP_PACKET sent = fake_.controls.back();
    EXPECT_EQ(sent.RequestType, 0x40);
    EXPECT_EQ(sent.Request, 0xA0);
    EXPECT_EQ(sent.Value, 0x7F92);
    EXPECT_EQ(sent.Index, 0x1234);
    EXPECT_EQ(sent.Length, 1);

    // Pipe 3 is the fourth endpoint; a write moves every byte to it.
    uint8_t command[16];
    for (uint8_t i = 0; i < sizeof command; ++i) command[i] = i;
    const auto written = pipeRequest(*c, CTL_BULK_WRITE, PIPE_COMMAND, command, sizeof command);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.bytes, sizeof command);
    ASSERT_EQ(fake_.writes.size(), 1u);
    EXPECT_EQ(fake_.writes[0].first, 0x01);
    EXPECT_EQ(fake_.writes[0].second, std::vector<uint8_t>(command, command + sizeof command));

    // A short read reports the bytes that came.
    fake_.answer({9, 8, 7});
    uint8_t in[64] = {};
    const auto read = pipeRequest(*c, CTL_BULK_READ, PIPE_DATA_IN, in, sizeof in);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.bytes, 3u);
    EXPECT_EQ(in[2], 7);
    EXPECT_EQ(in[3], 0);

    ASSERT_TRUE(pipeRequest(*c, CTL_RESET_PIPE, PIPE_STATUS).ok);
    EXPECT_EQ(fake_.reset, std::vector<uint8_t>{0x81});

    c.reset();
    EXPECT_EQ(fake_.filesOpened, fake_.filesClosed);
    EXPECT_EQ(fake_.interfacesOpened, fake_.interfacesFreed);
}

TEST_F(WinUsbTest, AbortEndsThePendingReadWith995AndTheNextReadWorks) {
    fake_.add(kestrelDevice());
    uint32_t error = 0;
    auto reader = open(error);
    auto watchdog = open(error);
    ASSERT_TRUE(reader && watchdog);
    uint8_t in[64];
    auto pending = std::async(std::launch::async,
                              [&] { return pipeRequest(*reader, CTL_BULK_READ, PIPE_STATUS, in, sizeof in); });
    ASSERT_TRUE(fake_.waitPending(1));
    // Another pipe's abort leaves it pending.
    ASSERT_TRUE(pipeRequest(*watchdog, CTL_ABORT_PIPE, PIPE_DATA_IN).ok);
    EXPECT_EQ(fake_.pending(), 1u);
    ASSERT_TRUE(pipeRequest(*watchdog, CTL_ABORT_PIPE, PIPE_STATUS).ok);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto aborted = pending.get();
    EXPECT_FALSE(aborted.ok);
    EXPECT_EQ(aborted.error, ERR_OPERATION_ABORTED);
    EXPECT_EQ(fake_.aborted.back(), 0x81);

    fake_.answer({1, 2});
    const auto next = pipeRequest(*reader, CTL_BULK_READ, PIPE_STATUS, in, sizeof in);
    ASSERT_TRUE(next.ok) << next.error;
    EXPECT_EQ(next.bytes, 2u);
}

TEST_F(WinUsbTest, ADeviceThatLeavesFailsPendingAndLaterCallsWith1167) {
    for (const DWORD leaving : {DWORD{ERROR_DEVICE_NOT_CONNECTED}, DWORD{ERROR_BAD_COMMAND}}) {
        FakeWinUsb fake;
        fake.add(kestrelDevice());
        auto provider = platform::usb::makeUsbProvider(makeWinUsbTransport(fake.api()),
                                                       platform::usb::defaultSelection());
        uint32_t error = 0;
        auto c = provider->open(DEVICE_NAME, ACCESS_WRITE, SHARE_WRITE, error);
        ASSERT_TRUE(c) << error;
        uint8_t in[64];
        auto pending =
            std::async(std::launch::async, [&] { return pipeRequest(*c, CTL_BULK_READ, PIPE_DATA_IN, in, sizeof in); });
        ASSERT_TRUE(fake.waitPending(1));
        fake.leave(leaving);
        ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(pending.get().error, ERR_DEVICE_NOT_CONNECTED) << leaving;
        const int started = fake.transfersStarted;
        EXPECT_EQ(pipeRequest(*c, CTL_BULK_WRITE, PIPE_COMMAND, in, 8).error, ERR_DEVICE_NOT_CONNECTED) << leaving;
        EXPECT_EQ(fake.transfersStarted, started) << "no transfer on a device known to be gone";
        uint8_t request[VENDOR_REQUEST_LENGTH] = {};
        EXPECT_EQ(c->control(CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0).error,
                  ERR_DEVICE_NOT_CONNECTED);
        c.reset();
        EXPECT_EQ(fake.filesOpened, fake.filesClosed);
        EXPECT_EQ(fake.interfacesOpened, fake.interfacesFreed);
    }
}

TEST(WinUsbSelection, WithoutSimulatorTheOsDriverComesFirstThenWinUsb) {
    installDeviceProvider(nullptr);
    setEnv("KESTREL_SIM", "tcp:127.0.0.1:9");
    EXPECT_NE(activeDeviceProvider(), platform::usb::systemDeviceProvider());
    unsetEnv("KESTREL_SIM");
    EXPECT_EQ(activeDeviceProvider(), platform::usb::systemDeviceProvider());
    const auto transport = platform::usb::systemUsbTransport();
    ASSERT_TRUE(transport);
    EXPECT_EQ(transport->name(), "winusb");
    // No driver and no device bound to WinUSB here: the open fails with 2.
    uint32_t error = 0;
    EXPECT_FALSE(activeDeviceProvider()->open(DEVICE_NAME, ACCESS_WRITE, SHARE_WRITE, error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);
}

TEST(WinUsbErrors, WinUsbResultsMapToTransportStatuses) {
    EXPECT_EQ(statusOfWin32Error(ERROR_SUCCESS), UsbStatus::Ok);
    EXPECT_EQ(statusOfWin32Error(ERROR_OPERATION_ABORTED), UsbStatus::Cancelled);
    EXPECT_EQ(statusOfWin32Error(ERROR_DEVICE_NOT_CONNECTED), UsbStatus::Gone);
    EXPECT_EQ(statusOfWin32Error(433), UsbStatus::Gone);
    EXPECT_EQ(statusOfWin32Error(ERROR_BAD_COMMAND), UsbStatus::Gone);
    EXPECT_EQ(statusOfWin32Error(ERROR_GEN_FAILURE), UsbStatus::Stall);
    EXPECT_EQ(statusOfWin32Error(ERROR_SEM_TIMEOUT), UsbStatus::Timeout);
    EXPECT_EQ(statusOfWin32Error(ERROR_ACCESS_DENIED), UsbStatus::Busy);
    EXPECT_EQ(statusOfWin32Error(ERROR_FILE_NOT_FOUND), UsbStatus::NotFound);
    EXPECT_EQ(statusOfWin32Error(ERROR_IO_PENDING), UsbStatus::Error);
}

TEST(WinUsbLocation, HubAndPortFromTheLocationText) {
    uint8_t hub = 9, port = 9;
    parseLocation(L"Port_#0002.Hub_#0001", hub, port);
    EXPECT_EQ(hub, 1);
    EXPECT_EQ(port, 2);
    parseLocation(L"Port_#0255.Hub_#0256", hub, port);
    EXPECT_EQ(port, 255);
    EXPECT_EQ(hub, 0) << "past a byte: unknown";
    parseLocation(L"", hub, port);
    EXPECT_EQ(hub, 0);
    EXPECT_EQ(port, 0);
    parseLocation(L"Hub_#", hub, port);
    EXPECT_EQ(hub, 0);
}

}  // namespace kestrel::platform::win32::test
