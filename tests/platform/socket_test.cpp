#include "platform/socket.h"

#include "platform/process.h"
#include "platform/thread.h"
#include "tests/platform/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

using namespace kestrel::platform;

namespace {

std::unique_ptr<Listener> loopbackListener() {
    std::string error;
    auto listener = listenOn(*parseEndpoint("tcp:127.0.0.1:0"), &error);
    EXPECT_TRUE(listener) << error;
    return listener;
}

// A connected pair: {client, server side}.
std::pair<std::unique_ptr<Socket>, std::unique_ptr<Socket>> connectedPair(Listener& listener) {
    std::unique_ptr<Socket> accepted;
    Thread acceptor([&] { accepted = listener.accept(); });
    std::string error;
    auto client = connectTo(listener.boundEndpoint(), &error);
    EXPECT_TRUE(client) << error;
    acceptor.join();
    return {std::move(client), std::move(accepted)};
}

void roundTrip(Socket& a, Socket& b) {
    std::vector<uint8_t> big(300000);
    std::iota(big.begin(), big.end(), uint8_t{0});
    std::vector<uint8_t> received(big.size());
    bool sent = false;
    {
        Thread sender([&] { sent = a.sendAll(big.data(), big.size()); });
        ASSERT_TRUE(b.receiveAll(received.data(), received.size()));
    }
    EXPECT_TRUE(sent);
    EXPECT_EQ(received, big);

    // Messages sent together come apart at any boundary, whatever the reader
    // has read ahead.
    char reply[8] = {};
    ASSERT_TRUE(b.sendAll("hello", 5));
    ASSERT_TRUE(b.sendAll("abcdefghijk", 11));
    ASSERT_TRUE(a.receiveAll(reply, 5));
    EXPECT_EQ(std::string(reply, 5), "hello");
    ASSERT_TRUE(a.receiveAll(reply, 3));
    EXPECT_EQ(std::string(reply, 3), "abc");
    std::fill(received.begin(), received.end(), 0);
    {
        Thread sender([&] { sent = b.sendAll(big.data(), big.size()); });
        ASSERT_TRUE(a.receiveAll(reply, 8));
        EXPECT_EQ(std::string(reply, 8), "defghijk");
        ASSERT_TRUE(a.receiveAll(received.data(), received.size()));
    }
    EXPECT_TRUE(sent);
    EXPECT_EQ(received, big);
}

}  // namespace

TEST(TcpSocket, RoundTripOverLoopbackOnAChosenPort) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    const Endpoint bound = listener->boundEndpoint();
    EXPECT_EQ(bound.host, "127.0.0.1");
    EXPECT_NE(bound.port, 0);
    auto [client, server] = connectedPair(*listener);
    ASSERT_TRUE(client && server);
    roundTrip(*client, *server);
}

TEST(TcpSocket, PeerGoneEndsReceiveAndSendQuietly) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    auto [client, server] = connectedPair(*listener);
    ASSERT_TRUE(client && server);
    server.reset();
    char byte = 0;
    EXPECT_FALSE(client->receiveAll(&byte, 1));
    // Writing to a closed connection fails (sooner or later) instead of
    // killing the process.
    const std::vector<uint8_t> data(65536);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) failed = !client->sendAll(data.data(), data.size());
    EXPECT_TRUE(failed);
}

// Destroying a socket is a graceful close: everything sent before reaches
// the peer, then the end of the stream.
TEST(TcpSocket, DataSentRightBeforeTheSocketGoesAllArrivesThenTheEnd) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    auto [client, server] = connectedPair(*listener);
    ASSERT_TRUE(client && server);
    std::vector<uint8_t> data(200000);
    std::iota(data.begin(), data.end(), uint8_t{7});
    bool sent = false;
    Thread sender([&, &client = client] {
        sent = client->sendAll(data.data(), data.size());
        client.reset();
    });
    std::vector<uint8_t> received(data.size());
    EXPECT_TRUE(server->receiveAll(received.data(), received.size()));
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(received, data);
    char byte = 0;
    EXPECT_FALSE(server->receiveAll(&byte, 1)) << "no end of stream after the close";
}

// A child process started while a connection is open does not keep it
// open: closing it ends the peer's stream although the child still runs.
TEST(TcpSocket, AChildProcessDoesNotInheritConnections) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    auto [client, server] = connectedPair(*listener);
    ASSERT_TRUE(client && server);
    std::string error;
    auto child = ChildProcess::spawn(test::helperProgram(), {"sleep", "60000"}, &error);
    ASSERT_TRUE(child) << error;
    client.reset();
    bool received = true;
    std::atomic<bool> ended{false};
    bool endedByTheClose = false;
    {
        Thread reader([&, &server = server] {
            char byte;
            received = server->receiveAll(&byte, 1);
            ended = true;
        });
        for (int i = 0; i < 2000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        endedByTheClose = ended;
        // Bounded: a connection the child kept open is ended here.
        if (!endedByTheClose) server->shutdown();
    }
    EXPECT_FALSE(child->wait(0).has_value()) << "the child must outlive the close for the test to mean anything";
    child->kill();
    (void)child->wait(10000);
    EXPECT_TRUE(endedByTheClose);
    EXPECT_FALSE(received);
}

TEST(TcpSocket, ShutdownWakesABlockedReceive) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    auto [client, server] = connectedPair(*listener);
    ASSERT_TRUE(client && server);
    bool received = true;
    Thread reader([&] {
        char byte;
        received = server->receiveAll(&byte, 1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    server->shutdown();
    reader.join();
    EXPECT_FALSE(received);
}

TEST(TcpListener, CloseWakesABlockedAccept) {
    auto listener = loopbackListener();
    ASSERT_TRUE(listener);
    bool accepted = true;
    Thread acceptor([&] { accepted = listener->accept() != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    listener->close();
    acceptor.join();
    EXPECT_FALSE(accepted);
}

TEST(TcpSocket, ConnectWithoutListenerFails) {
    Endpoint endpoint;
    {
        auto listener = loopbackListener();
        ASSERT_TRUE(listener);
        endpoint = listener->boundEndpoint();
    }
    std::string error;
    EXPECT_FALSE(connectTo(endpoint, &error));
    EXPECT_FALSE(error.empty());
}

#ifdef _WIN32
TEST(UnixSocket, IsRefusedWithAReasonOnWindows) {
    std::string error;
    EXPECT_FALSE(listenOn(*parseEndpoint("unix:C:/kestrel.sock"), &error));
    EXPECT_NE(error.find("not supported"), std::string::npos) << error;
    EXPECT_FALSE(connectTo(*parseEndpoint("unix:C:/kestrel.sock"), &error));
}
#else
TEST(UnixSocket, RoundTripAndOnePathPerServer) {
    const Endpoint endpoint = *parseEndpoint("unix:" + test::tempFile("kestrel-test-sock").string());
    std::string error;
    {
        auto listener = listenOn(endpoint, &error);
        ASSERT_TRUE(listener) << error;
        EXPECT_EQ(listener->boundEndpoint().path, endpoint.path);
        auto [client, server] = connectedPair(*listener);
        ASSERT_TRUE(client && server);
        roundTrip(*client, *server);
        EXPECT_FALSE(listenOn(endpoint, &error));  // a live server keeps its path
    }
    EXPECT_FALSE(std::filesystem::exists(endpoint.path));  // the listener removed its file
    auto again = listenOn(endpoint, &error);
    EXPECT_TRUE(again) << error;
}
#endif
