// The KSIM server in USB mode: the product reaches the served device only
// through the USB transport (KESTREL_SIM with KESTREL_SIM_USB=1), with its
// aborts, re-enumeration, and the face's answers to malformed requests.
#include "platform/byte_order.h"
#include "platform/device.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/message_box.h"
#include "platform/socket.h"
#include "platform/usb/device_listing.h"
#include "platform/usb/ksim_usb_transport.h"
#include "platform/usb/usb_wire.h"
#include "sim/device_config.h"
#include "sim/ksim_server.h"
#include "sim/sim_device.h"
#include "sim/usb_face.h"
#include "tests/sim/sim_test_support.h"
#include "usblink/firmware_download.h"
#include "usblink/usb_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <random>
#include <thread>

namespace kestrel::sim::test {

namespace {

using namespace kestrel::driver;
using namespace platform::usb::wire;
using platform::usb::UsbStatus;

usblink::LinkNames privateNames() {
    static std::atomic<uint32_t> counter{0};
    const std::string stem =
        "usb-daemon-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
    usblink::LinkNames names;
    names.goEvent = stem + "-go";
    names.doneEvent = stem + "-done";
    return names;
}

class DaemonFaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::installDeviceProvider(nullptr);
        auto config = defaultDeviceConfig(2, 0xEC);
        ASSERT_TRUE(config);
        ASSERT_TRUE(createFolder(folder_.path(), *config));
        std::string error;
        sim_ = SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(sim_) << error;
        platform::setEnv("KESTREL_SIM_USB", "1");
        auto endpoint = platform::parseEndpoint("tcp:127.0.0.1:0");
        ASSERT_TRUE(endpoint);
        auto listener = platform::listenOn(*endpoint, &error);
        ASSERT_TRUE(listener) << error;
        server_ = std::make_unique<KsimServer>(sim_, std::move(listener));
        endpoint_ = server_->endpoint().toString();
        platform::setEnv("KESTREL_SIM", endpoint_);
        platform::setMessageSink([](const platform::MessageBoxRequest& request) {
            ADD_FAILURE() << "message box: " << request.text;
            return platform::MessageAnswer::Ok;
        });
        auto sim = sim_;
        hang_ = std::make_unique<Watchdog>([sim] { sim->command("unplug"); });
    }
    void TearDown() override {
        hang_.reset();
        platform::unsetEnv("KESTREL_SIM");
        platform::unsetEnv("KESTREL_SIM_USB");
        platform::setMessageSink(nullptr);
        if (server_) server_->close();
    }

    std::string firmwareFolder() const {
        return std::filesystem::path(siblingFile(usblink::FFS_FIRMWARE)).parent_path().string();
    }
    static platform::DeviceHandle openDevice() {
        return platform::DeviceHandle::open("\\\\.\\QlxUsb-0", ACCESS_WRITE, SHARE_WRITE);
    }
    static platform::ControlResult pipeRequest(platform::DeviceHandle& h, uint32_t code, uint32_t pipe,
                                               void* data = nullptr, uint32_t length = 0) {
        uint8_t index[4];
        storeLe32(index, pipe);
        return h.control(code, index, sizeof index, data, length);
    }
    // A raw handle of the daemon's face, as a hostile client would use it.
    std::unique_ptr<platform::DeviceConnection> rawFace() {
        uint32_t error = 0;
        auto c = platform::makeKsimProvider(endpoint_)->open(USB_FACE_NAME, ACCESS_WRITE, SHARE_WRITE, error);
        EXPECT_TRUE(c) << error;
        return c;
    }

    TempFolder folder_;
    std::shared_ptr<SimDevice> sim_;
    std::unique_ptr<KsimServer> server_;
    std::string endpoint_;
    std::unique_ptr<Watchdog> hang_;
};

}  // namespace

TEST_F(DaemonFaceTest, TheProductReachesTheDeviceAsUsb) {
    EXPECT_EQ(platform::activeDeviceProvider(), platform::usb::ksimUsbProvider(endpoint_));
    auto h = openDevice();
    ASSERT_TRUE(h.valid()) << h.openError();
    std::vector<uint8_t> info(PIPE_INFO_LENGTH);
    ASSERT_TRUE(h.control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).ok);
    EXPECT_EQ(loadLe32(info.data() + PIPE_INFO_COUNT_OFFSET), 6u);
    // Without KESTREL_SIM_USB the same daemon is reached as before.
    platform::unsetEnv("KESTREL_SIM_USB");
    EXPECT_NE(platform::activeDeviceProvider(), platform::usb::ksimUsbProvider(endpoint_));
    platform::setEnv("KESTREL_SIM_USB", "1");
    // The product's firmware download over it: the device leaves, comes
    // back as the file-system firmware, and the product finds it again.
    auto transport = platform::usb::makeKsimUsbTransport(platform::makeKsimProvider(endpoint_));
    const auto before = transport->list().devices;
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].productId, USB_PRODUCT_MAIN);
    auto device = std::make_unique<usblink::UsbDevice>(firmwareFolder(), privateNames());
    ASSERT_EQ(device->init(), 1u);
    const auto after = transport->list().devices;
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].productId, USB_PRODUCT_FILE_SYSTEM);
    EXPECT_NE(after[0].address, before[0].address);
    uint8_t id[4] = {};
    ASSERT_EQ(device->cardCommands().readId(0, id), 1u);
    EXPECT_EQ(id[1], 0xEC);
    EXPECT_EQ(h.control(CTL_GET_PIPE_INFO, nullptr, 0, info.data(), PIPE_INFO_LENGTH).error,
              ERR_DEVICE_NOT_CONNECTED)
        << "a handle of the device before it left stays dead";
}

TEST_F(DaemonFaceTest, KestrelDevicesListsTheDaemonsDeviceAsUsb) {
    const auto report = platform::usb::listDevices(nullptr);
    EXPECT_TRUE(report.found);
    ASSERT_FALSE(report.lines.empty());
    const std::string& line = report.lines.front();
    EXPECT_EQ(line.rfind("simulator (KESTREL_SIM=" + endpoint_ + "): usb 0547:4b4d bus 1 address ", 0), 0u) << line;
    EXPECT_NE(line.find("6 pipes, firmware running"), std::string::npos) << line;
    ASSERT_EQ(sim_->command("unplug"), "ok");
    const auto unplugged = platform::usb::listDevices(nullptr);
    EXPECT_FALSE(unplugged.found);
    EXPECT_NE(unplugged.lines.front().find("no Kestrel found"), std::string::npos) << unplugged.lines.front();
}

TEST_F(DaemonFaceTest, APendingReadIsAbortedFromAnotherHandleAndTheNextCommandWorks) {
    auto reader = openDevice();
    auto watchdog = openDevice();
    ASSERT_TRUE(reader.valid() && watchdog.valid());
    std::vector<uint8_t> in(64);
    auto pending = std::async(std::launch::async,
                              [&] { return pipeRequest(reader, CTL_BULK_READ, PIPE_STATUS, in.data(), 64); });
    for (int i = 0; i < 20000 && statValue(sim_->command("stats"), "pending_transfers") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(statValue(sim_->command("stats"), "pending_transfers"), 1u);
    ASSERT_TRUE(pipeRequest(watchdog, CTL_ABORT_PIPE, PIPE_STATUS).ok);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(pending.get().error, ERR_OPERATION_ABORTED);
    auto device = std::make_unique<usblink::UsbDevice>(firmwareFolder(), privateNames());
    ASSERT_EQ(device->init(), 1u);
    uint8_t status[4] = {};
    EXPECT_EQ(device->cardCommands().readStatus(0, status), 1u);
}

TEST_F(DaemonFaceTest, AClientThatGoesAwayMidTransferLeavesNothingWaiting) {
    auto face = rawFace();
    ASSERT_TRUE(face);
    std::vector<uint8_t> list(MAX_LIST);
    const auto listed = face->control(USB_LIST, nullptr, 0, list.data(), MAX_LIST);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(loadLe32(list.data()), 1u);
    std::vector<uint8_t> wanted(list.begin() + 4, list.begin() + listed.bytes);
    std::vector<uint8_t> opened(4 + MAX_IDENTITY);
    const auto r = face->control(USB_OPEN, wanted.data(), static_cast<uint32_t>(wanted.size()), opened.data(),
                                 static_cast<uint32_t>(opened.size()));
    ASSERT_TRUE(r.ok) << r.error;
    const uint32_t id = loadLe32(opened.data());
    auto reader = rawFace();
    uint8_t request[ENDPOINT_REQUEST_LENGTH];
    storeLe32(request, id);
    request[4] = 0x81;
    std::vector<uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] {
        return reader->control(USB_BULK_IN, request, sizeof request, in.data(), 64);
    });
    for (int i = 0; i < 20000 && statValue(sim_->command("stats"), "pending_transfers") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(statValue(sim_->command("stats"), "pending_transfers"), 1u);
    face.reset();  // the handle that opened the device: the device closes, its transfer ends
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(pending.get().ok);
    EXPECT_EQ(statValue(sim_->command("stats"), "pending_transfers"), 0u);
    // The id is gone with its handle.
    EXPECT_EQ(reader->control(USB_CLEAR_HALT, request, sizeof request, nullptr, 0).error,
              errorOf(UsbStatus::NotFound));
}

TEST_F(DaemonFaceTest, MalformedRequestsAreRefused) {
    auto face = rawFace();
    ASSERT_TRUE(face);
    // An identity cut short, or one naming more endpoints than it carries.
    uint8_t shortIdentity[IDENTITY_HEADER - 1] = {};
    std::vector<uint8_t> out(4 + MAX_IDENTITY);
    EXPECT_EQ(face->control(USB_OPEN, shortIdentity, sizeof shortIdentity, out.data(), 4 + MAX_IDENTITY).error,
              errorOf(UsbStatus::Error));
    uint8_t lying[IDENTITY_HEADER + ENDPOINT_RECORD] = {};
    lying[9] = 2;
    EXPECT_EQ(face->control(USB_OPEN, lying, sizeof lying, out.data(), 4 + MAX_IDENTITY).error,
              errorOf(UsbStatus::Error));
    // Requests shorter than their record, and for no open device.
    uint8_t endpoint[ENDPOINT_REQUEST_LENGTH] = {9, 0, 0, 0, 0x81};
    EXPECT_EQ(face->control(USB_CANCEL, endpoint, ENDPOINT_REQUEST_LENGTH - 1, nullptr, 0).error,
              errorOf(UsbStatus::Error));
    EXPECT_EQ(face->control(USB_CANCEL, endpoint, sizeof endpoint, nullptr, 0).error, errorOf(UsbStatus::NotFound));
    uint8_t bulk[64];
    EXPECT_EQ(face->control(USB_BULK_IN, endpoint, sizeof endpoint, bulk, sizeof bulk).error,
              errorOf(UsbStatus::NotFound));
    endpoint[4] = 0x01;  // an OUT endpoint asked to read
    EXPECT_EQ(face->control(USB_BULK_IN, endpoint, sizeof endpoint, bulk, sizeof bulk).error,
              errorOf(UsbStatus::Error));
    uint8_t control[CONTROL_REQUEST_LENGTH];
    putControl(control, {9, {0xC0, 0x22, 0, 0}, 65, 1000});
    EXPECT_EQ(face->control(USB_CONTROL_IN, control, sizeof control, bulk, 64).error, errorOf(UsbStatus::Error))
        << "a data stage longer than the buffer";
    EXPECT_EQ(face->control(USB_CONTROL_OUT, control, sizeof control, bulk, 64).error, errorOf(UsbStatus::Error))
        << "an IN setup sent as OUT";
    EXPECT_EQ(face->control(CTL_GET_PIPE_INFO, nullptr, 0, out.data(), 64).error, ERR_INVALID_FUNCTION);
    uint8_t there = 7;
    ASSERT_TRUE(face->control(USB_PRESENT, endpoint, sizeof endpoint, &there, 1).ok);
    EXPECT_EQ(there, 0);
}

}  // namespace kestrel::sim::test
