#include "sim/ksim_server.h"

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"
#include "platform/usb/usb_wire.h"
#include "sim/ksim_request_runner.h"
#include "sim/ksim_server_usb.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <cstring>
#include <vector>

namespace kestrel::sim {

namespace {

constexpr size_t OPEN_HEADER = 20;     // magic, version, access, share, name length
constexpr size_t REQUEST_HEADER = 12;  // code, input length, output length
constexpr size_t REPLY_HEADER = 12;    // ok, error, bytes

// Pauses after a failed accept (out of descriptors, say), doubling from the
// first to the last while the failures go on.
constexpr uint32_t FIRST_ACCEPT_PAUSE_MS = 20;
constexpr uint32_t LAST_ACCEPT_PAUSE_MS = 1000;

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

// The next request of a client; false when the client went away or broke
// the protocol (a transfer over the limits).
bool receiveRequest(platform::Socket& socket, KsimRequest& request) {
    uint8_t header[REQUEST_HEADER];
    if (!socket.receiveAll(header, sizeof header)) return false;
    request.code = loadLe32(header);
    request.inLength = loadLe32(header + 4);
    request.outLength = loadLe32(header + 8);
    if (request.inLength > ksim::MAX_TRANSFER || request.outLength > ksim::MAX_TRANSFER) return false;
    const bool sends = driver::driverReadsOutput(request.code);
    request.payload.resize(size_t{request.inLength} + (sends ? request.outLength : 0));
    return request.payload.empty() || socket.receiveAll(request.payload.data(), request.payload.size());
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
    : device_(std::move(device)),
      listener_(std::move(listener)),
      usbFace_(usbModeFromEnvironment() ? std::make_shared<UsbFaceService>(device_) : nullptr) {
    acceptor_ = platform::Thread([this] { acceptLoop(); });
}

KsimServer::~KsimServer() { close(); }

void KsimServer::close() {
    {
        std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
    }
    closed_.notify_all();
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
    uint32_t pauseMs = FIRST_ACCEPT_PAUSE_MS;
    for (;;) {
        auto socket = listener_->accept();
        std::unique_lock lock(mutex_);
        if (closing_) break;
        reapFinished();
        if (!socket) {
            // Out of descriptors, or another passing failure: the client
            // waits in the listen queue until a descriptor is free again.
            const auto pause = std::chrono::milliseconds(platform::scaledMs(pauseMs));
            closed_.wait_for(lock, pause, [this] { return closing_; });
            pauseMs = std::min(pauseMs * 2, LAST_ACCEPT_PAUSE_MS);
            continue;
        }
        pauseMs = FIRST_ACCEPT_PAUSE_MS;
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
        else if (usbFace_ && request->name == platform::usb::wire::USB_FACE_NAME) {
            connection = usbFace_->open();
            error = 0;
        } else if (request->name == driver::DEVICE_NAME) {
            connection = device_->open(request->access, request->share, error);
        }
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
    {
        KsimRequestRunner runner([this, &session](KsimRequest& request) { return answer(session, request); });
        KsimRequest request;
        while (receiveRequest(socket, request)) {
            if (!runner.submit(std::move(request))) break;
        }
        // The client went away (or broke the protocol): a request of its
        // that still waits in the device ends now, before it can take an
        // answer meant for another client.
        if (session.connection) session.connection->cancel();
    }
}

bool KsimServer::answer(Session& session, KsimRequest& request) {
    const bool sends = driver::driverReadsOutput(request.code);
    const uint32_t inLength = request.inLength;
    const uint32_t outLength = request.outLength;
    std::vector<uint8_t> reply(REPLY_HEADER + (sends ? 0 : outLength));
    uint8_t* in = inLength ? request.payload.data() : nullptr;
    uint8_t* out = outLength == 0 ? nullptr : sends ? request.payload.data() + inLength : reply.data() + REPLY_HEADER;

    platform::ControlResult result;
    if (session.connection) result = session.connection->control(request.code, in, inLength, out, outLength);
    else result = controlHandleRequest(*device_, request.code, in, inLength, out, outLength);

    const uint32_t bytes = std::min(result.bytes, outLength);
    storeLe32(reply.data(), result.ok ? 1 : 0);
    storeLe32(reply.data() + 4, result.ok ? 0 : result.error);
    storeLe32(reply.data() + 8, bytes);
    return session.socket->sendAll(reply.data(), REPLY_HEADER + (sends ? 0 : bytes));
}

}  // namespace kestrel::sim
