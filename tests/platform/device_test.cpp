// DeviceHandle and the choice of backend.
#include "platform/device.h"

#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/socket.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel;
using namespace kestrel::platform;

namespace {

struct Recorded {
    std::vector<std::string> opened;
    uint32_t access = 0;
    uint32_t share = 0;
    uint32_t code = 0;
    uint32_t inLength = 0;
    uint32_t outLength = 0;
};

class FakeConnection final : public DeviceConnection {
public:
    explicit FakeConnection(Recorded& record) : record_(record) {}
    ControlResult control(uint32_t code, const void*, uint32_t inLength, void* out, uint32_t outLength) override {
        record_.code = code;
        record_.inLength = inLength;
        record_.outLength = outLength;
        if (outLength > 0) static_cast<uint8_t*>(out)[0] = 0x5A;
        return {false, 995, 1};
    }

private:
    Recorded& record_;
};

// Opens succeed for "QlxUsb-0" only, failing otherwise with 5.
class FakeProvider final : public DeviceProvider {
public:
    std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                           uint32_t& error) override {
        record.opened.emplace_back(name);
        record.access = access;
        record.share = share;
        if (name != driver::DEVICE_NAME) {
            error = 5;
            return nullptr;
        }
        return std::make_unique<FakeConnection>(record);
    }
    Recorded record;
};

class DeviceBackends : public ::testing::Test {
protected:
    void SetUp() override { unsetEnv("KESTREL_SIM"); }
    void TearDown() override {
        installDeviceProvider(nullptr);
        unsetEnv("KESTREL_SIM");
    }
};

const std::string DEVICE_PATH = std::string(driver::DEVICE_PATH_PREFIX) + driver::DEVICE_NAME;

}  // namespace

TEST_F(DeviceBackends, InstalledProviderGetsTheNameWithoutPrefixAndEveryRequest) {
    auto provider = std::make_shared<FakeProvider>();
    installDeviceProvider(provider);

    EXPECT_TRUE(DeviceHandle::open(driver::DEVICE_NAME, 0, 0).valid());
    DeviceHandle handle = DeviceHandle::open(DEVICE_PATH, driver::ACCESS_READ, driver::SHARE_WRITE);
    ASSERT_TRUE(handle.valid());
    EXPECT_EQ(handle.openError(), 0u);
    EXPECT_EQ(provider->record.opened, (std::vector<std::string>{"QlxUsb-0", "QlxUsb-0"}));
    EXPECT_EQ(provider->record.access, driver::ACCESS_READ);
    EXPECT_EQ(provider->record.share, driver::SHARE_WRITE);

    uint8_t in[4] = {};
    uint8_t out[64] = {};
    const ControlResult result = handle.control(driver::CTL_BULK_READ, in, 4, out, 64);
    EXPECT_EQ(provider->record.code, driver::CTL_BULK_READ);
    EXPECT_EQ(provider->record.inLength, 4u);
    EXPECT_EQ(provider->record.outLength, 64u);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, 995u);
    EXPECT_EQ(result.bytes, 1u);
    EXPECT_EQ(out[0], 0x5A);
}

TEST_F(DeviceBackends, FailedOrClosedHandleRefusesRequests) {
    installDeviceProvider(std::make_shared<FakeProvider>());
    DeviceHandle missing = DeviceHandle::open("\\\\.\\QlxUsb-1", driver::ACCESS_WRITE, driver::SHARE_WRITE);
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(missing.openError(), 5u);
    EXPECT_EQ(missing.control(driver::CTL_RESET_PIPE, nullptr, 0, nullptr, 0).error, 6u);

    DeviceHandle handle = DeviceHandle::open(DEVICE_PATH, driver::ACCESS_WRITE, driver::SHARE_WRITE);
    ASSERT_TRUE(handle.valid());
    handle.close();
    EXPECT_FALSE(handle.valid());
    EXPECT_EQ(handle.control(driver::CTL_RESET_PIPE, nullptr, 0, nullptr, 0).error, 6u);
}

TEST_F(DeviceBackends, WithoutSimulatorNoDeviceIsFound) {
    // No installed backend, no KESTREL_SIM: the OS driver, which has no
    // device here (the null backend on POSIX).
    const DeviceHandle handle = DeviceHandle::open(DEVICE_PATH, driver::ACCESS_WRITE, driver::SHARE_WRITE);
    EXPECT_FALSE(handle.valid());
    EXPECT_EQ(handle.openError(), driver::ERR_FILE_NOT_FOUND);

    uint32_t error = 0;
    EXPECT_FALSE(makeNullProvider()->open(driver::DEVICE_NAME, 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
}

TEST_F(DeviceBackends, SimulatorVariableSelectsTheKsimClientUnlessAProviderIsInstalled) {
    auto listener = listenOn(*parseEndpoint("tcp:127.0.0.1:0"));
    ASSERT_TRUE(listener);
    std::string name;
    Thread server([&] {
        if (auto socket = listener->accept()) {
            uint8_t head[20];
            if (!socket->receiveAll(head, sizeof head)) return;
            name.resize(head[16]);
            if (!socket->receiveAll(name.data(), name.size())) return;
            const uint8_t refused[4] = {2, 0, 0, 0};
            (void)socket->sendAll(refused, sizeof refused);
        }
    });
    setEnv("KESTREL_SIM", listener->boundEndpoint().toString());

    auto provider = std::make_shared<FakeProvider>();
    installDeviceProvider(provider);
    EXPECT_TRUE(DeviceHandle::open(DEVICE_PATH, 0, 0).valid());
    installDeviceProvider(nullptr);

    const DeviceHandle handle = DeviceHandle::open(DEVICE_PATH, 0, 0);
    listener->close();
    server.join();
    EXPECT_EQ(name, "QlxUsb-0");  // reached the server
    EXPECT_FALSE(handle.valid());
    EXPECT_EQ(handle.openError(), 2u);
    EXPECT_EQ(provider->record.opened.size(), 1u);
}
