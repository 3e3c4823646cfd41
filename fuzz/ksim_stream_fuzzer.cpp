// Fuzz target: the device daemon's KSIM server reading one connection's
// stream. The fuzzer's bytes are everything a client sends on one
// connection (the open request, then requests and their payloads), served by
// a KsimServer over a freshly opened simulated device (1 MB card, main
// firmware running). The connection is an in-memory socket: its reads take
// the input and end with it; what the server sends is dropped.
//
// A request that waits in the device for an answer that can never come (a
// bulk read with nothing to read) is ended by closing the server, which
// cancels the connection's device handle; the rest of the stream is then
// served against the cancelled handle. The device folder is put back to
// its pristine state before every input that follows one that wrote to it.
#include "fuzz/fuzz_support.h"
#include "platform/socket.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"
#include "sim/sim_device.h"

#include <chrono>
#include <condition_variable>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

namespace kestrel::fuzz {
namespace {

// Set once the server has let go of the connection.
struct ConnectionEnd {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
};

class StreamSocket final : public platform::Socket {
public:
    StreamSocket(const uint8_t* data, size_t size, ConnectionEnd& end) : data_(data), size_(size), end_(end) {}
    ~StreamSocket() override {
        std::lock_guard lock(end_.mutex);
        end_.ended = true;
        end_.changed.notify_all();
    }

    bool sendAll(const void*, size_t) override { return !shut_; }
    bool receiveAll(void* out, size_t length) override {
        if (shut_ || length > size_ - at_) {
            at_ = size_;
            return false;
        }
        if (length > 0) std::memcpy(out, data_ + at_, length);
        at_ += length;
        return true;
    }
    // Called by the server's close() from another thread while the serving
    // thread may be inside the device: only the flag is touched.
    void shutdown() override { shut_ = true; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    std::atomic<bool> shut_{false};
    ConnectionEnd& end_;
};

// Hands out the one connection, then reports the listener closed.
class OneConnectionListener final : public platform::Listener {
public:
    explicit OneConnectionListener(std::unique_ptr<platform::Socket> socket) : socket_(std::move(socket)) {}
    std::unique_ptr<platform::Socket> accept() override { return std::move(socket_); }
    platform::Endpoint boundEndpoint() const override { return {}; }
    void close() override {}

private:
    std::unique_ptr<platform::Socket> socket_;
};

class KsimTarget {
public:
    KsimTarget() {
        prepareEnvironment();
        makeDeviceFolder(folder_.path(), 1);
        for (const char* name : {sim::NAND_FILE, sim::EEPROM_FILE, sim::CONFIG_FILE})
            pristine_.push_back({folder_.file(name), readWholeFile(folder_.file(name))});
    }

    void run(const uint8_t* data, size_t size) {
        if (dirty_) restoreFolder();
        std::string error;
        auto device = sim::SimDevice::openFolder(folder_.path(), &error);
        if (!device) fail("device: " + error);
        ConnectionEnd end;
        {
            sim::KsimServer server(device, std::make_unique<OneConnectionListener>(
                                               std::make_unique<StreamSocket>(data, size, end)));
            waitForEnd(end, *device, server);
            server.close();
        }
        const sim::SimCounters counters = device->counters();
        dirty_ = counters.pagePrograms != 0 || counters.blockErases != 0 || counters.eepromWrites != 0;
    }

private:
    // Until the server is done with the stream; a transfer that stays
    // blocked in the device closes the server (ending it).
    static void waitForEnd(ConnectionEnd& end, sim::SimDevice& device, sim::KsimServer& server) {
        std::unique_lock lock(end.mutex);
        int blockedChecks = 0;
        while (!end.ended) {
            if (end.changed.wait_for(lock, std::chrono::microseconds(500), [&] { return end.ended; })) break;
            blockedChecks = device.counters().pendingTransfers > 0 ? blockedChecks + 1 : 0;
            if (blockedChecks >= 2) {
                lock.unlock();
                server.close();
                lock.lock();
            }
        }
    }

    void restoreFolder() {
        for (const auto& [path, bytes] : pristine_) writeWholeFile(path, bytes);
    }

    TempFolder folder_;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> pristine_;
    bool dirty_ = false;
};

}  // namespace
}  // namespace kestrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kestrel::fuzz::KsimTarget target;
    target.run(data, size);
    return 0;
}
