// The KSIM client backend: every open handle is one socket connection to a
// simulated device, and every control request one message exchange on it
// (see ksim_protocol.h).
#include "platform/byte_order.h"
#include "platform/debug_text.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"
#include "platform/socket.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::platform {

namespace {

constexpr size_t OPEN_HEADER = 20;     // magic, version, access, share, name length
constexpr size_t REQUEST_HEADER = 12;  // code, input length, output length
constexpr size_t REPLY_HEADER = 12;    // ok, last error, bytes returned

void trace(const std::string& text) { debugText(("ksim: " + text + "\n").c_str()); }

class KsimConnection final : public DeviceConnection {
public:
    // Closing the socket ends the connection (no thread but the owner's uses it).
    explicit KsimConnection(std::unique_ptr<Socket> socket) : socket_(std::move(socket)) {}

    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength) override {
        if (broken_) return notConnected();
        if ((in == nullptr && inLength != 0) || (out == nullptr && outLength != 0) ||
            inLength > ksim::MAX_TRANSFER || outLength > ksim::MAX_TRANSFER)
            return {false, driver::ERR_INVALID_PARAMETER, 0};
        const bool sendsOutput = driver::driverReadsOutput(code);
        if (!sendRequest(code, in, inLength, out, outLength, sendsOutput)) return breakConnection("send failed");
        return receiveReply(out, outLength, sendsOutput);
    }

private:
    static ControlResult notConnected() { return {false, driver::ERR_DEVICE_NOT_CONNECTED, 0}; }

    ControlResult breakConnection(const char* why) {
        trace(why);
        broken_ = true;
        socket_->shutdown();
        return notConnected();
    }

    // The whole request goes out in one send: header, input, and the output
    // buffer when the driver reads it.
    bool sendRequest(uint32_t code, const void* in, uint32_t inLength, const void* out, uint32_t outLength,
                     bool sendsOutput) {
        request_.resize(REQUEST_HEADER + inLength + (sendsOutput ? outLength : 0));
        storeLe32(request_.data(), code);
        storeLe32(request_.data() + 4, inLength);
        storeLe32(request_.data() + 8, outLength);
        if (inLength != 0) std::memcpy(request_.data() + REQUEST_HEADER, in, inLength);
        if (sendsOutput && outLength != 0) std::memcpy(request_.data() + REQUEST_HEADER + inLength, out, outLength);
        return socket_->sendAll(request_.data(), request_.size());
    }

    ControlResult receiveReply(void* out, uint32_t outLength, bool sendsOutput) {
        uint8_t header[REPLY_HEADER];
        if (!socket_->receiveAll(header, sizeof header)) return breakConnection("connection lost");
        const uint32_t ok = loadLe32(header);
        const uint32_t error = loadLe32(header + 4);
        const uint32_t bytes = loadLe32(header + 8);
        // A reply that breaks the protocol leaves the stream out of step, so
        // the connection is given up.
        if (ok > 1 || bytes > outLength) return breakConnection("malformed reply");
        if (!sendsOutput && bytes != 0 && !socket_->receiveAll(out, bytes)) return breakConnection("connection lost");
        return {ok == 1, ok == 1 ? 0 : error, bytes};
    }

    std::unique_ptr<Socket> socket_;
    std::vector<uint8_t> request_;
    bool broken_ = false;
};

class KsimProvider final : public DeviceProvider {
public:
    explicit KsimProvider(std::string_view endpointText) {
        std::string error;
        endpoint_ = parseEndpoint(endpointText, &error);
        if (!endpoint_) trace("bad endpoint: " + error);
    }

    std::unique_ptr<DeviceConnection> open(std::string_view name, uint32_t access, uint32_t share,
                                           uint32_t& error) override {
        error = driver::ERR_FILE_NOT_FOUND;
        if (!endpoint_ || name.size() > ksim::MAX_NAME_LENGTH) return nullptr;
        std::string why;
        auto socket = connectTo(*endpoint_, &why);
        if (!socket) {
            trace("connect to " + endpoint_->toString() + " failed: " + why);
            return nullptr;
        }
        const auto answer = handshake(*socket, name, access, share);
        if (!answer) return nullptr;
        if (*answer != 0) {
            error = *answer;
            return nullptr;
        }
        return std::make_unique<KsimConnection>(std::move(socket));
    }

    std::string machineName(std::string_view name) const override {
        if (!endpoint_) return {};
        return "ksim-" + endpoint_->toString() + "-" + std::string(name);
    }

private:
    // Sends the open message; the server's answer, or nullopt when the
    // connection broke.
    static std::optional<uint32_t> handshake(Socket& socket, std::string_view name, uint32_t access,
                                             uint32_t share) {
        std::vector<uint8_t> message(OPEN_HEADER + name.size());
        std::memcpy(message.data(), ksim::MAGIC, sizeof ksim::MAGIC);
        storeLe32(message.data() + 4, ksim::VERSION);
        storeLe32(message.data() + 8, access);
        storeLe32(message.data() + 12, share);
        storeLe32(message.data() + 16, static_cast<uint32_t>(name.size()));
        if (!name.empty()) std::memcpy(message.data() + OPEN_HEADER, name.data(), name.size());
        uint8_t answer[4];
        if (!socket.sendAll(message.data(), message.size()) || !socket.receiveAll(answer, sizeof answer))
            return std::nullopt;
        return loadLe32(answer);
    }

    std::optional<Endpoint> endpoint_;
};

}  // namespace

std::shared_ptr<DeviceProvider> makeKsimProvider(std::string_view endpoint) {
    return std::make_shared<KsimProvider>(endpoint);
}

}  // namespace kestrel::platform
