#include "tests/filex/probe_provider.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <algorithm>

namespace kestrel::filex::test {

namespace {

class ProbeConnection final : public platform::DeviceConnection {
public:
    ProbeConnection(ProbeProvider& probe, std::unique_ptr<platform::DeviceConnection> inner, uint32_t id)
        : probe_(probe), inner_(std::move(inner)), id_(id) {}
    ~ProbeConnection() override { probe_.closed(); }

    platform::ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                    uint32_t outLength) override {
        Request request;
        request.connection = id_;
        request.code = code;
        request.outLength = outLength;
        if (in && inLength >= 4) request.pipe = loadLe32(in);
        const bool sends = driver::driverReadsOutput(code);
        if (sends && out) request.sent.assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + outLength);
        const Forward forward = [&](uint32_t length) {
            return inner_->control(code, in, inLength, out, std::min(length, outLength));
        };
        request.result = probe_.call({id_, code, request.pipe, out, outLength}, forward);
        if (!sends && out && request.result.ok) {
            const uint32_t n = std::min(request.result.bytes, outLength);
            request.received.assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + n);
        }
        const platform::ControlResult result = request.result;
        probe_.add(std::move(request));
        return result;
    }

private:
    ProbeProvider& probe_;
    std::unique_ptr<platform::DeviceConnection> inner_;
    uint32_t id_;
};

}  // namespace

std::unique_ptr<platform::DeviceConnection> ProbeProvider::open(std::string_view name, uint32_t access,
                                                                uint32_t share, uint32_t& error) {
    auto inner = inner_->open(name, access, share, error);
    std::lock_guard lock(mutex_);
    opens_.push_back({access, share, inner != nullptr});
    if (!inner) return nullptr;
    ++live_;
    return std::make_unique<ProbeConnection>(*this, std::move(inner), ++connections_);
}

void ProbeProvider::intercept(Interceptor interceptor) {
    std::lock_guard lock(mutex_);
    interceptor_ = std::move(interceptor);
}

platform::ControlResult ProbeProvider::call(const PendingCall& pending, const Forward& forward) {
    Interceptor interceptor;
    {
        std::lock_guard lock(mutex_);
        interceptor = interceptor_;
    }
    return interceptor ? interceptor(pending, forward) : forward(pending.outLength);
}

void ProbeProvider::closed() {
    std::lock_guard lock(mutex_);
    --live_;
}

uint32_t ProbeProvider::liveConnections() const {
    std::lock_guard lock(mutex_);
    return live_;
}

void ProbeProvider::add(Request request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
}

std::vector<Request> ProbeProvider::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Request> ProbeProvider::requests(uint32_t code, uint32_t pipe) const {
    std::vector<Request> matching;
    for (auto& r : requests())
        if (r.code == code && (pipe == NO_PIPE || r.pipe == pipe)) matching.push_back(std::move(r));
    return matching;
}

std::vector<Open> ProbeProvider::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

void ProbeProvider::clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    opens_.clear();
}

}  // namespace kestrel::filex::test
