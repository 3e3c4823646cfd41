// The KSIM client against a scripted server: the exact bytes it sends, and
// what it makes of each kind of answer.
#include "platform/byte_order.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/socket.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using namespace kestrel;
using namespace kestrel::platform;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes words(std::initializer_list<uint32_t> values) {
    Bytes bytes;
    for (const uint32_t value : values) {
        uint8_t word[4];
        storeLe32(word, value);
        bytes.insert(bytes.end(), word, word + 4);
    }
    return bytes;
}

Bytes operator+(Bytes a, const std::string& text) {
    a.insert(a.end(), text.begin(), text.end());
    return a;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes OPEN_MESSAGE = Bytes{'K', 'S', 'I', 'M'} + words({1, driver::ACCESS_WRITE, driver::SHARE_WRITE, 8}) + "QlxUsb-0";

// One connection's worth of server: accepts a client, reads the open
// message, then runs the test's script. Everything it receives is recorded;
// the test reads the record after finish().
class ScriptedServer {
public:
    using Script = std::function<void(ScriptedServer&)>;

    explicit ScriptedServer(Script script)
        : listener_(listenOn(*parseEndpoint("tcp:127.0.0.1:0"))),
          thread_([this, script = std::move(script)] {
              socket_ = listener_->accept();
              if (socket_) script(*this);
          }) {}
    ~ScriptedServer() { finish(); }

    std::string endpoint() const { return listener_->boundEndpoint().toString(); }

    // Script steps.
    bool receive(size_t length) {
        Bytes bytes(length);
        if (!socket_->receiveAll(bytes.data(), length)) return false;
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        return true;
    }
    void send(const Bytes& bytes) { (void)socket_->sendAll(bytes.data(), bytes.size()); }
    void hangUp() { socket_->shutdown(); }
    // Takes whatever the client sends until it closes the connection.
    void drain() {
        while (receive(1)) {
        }
    }

    // Waits for the script to end (closing the listener in case no client came).
    const Bytes& finish() {
        listener_->close();
        thread_.join();
        return received_;
    }

private:
    std::unique_ptr<Listener> listener_;
    std::unique_ptr<Socket> socket_;
    Bytes received_;
    Thread thread_;
};

// Accepts the open, then serves `requestLength` bytes with `reply`, then
// records what else arrives.
ScriptedServer::Script answerOneRequest(size_t requestLength, Bytes reply) {
    return [=](ScriptedServer& server) {
        if (!server.receive(OPEN_MESSAGE.size())) return;
        server.send(words({0}));
        if (!server.receive(requestLength)) return;
        server.send(reply);
        server.drain();
    };
}

std::unique_ptr<DeviceConnection> openDevice(const ScriptedServer& server, uint32_t& error) {
    return makeKsimProvider(server.endpoint())->open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error);
}

}  // namespace

TEST(KsimClientOpen, SendsTheOpenMessageAndAcceptsZero) {
    ScriptedServer server([](ScriptedServer& s) {
        if (s.receive(OPEN_MESSAGE.size())) s.send(words({0}));
        s.drain();
    });
    uint32_t error = 0xdeadbeef;
    auto connection = openDevice(server, error);
    EXPECT_TRUE(connection);
    connection.reset();  // closing the handle closes the connection
    EXPECT_EQ(server.finish(), OPEN_MESSAGE);
}

TEST(KsimClientOpen, ReportsTheServersError) {
    ScriptedServer server([](ScriptedServer& s) {
        if (s.receive(OPEN_MESSAGE.size())) s.send(words({5}));
        s.hangUp();
    });
    uint32_t error = 0;
    EXPECT_FALSE(openDevice(server, error));
    EXPECT_EQ(error, 5u);
}

TEST(KsimClientOpen, NoServerMeansNoDevice) {
    std::string endpoint;
    {
        ScriptedServer gone([](ScriptedServer&) {});
        endpoint = gone.endpoint();
    }
    uint32_t error = 0;
    EXPECT_FALSE(makeKsimProvider(endpoint)->open("QlxUsb-0", 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(makeKsimProvider("no endpoint")->open("QlxUsb-0", 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
}

TEST(KsimClientRequest, ReadDirectionSendsInputOnlyAndCopiesTheReply) {
    const Bytes reply = words({1, 0, 5}) + "abcde";
    ScriptedServer server(answerOneRequest(16, reply));
    uint32_t error = 0;
    auto connection = openDevice(server, error);
    ASSERT_TRUE(connection);

    uint8_t pipe[4];
    storeLe32(pipe, driver::PIPE_DATA_IN);
    Bytes out(80, 0xEE);
    const ControlResult result = connection->control(driver::CTL_BULK_READ, pipe, 4, out.data(), 64);
    connection.reset();

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "abcde");
    EXPECT_EQ(out[5], 0xEE);
    EXPECT_EQ(server.finish(), OPEN_MESSAGE + words({driver::CTL_BULK_READ, 4, 64, driver::PIPE_DATA_IN}));
}

TEST(KsimClientRequest, WriteDirectionSendsTheOutputBufferAndGetsNoData) {
    ScriptedServer server(answerOneRequest(22, words({1, 0, 6})));
    uint32_t error = 0;
    auto connection = openDevice(server, error);
    ASSERT_TRUE(connection);

    uint8_t pipe[4];
    storeLe32(pipe, driver::PIPE_DATA_OUT);
    std::string data = "kestre";
    const ControlResult result = connection->control(driver::CTL_BULK_WRITE, pipe, 4, data.data(), 6);
    connection.reset();

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, 6u);
    EXPECT_EQ(data, "kestre");
    EXPECT_EQ(server.finish(), OPEN_MESSAGE + words({driver::CTL_BULK_WRITE, 4, 6, driver::PIPE_DATA_OUT}) + "kestre");
}

TEST(KsimClientRequest, FailureCarriesTheDriversError) {
    ScriptedServer server(answerOneRequest(16, words({0, driver::ERR_OPERATION_ABORTED, 0})));
    uint32_t error = 0;
    auto connection = openDevice(server, error);
    ASSERT_TRUE(connection);
    uint8_t pipe[4];
    storeLe32(pipe, driver::PIPE_DATA_IN);
    uint8_t out[64];
    const ControlResult result = connection->control(driver::CTL_BULK_READ, pipe, 4, out, 64);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, driver::ERR_OPERATION_ABORTED);
    EXPECT_EQ(result.bytes, 0u);
}

TEST(KsimClientRequest, ReplyLongerThanTheBufferIsRefused) {
    ScriptedServer server(answerOneRequest(16, words({1, 0, 5}) + "abcde"));
    uint32_t error = 0;
    auto connection = openDevice(server, error);
    ASSERT_TRUE(connection);
    uint8_t pipe[4];
    storeLe32(pipe, driver::PIPE_DATA_IN);
    Bytes out(8, 0xEE);
    const ControlResult result = connection->control(driver::CTL_BULK_READ, pipe, 4, out.data(), 4);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(out, Bytes(8, 0xEE));
    // The stream is out of step: the handle stays unusable.
    EXPECT_EQ(connection->control(driver::CTL_BULK_READ, pipe, 4, out.data(), 4).error,
              driver::ERR_DEVICE_NOT_CONNECTED);
}

TEST(KsimClientRequest, DroppedConnectionMeansDeviceNotConnected) {
    ScriptedServer server([](ScriptedServer& s) {
        if (s.receive(OPEN_MESSAGE.size())) s.send(words({0}));
        if (s.receive(16)) s.hangUp();
    });
    uint32_t error = 0;
    auto connection = openDevice(server, error);
    ASSERT_TRUE(connection);
    uint8_t pipe[4];
    storeLe32(pipe, driver::PIPE_DATA_IN);
    uint8_t out[64];
    ControlResult result = connection->control(driver::CTL_BULK_READ, pipe, 4, out, 64);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, driver::ERR_DEVICE_NOT_CONNECTED);
    result = connection->control(driver::CTL_RESET_PIPE, pipe, 4, nullptr, 0);
    EXPECT_EQ(result.error, driver::ERR_DEVICE_NOT_CONNECTED);
}
