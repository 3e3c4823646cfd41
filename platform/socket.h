// Stream sockets for the KSIM link: TCP (both platforms) and Unix-domain
// sockets (POSIX). Endpoints are written "tcp:HOST:PORT" or "unix:PATH".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::platform {

struct Endpoint {
    enum class Kind { Tcp, Unix } kind = Kind::Tcp;
    std::string host;   // Tcp
    uint16_t port = 0;  // Tcp; 0 when listening lets the system choose
    std::string path;   // Unix

    std::string toString() const;
};

// Parses "tcp:HOST:PORT" or "unix:PATH"; nullopt with `error` on bad input.
std::optional<Endpoint> parseEndpoint(std::string_view text, std::string* error = nullptr);

// A connected stream socket (RAII). Reads and writes are whole: they return
// false when the peer closed or an error occurred.
class Socket {
public:
    virtual ~Socket() = default;
    [[nodiscard]] virtual bool sendAll(const void* data, size_t length) = 0;
    [[nodiscard]] virtual bool receiveAll(void* data, size_t length) = 0;
    // Ends both directions, waking a peer or a thread blocked in receiveAll.
    virtual void shutdown() = 0;
};

// Connects (TCP with Nagle off); null with `error` on failure.
std::unique_ptr<Socket> connectTo(const Endpoint& endpoint, std::string* error = nullptr);

class Listener {
public:
    virtual ~Listener() = default;
    // Blocks until a client connects; null once close() was called or on error.
    virtual std::unique_ptr<Socket> accept() = 0;
    // The endpoint actually bound (the chosen port when 0 was asked for).
    virtual Endpoint boundEndpoint() const = 0;
    // Stops listening and wakes a thread blocked in accept().
    virtual void close() = 0;
};

std::unique_ptr<Listener> listenOn(const Endpoint& endpoint, std::string* error = nullptr);

}  // namespace kestrel::platform
