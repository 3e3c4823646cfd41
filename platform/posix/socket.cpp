// Stream sockets on POSIX: TCP and Unix-domain.
#include "platform/socket.h"

#include "platform/posix/unique_fd.h"
#include "platform/receive_buffer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace kestrel::platform {

namespace {

using posix::UniqueFd;

std::string describe(const char* what, int code) { return std::string(what) + ": " + std::strerror(code); }

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

void disableNagle(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

class PosixSocket final : public Socket {
public:
    explicit PosixSocket(UniqueFd fd) : fd_(std::move(fd)) {}

    bool sendAll(const void* data, size_t length) override {
        const auto* bytes = static_cast<const char*>(data);
        while (length > 0) {
            // MSG_NOSIGNAL: a peer that went away must not raise SIGPIPE.
            const ssize_t sent = ::send(fd_.get(), bytes, length, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) return false;
            bytes += sent;
            length -= static_cast<size_t>(sent);
        }
        return true;
    }

    bool receiveAll(void* data, size_t length) override {
        return buffer_.receiveAll(data, length, [this](void* into, size_t room) -> ptrdiff_t {
            ssize_t received;
            do {
                received = ::recv(fd_.get(), into, room, 0);
            } while (received < 0 && errno == EINTR);
            return received;
        });
    }

    void shutdown() override { ::shutdown(fd_.get(), SHUT_RDWR); }

private:
    UniqueFd fd_;
    detail::ReceiveBuffer buffer_;
};

// A resolved address of either family, ready for bind or connect.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_UNSPEC;

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

std::optional<SocketAddress> unixAddress(const std::string& path, std::string* error) {
    SocketAddress address;
    auto* un = reinterpret_cast<sockaddr_un*>(&address.storage);
    if (path.size() >= sizeof un->sun_path) {
        setError(error, "socket path too long: " + path);
        return std::nullopt;
    }
    un->sun_family = AF_UNIX;
    std::memcpy(un->sun_path, path.c_str(), path.size() + 1);
    address.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    address.family = AF_UNIX;
    return address;
}

// The TCP addresses of `endpoint`, in resolver order.
std::vector<SocketAddress> tcpAddresses(const Endpoint& endpoint, bool passive, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(endpoint.port);
    const int result = getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &list);
    if (result != 0) {
        setError(error, "cannot resolve " + endpoint.host + ": " + gai_strerror(result));
        return {};
    }
    std::vector<SocketAddress> addresses;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = static_cast<socklen_t>(entry->ai_addrlen);
        address.family = entry->ai_family;
        addresses.push_back(address);
    }
    freeaddrinfo(list);
    return addresses;
}

std::vector<SocketAddress> addressesOf(const Endpoint& endpoint, bool passive, std::string* error) {
    if (endpoint.kind == Endpoint::Kind::Tcp) return tcpAddresses(endpoint, passive, error);
    if (auto address = unixAddress(endpoint.path, error)) return {*address};
    return {};
}

UniqueFd newSocket(int family) { return UniqueFd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

class PosixListener final : public Listener {
public:
    PosixListener(UniqueFd fd, Endpoint bound) : fd_(std::move(fd)), bound_(std::move(bound)) {}
    ~PosixListener() override {
        close();
        if (bound_.kind == Endpoint::Kind::Unix) ::unlink(bound_.path.c_str());
    }

    std::unique_ptr<Socket> accept() override {
        for (;;) {
            if (closed_) return nullptr;
            UniqueFd client(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.valid()) {
                if (bound_.kind == Endpoint::Kind::Tcp) disableNagle(client.get());
                return std::make_unique<PosixSocket>(std::move(client));
            }
            if (errno != EINTR && errno != ECONNABORTED) return nullptr;
        }
    }

    Endpoint boundEndpoint() const override { return bound_; }

    // Only shuts the socket down: that wakes a thread blocked in accept()
    // while the descriptor stays valid (and cannot be reused under it) until
    // the destructor closes it.
    void close() override {
        if (!closed_.exchange(true)) ::shutdown(fd_.get(), SHUT_RDWR);
    }

private:
    UniqueFd fd_;
    Endpoint bound_;
    std::atomic<bool> closed_{false};
};

uint16_t boundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return 0;
}

// A socket file left by a server that died would make bind fail; one that a
// live server answers on is left alone (and bind fails).
void removeStaleSocketFile(const std::string& path) {
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return;
    const auto address = unixAddress(path, nullptr);
    UniqueFd probe = newSocket(AF_UNIX);
    if (!address || !probe.valid()) return;
    if (::connect(probe.get(), address->get(), address->length) != 0 && errno == ECONNREFUSED) ::unlink(path.c_str());
}

}  // namespace

std::unique_ptr<Socket> connectTo(const Endpoint& endpoint, std::string* error) {
    const auto addresses = addressesOf(endpoint, false, error);
    for (const auto& address : addresses) {
        UniqueFd fd = newSocket(address.family);
        if (!fd.valid()) {
            setError(error, describe("socket", errno));
            continue;
        }
        int result;
        do {
            result = ::connect(fd.get(), address.get(), address.length);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            setError(error, describe(("connect to " + endpoint.toString()).c_str(), errno));
            continue;
        }
        if (endpoint.kind == Endpoint::Kind::Tcp) disableNagle(fd.get());
        return std::make_unique<PosixSocket>(std::move(fd));
    }
    return nullptr;
}

std::unique_ptr<Listener> listenOn(const Endpoint& endpoint, std::string* error) {
    if (endpoint.kind == Endpoint::Kind::Unix) removeStaleSocketFile(endpoint.path);
    const auto addresses = addressesOf(endpoint, true, error);
    for (const auto& address : addresses) {
        UniqueFd fd = newSocket(address.family);
        if (!fd.valid()) {
            setError(error, describe("socket", errno));
            continue;
        }
        int on = 1;
        if (endpoint.kind == Endpoint::Kind::Tcp) setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd.get(), address.get(), address.length) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
            setError(error, describe(("listen on " + endpoint.toString()).c_str(), errno));
            continue;
        }
        Endpoint bound = endpoint;
        if (bound.kind == Endpoint::Kind::Tcp) bound.port = boundPort(fd.get());
        return std::make_unique<PosixListener>(std::move(fd), std::move(bound));
    }
    return nullptr;
}

}  // namespace kestrel::platform
