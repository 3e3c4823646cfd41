// Stream sockets on Windows: TCP through Winsock. Unix-domain endpoints parse
// but cannot be listened on or connected to.
#include "platform/socket.h"

#include "platform/receive_buffer.h"
#include "platform/win32/system_message.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace kestrel::platform {

namespace {

// Winsock is started once per process and stays up until it ends.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ok_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

bool winsockReady(std::string* error) {
    static const WinsockSession session;
    if (!session.ok() && error) *error = "Winsock could not be started";
    return session.ok();
}

void setError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + win32::systemMessage(static_cast<DWORD>(WSAGetLastError()));
}

// RAII owner of a SOCKET that another thread may close to wake a call blocked
// on it (the documented way to cancel a blocking Winsock call).
class SharedSocket {
public:
    explicit SharedSocket(SOCKET socket) : socket_(socket) {}
    ~SharedSocket() { close(); }
    SharedSocket(const SharedSocket&) = delete;
    SharedSocket& operator=(const SharedSocket&) = delete;

    SOCKET get() const { return socket_.load(); }
    // Ends both directions first, which wakes a thread blocked on the socket.
    void close() {
        const SOCKET socket = socket_.exchange(INVALID_SOCKET);
        if (socket == INVALID_SOCKET) return;
        ::shutdown(socket, SD_BOTH);
        closesocket(socket);
    }
    // For an owner that no other thread is using: a plain closesocket, a
    // graceful close that sends what is queued and then the end of the
    // stream, as the shutdown does, in one call fewer.
    void release() {
        const SOCKET socket = socket_.exchange(INVALID_SOCKET);
        if (socket != INVALID_SOCKET) closesocket(socket);
    }

private:
    std::atomic<SOCKET> socket_;
};

SOCKET newSocket(int family) {
    // Not inherited: a child process must not keep our connections open.
    // Made so at creation: changing the flag afterwards costs two more
    // calls into the kernel (round trips to the wine server) per socket.
    const SOCKET socket = WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket != INVALID_SOCKET) return socket;
    // Systems older than Windows 7 SP1 refuse the flag.
    const SOCKET plain = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (plain != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(plain), HANDLE_FLAG_INHERIT, 0);
    return plain;
}

void disableNagle(SOCKET socket) {
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// Largest piece handed to one send or recv call (they take an int length).
constexpr size_t MAX_PIECE = 1u << 30;

class Win32Socket final : public Socket {
public:
    explicit Win32Socket(SOCKET socket) : socket_(socket) {}
    ~Win32Socket() override { socket_.release(); }

    bool sendAll(const void* data, size_t length) override {
        const auto* bytes = static_cast<const char*>(data);
        while (length > 0) {
            const int piece = static_cast<int>(length < MAX_PIECE ? length : MAX_PIECE);
            const int sent = ::send(socket_.get(), bytes, piece, 0);
            if (sent <= 0) return false;
            bytes += sent;
            length -= static_cast<size_t>(sent);
        }
        return true;
    }

    bool receiveAll(void* data, size_t length) override {
        return buffer_.receiveAll(data, length, [this](void* into, size_t room) -> ptrdiff_t {
            const int piece = static_cast<int>(room < MAX_PIECE ? room : MAX_PIECE);
            return ::recv(socket_.get(), static_cast<char*>(into), piece, 0);
        });
    }

    void shutdown() override { socket_.close(); }

private:
    SharedSocket socket_;
    detail::ReceiveBuffer buffer_;
};

class Win32Listener final : public Listener {
public:
    Win32Listener(SOCKET socket, Endpoint bound) : socket_(socket), bound_(std::move(bound)) {}

    std::unique_ptr<Socket> accept() override {
        for (;;) {
            const SOCKET listening = socket_.get();
            if (listening == INVALID_SOCKET) return nullptr;
            const SOCKET client = ::accept(listening, nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                SetHandleInformation(reinterpret_cast<HANDLE>(client), HANDLE_FLAG_INHERIT, 0);
                disableNagle(client);
                return std::make_unique<Win32Socket>(client);
            }
            if (WSAGetLastError() != WSAECONNRESET) return nullptr;  // a client that gave up: wait for the next
        }
    }

    Endpoint boundEndpoint() const override { return bound_; }
    void close() override { socket_.close(); }

private:
    SharedSocket socket_;
    Endpoint bound_;
};

std::vector<addrinfo> resolved(const addrinfo* list) {
    std::vector<addrinfo> entries;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) entries.push_back(*entry);
    return entries;
}

// Resolves `endpoint` and calls `use` for each address until it succeeds.
template <typename Use>
bool forEachAddress(const Endpoint& endpoint, bool passive, std::string* error, Use&& use) {
    if (!winsockReady(error)) return false;
    if (endpoint.kind == Endpoint::Kind::Unix) {
        if (error) *error = "Unix-domain sockets (" + endpoint.toString() + ") are not supported on Windows";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(endpoint.port);
    if (getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &list) != 0) {
        setError(error, "cannot resolve " + endpoint.host);
        return false;
    }
    bool done = false;
    for (const addrinfo& entry : resolved(list)) {
        if ((done = use(entry))) break;
    }
    freeaddrinfo(list);
    return done;
}

uint16_t boundPort(SOCKET socket) {
    sockaddr_storage storage{};
    int length = sizeof storage;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return 0;
}

}  // namespace

std::unique_ptr<Socket> connectTo(const Endpoint& endpoint, std::string* error) {
    std::unique_ptr<Socket> result;
    forEachAddress(endpoint, false, error, [&](const addrinfo& entry) {
        const SOCKET socket = newSocket(entry.ai_family);
        if (socket == INVALID_SOCKET) {
            setError(error, "socket");
            return false;
        }
        if (::connect(socket, entry.ai_addr, static_cast<int>(entry.ai_addrlen)) != 0) {
            setError(error, "connect to " + endpoint.toString());
            closesocket(socket);
            return false;
        }
        disableNagle(socket);
        result = std::make_unique<Win32Socket>(socket);
        return true;
    });
    return result;
}

std::unique_ptr<Listener> listenOn(const Endpoint& endpoint, std::string* error) {
    std::unique_ptr<Listener> result;
    forEachAddress(endpoint, true, error, [&](const addrinfo& entry) {
        const SOCKET socket = newSocket(entry.ai_family);
        if (socket == INVALID_SOCKET) {
            setError(error, "socket");
            return false;
        }
        // Exclusive rather than SO_REUSEADDR, which on Windows would let a
        // second server bind a port that is in use.
        const BOOL on = TRUE;
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        if (::bind(socket, entry.ai_addr, static_cast<int>(entry.ai_addrlen)) != 0 || ::listen(socket, SOMAXCONN) != 0) {
            setError(error, "listen on " + endpoint.toString());
            closesocket(socket);
            return false;
        }
        Endpoint bound = endpoint;
        bound.port = boundPort(socket);
        result = std::make_unique<Win32Listener>(socket, std::move(bound));
        return true;
    });
    return result;
}

}  // namespace kestrel::platform
