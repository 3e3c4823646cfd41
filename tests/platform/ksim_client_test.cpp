// The KSIM client against a scripted server: the exact bytes it sends, and
// what it makes of each kind of answer.
#include "platform/byte_order.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/socket.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

using namespace kestrel;
using namespace kestrel::platform;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes words(std::initializer_list<uint32_t> values, const std::string& tail = "") {
    Bytes bytes;
    for (const uint32_t value : values) {
        bytes.resize(bytes.size() + 4);
        storeLe32(bytes.data() + bytes.size() - 4, value);
    }
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

const Bytes OPEN_MESSAGE = words({loadLe32("KSIM"), 1, driver::ACCESS_WRITE, driver::SHARE_WRITE, 8}, "QlxUsb-0");
const Bytes PIPE_IN = words({driver::PIPE_DATA_IN});

// One connection's worth of server running the test's script on the
// accepted socket. Everything it receives is recorded; the test reads the
// record from finish(). A client that leaves the script waiting is cut off
// after a generous time, so a fault fails the test instead of hanging it.
class ScriptedServer {
public:
    using Script = std::function<void(ScriptedServer&)>;

    explicit ScriptedServer(Script script)
        : listener_(listenOn(*parseEndpoint("tcp:127.0.0.1:0"))),
          thread_([this, script = std::move(script)] {
              auto socket = listener_->accept();
              {
                  std::lock_guard lock(mutex_);
                  socket_ = std::move(socket);
              }
              if (socket_) script(*this);
          }),
          watchdog_([this] {
              std::unique_lock lock(mutex_);
              if (!finished_.wait_for(lock, std::chrono::seconds(20), [this] { return finishing_; }) && socket_)
                  socket_->shutdown();
          }) {}
    ~ScriptedServer() { finish(); }

    std::unique_ptr<DeviceConnection> open(uint32_t& error) const {
        return makeKsimProvider(listener_->boundEndpoint().toString())
            ->open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error);
    }

    bool receive(size_t length) {
        Bytes bytes(length);
        if (!socket_->receiveAll(bytes.data(), length)) return false;
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        return true;
    }
    void send(const Bytes& bytes) { (void)socket_->sendAll(bytes.data(), bytes.size()); }
    void hangUp() { socket_->shutdown(); }
    // Accepts the open; false when the client broke off.
    bool acceptOpen() {
        if (!receive(OPEN_MESSAGE.size())) return false;
        send(words({0}));
        return true;
    }

    // Waits for the script to end (closing the listener in case no client came).
    const Bytes& finish() {
        listener_->close();
        thread_.join();
        {
            std::lock_guard lock(mutex_);
            finishing_ = true;
        }
        finished_.notify_one();
        watchdog_.join();
        return received_;
    }

private:
    std::unique_ptr<Listener> listener_;
    std::mutex mutex_;
    std::condition_variable finished_;
    bool finishing_ = false;
    std::unique_ptr<Socket> socket_;
    Bytes received_;
    Thread thread_;
    Thread watchdog_;
};

struct Exchange {
    ControlResult result;
    Bytes sent;  // everything the client sent after the open message
};

// One request on a fresh handle to a server that reads `requestLength`
// bytes, answers `reply`, and records whatever else arrives until the
// handle is closed.
Exchange exchange(uint32_t code, Bytes in, void* out, uint32_t outLength, size_t requestLength, const Bytes& reply) {
    ScriptedServer server([&](ScriptedServer& s) {
        if (!s.acceptOpen() || !s.receive(requestLength)) return;
        s.send(reply);
        while (s.receive(1)) {
        }
    });
    uint32_t error = 0;
    Exchange exchange;
    if (auto connection = server.open(error))
        exchange.result = connection->control(code, in.data(), static_cast<uint32_t>(in.size()), out, outLength);
    const Bytes& received = server.finish();
    EXPECT_GE(received.size(), OPEN_MESSAGE.size());
    exchange.sent.assign(received.begin() + std::min(received.size(), OPEN_MESSAGE.size()), received.end());
    return exchange;
}

}  // namespace

TEST(KsimClientOpen, SendsTheOpenMessageAndAcceptsZero) {
    ScriptedServer server([](ScriptedServer& s) {
        if (s.acceptOpen()) s.receive(1);  // until the client closes
    });
    uint32_t error = 0xdeadbeef;
    auto connection = server.open(error);
    EXPECT_TRUE(connection);
    connection.reset();  // closing the handle closes the connection
    EXPECT_EQ(server.finish(), OPEN_MESSAGE);
}

TEST(KsimClientOpen, ServersErrorOrNoServerFailTheOpen) {
    uint32_t error = 0;
    {
        ScriptedServer server([](ScriptedServer& s) {
            if (s.receive(OPEN_MESSAGE.size())) s.send(words({5}));
            s.hangUp();
        });
        EXPECT_FALSE(server.open(error));
        EXPECT_EQ(error, 5u);
    }
    // Nothing listens on port 1; an endpoint that does not parse fails alike.
    EXPECT_FALSE(makeKsimProvider("tcp:127.0.0.1:1")->open("QlxUsb-0", 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(makeKsimProvider("no endpoint")->open("QlxUsb-0", 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
}

TEST(KsimClientRequest, ReadDirectionSendsInputOnlyAndCopiesTheReply) {
    Bytes out(80, 0xEE);
    const Exchange e = exchange(driver::CTL_BULK_READ, PIPE_IN, out.data(), 64, 16, words({1, 0, 5}, "abcde"));
    EXPECT_TRUE(e.result.ok);
    EXPECT_EQ(e.result.error, 0u);
    EXPECT_EQ(e.result.bytes, 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "abcde");
    EXPECT_EQ(out[5], 0xEE);
    EXPECT_EQ(e.sent, words({driver::CTL_BULK_READ, 4, 64, driver::PIPE_DATA_IN}));
}

TEST(KsimClientRequest, WriteDirectionSendsTheOutputBufferAndGetsNoData) {
    std::string data = "kestre";
    const Exchange e =
        exchange(driver::CTL_BULK_WRITE, words({driver::PIPE_DATA_OUT}), data.data(), 6, 22, words({1, 0, 6}));
    EXPECT_TRUE(e.result.ok);
    EXPECT_EQ(e.result.bytes, 6u);
    EXPECT_EQ(data, "kestre");
    EXPECT_EQ(e.sent, words({driver::CTL_BULK_WRITE, 4, 6, driver::PIPE_DATA_OUT}, "kestre"));
}

TEST(KsimClientRequest, FailureCarriesTheDriversError) {
    uint8_t out[64];
    const Exchange e =
        exchange(driver::CTL_BULK_READ, PIPE_IN, out, 64, 16, words({0, driver::ERR_OPERATION_ABORTED, 0}));
    EXPECT_FALSE(e.result.ok);
    EXPECT_EQ(e.result.error, driver::ERR_OPERATION_ABORTED);
    EXPECT_EQ(e.result.bytes, 0u);
}

// A reply longer than the buffer, or none at all: the stream is out of step
// or gone, and the handle answers "device not connected" from then on.
TEST(KsimClientRequest, BrokenRepliesLeaveTheHandleNotConnected) {
    for (const bool tooLong : {true, false}) {
        ScriptedServer server([&](ScriptedServer& s) {
            if (!s.acceptOpen() || !s.receive(16)) return;
            if (tooLong) s.send(words({1, 0, 5}, "abcde"));
            s.hangUp();
        });
        uint32_t error = 0;
        auto connection = server.open(error);
        ASSERT_TRUE(connection);
        Bytes out(8, 0xEE);
        const ControlResult result = connection->control(driver::CTL_BULK_READ, PIPE_IN.data(), 4, out.data(), 4);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(out, Bytes(8, 0xEE));
        EXPECT_EQ(result.error, driver::ERR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(connection->control(driver::CTL_RESET_PIPE, PIPE_IN.data(), 4, nullptr, 0).error,
                  driver::ERR_DEVICE_NOT_CONNECTED);
    }
}
