#include "sim/ksim_server.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"

#include <algorithm>
#include <optional>
#include <string>
#include <cstring>
#include <vector>

namespace kestrel::sim {

namespace {

constexpr size_t OPEN_HEADER = 20;     // magic, version, access, share, name length
constexpr size_t REQUEST_HEADER = 12;  // code, input length, output length
constexpr size_t REPLY_HEADER = 12;    // ok, error, bytes

struct OpenRequest {
    uint32_t access = 0;
    uint32_t share = 0;
    std::string name;
};

// The client's open request; nullopt when it breaks the protocol.
std::optional<OpenRequest> receiveOpen(platform::Socket& socket) {
    uint8_t head[OPEN_HEADER];
    if (!socket.receiveAll(head, sizeof head) || std::memcmp(head, ksim::MAGIC, sizeof ksim::MAGIC) != 0 ||
        loadLe32(head + 4) != ksim::VERSION || loadLe32(head + 16) > ksim::MAX_NAME_LENGTH)
        return std::nullopt;
    OpenRequest request{loadLe32(head + 8), loadLe32(head + 12), std::string(loadLe32(head + 16), '\0')};
    if (!request.name.empty() && !socket.receiveAll(request.name.data(), request.name.size())) return std::nullopt;
    return request;
}

bool sendOpenAnswer(platform::Socket& socket, uint32_t error) {
    uint8_t answer[4];
    storeLe32(answer, error);
    return socket.sendAll(answer, sizeof answer);
}

// A request on a control handle: only simulator commands.
platform::ControlResult controlHandleRequest(SimDevice& device, uint32_t code, const uint8_t* in, uint32_t inLength,
                                             uint8_t* out, uint32_t outLength) {
    if (code != ksim::CTL_SIM_COMMAND) return {false, driver::ERR_INVALID_FUNCTION, 0};
    const std::string answer = device.command(in ? std::string(reinterpret_cast<const char*>(in), inLength) : std::string());
    const auto n = static_cast<uint32_t>(std::min<size_t>(answer.size(), outLength));
    if (n > 0) std::memcpy(out, answer.data(), n);
    return {true, 0, n};
}

}  // namespace

struct KsimServer::Session {
    std::unique_ptr<platform::Socket> socket;
    std::unique_ptr<SimConnection> connection;  // null for a control handle
    bool done = false;
    platform::Thread thread;
};

KsimServer::KsimServer(std::shared_ptr<SimDevice> device, std::unique_ptr<platform::Listener> listener)
    : device_(std::move(device)), listener_(std::move(listener)) {
    acceptor_ = platform::Thread([this] { acceptLoop(); });
}

KsimServer::~KsimServer() { close(); }

void KsimServer::close() {
    {
        std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
    }
    listener_->close();
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (auto& session : sessions_) {
            if (session->socket) session->socket->shutdown();
            if (session->connection) session->connection->cancel();
        }
    }
    for (auto& session : sessions_) session->thread.join();
    sessions_.clear();
}

void KsimServer::acceptLoop() {
    while (auto socket = listener_->accept()) {
        std::lock_guard lock(mutex_);
        if (closing_) break;
        reapFinished();
        auto session = std::make_unique<Session>();
        session->socket = std::move(socket);
        Session* raw = session.get();
        sessions_.push_back(std::move(session));
        raw->thread = platform::Thread([this, raw] { serve(*raw); });
    }
}

void KsimServer::reapFinished() {
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}

void KsimServer::serve(Session& session) {
    platform::Socket& socket = *session.socket;
    if (const auto request = receiveOpen(socket)) {
        uint32_t error = driver::ERR_FILE_NOT_FOUND;
        const bool control = request->name == CONTROL_NAME;
        std::unique_ptr<SimConnection> connection;
        if (control) error = 0;
        else if (request->name == driver::DEVICE_NAME) connection = device_->open(request->access, request->share, error);
        {
            std::lock_guard lock(mutex_);
            if (closing_ && connection) connection->cancel();
            session.connection = std::move(connection);
        }
        if (sendOpenAnswer(socket, error) && error == 0) serveRequests(session);
    }
    // Closed at once (not when the session is reaped), so a client still
    // sending learns at once that the server gave up on it.
    std::lock_guard lock(mutex_);
    session.socket.reset();
    session.done = true;
}

void KsimServer::serveRequests(Session& session) {
    platform::Socket& socket = *session.socket;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> reply;
    uint8_t header[REQUEST_HEADER];
    while (socket.receiveAll(header, sizeof header)) {
        const uint32_t code = loadLe32(header);
        const uint32_t inLength = loadLe32(header + 4);
        const uint32_t outLength = loadLe32(header + 8);
        if (inLength > ksim::MAX_TRANSFER || outLength > ksim::MAX_TRANSFER) return;
        const bool sends = driver::driverReadsOutput(code);
        payload.resize(size_t{inLength} + (sends ? outLength : 0));
        if (!payload.empty() && !socket.receiveAll(payload.data(), payload.size())) return;
        reply.resize(REPLY_HEADER + (sends ? 0 : outLength));
        uint8_t* in = inLength ? payload.data() : nullptr;
        uint8_t* out = outLength == 0 ? nullptr : sends ? payload.data() + inLength : reply.data() + REPLY_HEADER;

        platform::ControlResult result;
        if (session.connection) result = session.connection->control(code, in, inLength, out, outLength);
        else result = controlHandleRequest(*device_, code, in, inLength, out, outLength);

        const uint32_t bytes = std::min(result.bytes, outLength);
        storeLe32(reply.data(), result.ok ? 1 : 0);
        storeLe32(reply.data() + 4, result.ok ? 0 : result.error);
        storeLe32(reply.data() + 8, bytes);
        if (!socket.sendAll(reply.data(), REPLY_HEADER + (sends ? 0 : bytes))) return;
    }
}

}  // namespace kestrel::sim
