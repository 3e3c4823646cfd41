#include "tests/usblink/request_recorder.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kestrel::usblink::test {

namespace {

bool carriesPipe(uint32_t code) {
    return code == driver::CTL_RESET_PIPE || code == driver::CTL_ABORT_PIPE ||
           code == driver::CTL_BULK_READ || code == driver::CTL_BULK_WRITE;
}

class RecordingConnection final : public platform::DeviceConnection {
public:
    RecordingConnection(std::unique_ptr<platform::DeviceConnection> inner, RequestRecorder& recorder,
                        uint32_t id)
        : inner_(std::move(inner)), recorder_(recorder), id_(id) {}

    platform::ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                    uint32_t outLength) override {
        RecordedRequest request;
        request.connection = id_;
        request.code = code;
        const auto* inBytes = static_cast<const uint8_t*>(in);
        if (in) request.in.assign(inBytes, inBytes + inLength);
        if (carriesPipe(code) && in && inLength >= 4) request.pipe = loadLe32(in);
        request.outLength = outLength;
        if (driver::driverReadsOutput(code) && out) {
            const auto* outBytes = static_cast<const uint8_t*>(out);
            request.sent.assign(outBytes, outBytes + outLength);
        }
        if (const uint32_t delay = recorder_.delayOf(code, request.pipe)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        const uint32_t allowed = recorder_.allowedLength(code, request.pipe, outLength);
        request.result = inner_->control(code, in, inLength, out, allowed);
        const platform::ControlResult result = request.result;
        recorder_.add(std::move(request));
        return result;
    }

private:
    std::unique_ptr<platform::DeviceConnection> inner_;
    RequestRecorder& recorder_;
    uint32_t id_;
};

}  // namespace

std::unique_ptr<platform::DeviceConnection> RequestRecorder::open(std::string_view name,
                                                                  uint32_t access, uint32_t share,
                                                                  uint32_t& error) {
    auto inner = inner_->open(name, access, share, error);
    if (!inner) return nullptr;
    std::lock_guard lock(mutex_);
    return std::make_unique<RecordingConnection>(std::move(inner), *this, ++opens_);
}

void RequestRecorder::shortenTransfers(uint32_t code, uint32_t pipe, uint32_t maxBytes) {
    std::lock_guard lock(mutex_);
    shortCode_ = code;
    shortPipe_ = pipe;
    shortMax_ = maxBytes;
}

void RequestRecorder::delayRequests(uint32_t code, uint32_t pipe, uint32_t realMs) {
    std::lock_guard lock(mutex_);
    delays_.push_back({{code, pipe}, realMs});
}

uint32_t RequestRecorder::delayOf(uint32_t code, uint32_t pipe) const {
    std::lock_guard lock(mutex_);
    for (const auto& [key, delay] : delays_) {
        if (key.first == code && key.second == pipe) return delay;
    }
    return 0;
}

uint32_t RequestRecorder::allowedLength(uint32_t code, uint32_t pipe, uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (shortMax_ == 0 || code != shortCode_ || pipe != shortPipe_) return length;
    return std::min(length, shortMax_);
}

void RequestRecorder::add(RecordedRequest request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }
    added_.notify_all();
}

bool RequestRecorder::waitFor(uint32_t code, uint32_t pipe, size_t count, uint32_t realMs) const {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, std::chrono::milliseconds(realMs), [&] {
        const auto matching = std::count_if(requests_.begin(), requests_.end(), [&](const RecordedRequest& r) {
            return r.code == code && (pipe == ANY_PIPE || r.pipe == pipe);
        });
        return static_cast<size_t>(matching) >= count;
    });
}

std::vector<RecordedRequest> RequestRecorder::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<RecordedRequest> RequestRecorder::requests(uint32_t code, uint32_t pipe) const {
    std::vector<RecordedRequest> found;
    for (auto& request : requests())
        if (request.code == code && (pipe == ANY_PIPE || request.pipe == pipe))
            found.push_back(std::move(request));
    return found;
}

void RequestRecorder::clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

uint32_t RequestRecorder::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

}  // namespace kestrel::usblink::test
