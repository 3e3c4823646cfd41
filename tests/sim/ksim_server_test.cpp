// The KSIM server against clients that misbehave and a system that runs
// short: a failing accept must not end the service, and a client that dies
// while a request of its waits in the device must take that request with it.
#include "filex/filex_wire.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"
#include "platform/socket.h"
#include "sim/device_config.h"
#include "sim/ksim_server.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace kestrel::sim::test {
namespace {

// A listener whose first `failures` accepts fail as they do when the
// process is out of file descriptors.
class FailingListener final : public platform::Listener {
public:
    FailingListener(std::unique_ptr<platform::Listener> real, int failures)
        : real_(std::move(real)), failures_(failures) {}
    std::unique_ptr<platform::Socket> accept() override {
        if (failures_.fetch_sub(1) > 0) return nullptr;
        return real_->accept();
    }
    platform::Endpoint boundEndpoint() const override { return real_->boundEndpoint(); }
    void close() override { real_->close(); }
    int failuresLeft() const { return failures_.load(); }

private:
    std::unique_ptr<platform::Listener> real_;
    std::atomic<int> failures_;
};

std::unique_ptr<platform::Listener> loopbackListener() {
    const auto endpoint = platform::parseEndpoint("tcp:127.0.0.1:0");
    return endpoint ? platform::listenOn(*endpoint) : nullptr;
}

// Sends the KSIM open of the device; the server's answer, or -1 when none came.
int64_t openDevice(platform::Socket& socket) {
    const std::string name = driver::DEVICE_NAME;
    std::vector<uint8_t> open(20 + name.size());
    std::memcpy(open.data(), ksim::MAGIC, sizeof ksim::MAGIC);
    storeLe32(open.data() + 4, ksim::VERSION);
    storeLe32(open.data() + 8, driver::ACCESS_READ | driver::ACCESS_WRITE);
    storeLe32(open.data() + 12, driver::SHARE_READ | driver::SHARE_WRITE);
    storeLe32(open.data() + 16, static_cast<uint32_t>(name.size()));
    std::memcpy(open.data() + 20, name.data(), name.size());
    uint8_t answer[4];
    if (!socket.sendAll(open.data(), open.size()) || !socket.receiveAll(answer, sizeof answer)) return -1;
    return loadLe32(answer);
}

// Sends a bulk read request of the status pipe (and reads no reply).
bool requestStatusRead(platform::Socket& socket) {
    uint8_t request[16];
    storeLe32(request, driver::CTL_BULK_READ);
    storeLe32(request + 4, 4);
    storeLe32(request + 8, filex::STATUS_LENGTH);
    storeLe32(request + 12, driver::PIPE_STATUS);
    return socket.sendAll(request, sizeof request);
}

// Polls until `done` holds or `realMs` real milliseconds have passed.
template <typename Condition>
bool eventually(Condition done, uint32_t realMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class KsimServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = *defaultDeviceConfig(2, MAKER_98);
        config.fileServer = FileServerStore::Memory;
        ASSERT_TRUE(createFolder(folder_.path(), config));
        device_ = SimDevice::openFolder(folder_.path());
        ASSERT_TRUE(device_);
    }

    void serve(std::unique_ptr<platform::Listener> listener) {
        ASSERT_TRUE(listener);
        server_ = std::make_unique<KsimServer>(device_, std::move(listener));
    }

    std::unique_ptr<platform::Socket> connect() {
        return platform::connectTo(server_->endpoint());
    }

    TempFolder folder_;
    std::shared_ptr<SimDevice> device_;
    std::unique_ptr<KsimServer> server_;
};

TEST_F(KsimServerTest, FailingAcceptsArePausedThroughAndTheNextClientIsServed) {
    auto failing = std::make_unique<FailingListener>(loopbackListener(), 3);
    const FailingListener* listener = failing.get();
    serve(std::move(failing));
    auto socket = connect();
    ASSERT_TRUE(socket);
    Watchdog hang([&socket] { socket->shutdown(); }, 10000);
    ASSERT_EQ(openDevice(*socket), 0) << "the client waiting behind the failed accepts is served";
    EXPECT_LE(listener->failuresLeft(), 0);

    // And the service goes on for later clients.
    auto second = connect();
    ASSERT_TRUE(second);
    EXPECT_EQ(openDevice(*second), 0);
}

TEST_F(KsimServerTest, AClientThatDiesTakesItsWaitingReadWithIt) {
    serve(loopbackListener());
    auto dying = connect();
    ASSERT_TRUE(dying);
    ASSERT_EQ(openDevice(*dying), 0);
    ASSERT_TRUE(requestStatusRead(*dying));
    ASSERT_TRUE(eventually([this] { return device_->counters().pendingTransfers == 1; }))
        << "the status read waits in the device";
    dying.reset();  // the client dies without a word
    EXPECT_TRUE(eventually([this] { return device_->counters().pendingTransfers == 0; }))
        << "the dead client's read still waits in the device";

    // The next client's exchange gets its own status word.
    DeviceClient client(platform::makeKsimProvider(server_->endpoint().toString()));
    ASSERT_TRUE(client.open());
    Watchdog hang([this] { (void)device_->command("unplug"); }, 10000);
    std::array<uint8_t, DeviceClient::PACKET> packet{};
    filex::encodeCommand(filex::makeCommand(filex::Opcode::Sync, filex::Direction::None), packet.data());
    ASSERT_TRUE(client.sendPacket(packet));
    uint8_t word[filex::STATUS_LENGTH] = {0xFF, 0xFF, 0xFF, 0xFF};
    const auto read = client.bulkRead(driver::PIPE_STATUS, word, sizeof word);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.bytes, sizeof word);
    EXPECT_EQ(loadLe32(word), 0u);
}

}  // namespace
}  // namespace kestrel::sim::test
