#include "platform/socket.h"

#include <gtest/gtest.h>

using namespace kestrel::platform;

TEST(EndpointText, ParsesTcpAndUnixEndpoints) {
    auto tcp = parseEndpoint("tcp:127.0.0.1:5000");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->kind, Endpoint::Kind::Tcp);
    EXPECT_EQ(tcp->host, "127.0.0.1");
    EXPECT_EQ(tcp->port, 5000);

    auto any = parseEndpoint("tcp:localhost:0");
    ASSERT_TRUE(any);
    EXPECT_EQ(any->host, "localhost");
    EXPECT_EQ(any->port, 0);

    auto v6 = parseEndpoint("tcp:[::1]:65535");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 65535);

    auto local = parseEndpoint("unix:/tmp/kestrel dev.sock");
    ASSERT_TRUE(local);
    EXPECT_EQ(local->kind, Endpoint::Kind::Unix);
    EXPECT_EQ(local->path, "/tmp/kestrel dev.sock");
}

TEST(EndpointText, PrintsWhatItParses) {
    for (const char* text : {"tcp:127.0.0.1:5000", "tcp:[::1]:7", "unix:/run/k.sock"}) {
        const auto endpoint = parseEndpoint(text);
        ASSERT_TRUE(endpoint) << text;
        EXPECT_EQ(endpoint->toString(), text);
    }
}

TEST(EndpointText, RejectsMalformedInputWithAReason) {
    for (const char* bad : {"", "tcp:", "tcp:host", "tcp::5000", "tcp:host:", "tcp:host:65536", "tcp:host:-1",
                            "tcp:host:12ab", "tcp:host: 1", "tcp:[::1:5", "unix:", "udp:host:1", "TCP:host:1",
                            "127.0.0.1:5000"}) {
        std::string error;
        EXPECT_FALSE(parseEndpoint(bad, &error)) << '"' << bad << '"';
        EXPECT_FALSE(error.empty()) << '"' << bad << '"';
    }
}
