#include "tests/sim/sim_test_support.h"

#include "platform/ksim_protocol.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace kestrel::sim::test {

namespace fs = std::filesystem;

namespace {

std::string executableFolder() { return fs::path(platform::currentExecutablePath()).parent_path().string(); }

bool onWindows() { return fs::path(platform::currentExecutablePath()).extension() == ".exe"; }

class InProcessDevice final : public TestDevice {
public:
    explicit InProcessDevice(std::shared_ptr<SimDevice> device)
        : device_(std::move(device)), provider_(makeInProcessProvider(device_)) {}
    std::shared_ptr<platform::DeviceProvider> provider() override { return provider_; }
    std::string command(const std::string& text) override { return device_->command(text); }

private:
    std::shared_ptr<SimDevice> device_;
    std::shared_ptr<platform::DeviceProvider> provider_;
};

class KsimDevice final : public TestDevice {
public:
    explicit KsimDevice(std::unique_ptr<SimDaemon> daemon)
        : daemon_(std::move(daemon)), provider_(platform::makeKsimProvider(daemon_->endpoint())) {
        uint32_t error = 0;
        control_ = provider_->open(CONTROL_NAME, 0, 0, error);
    }
    bool ready() const { return control_ != nullptr; }
    std::shared_ptr<platform::DeviceProvider> provider() override { return provider_; }
    std::string command(const std::string& text) override {
        std::vector<char> answer(16384);
        const auto r = control_->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                         answer.data(), static_cast<uint32_t>(answer.size()));
        return r.ok ? std::string(answer.data(), r.bytes) : "error: request failed";
    }

private:
    std::unique_ptr<SimDaemon> daemon_;
    std::shared_ptr<platform::DeviceProvider> provider_;
    std::unique_ptr<platform::DeviceConnection> control_;
};

}  // namespace

TempFolder::TempFolder() {
    std::random_device seed;
    const auto base = fs::temp_directory_path();
    do {
        path_ = (base / ("kestrel-sim-test-" + std::to_string(seed()))).string();
    } while (fs::exists(path_));
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::file(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::string siblingFile(const std::string& name) { return (fs::path(executableFolder()) / name).string(); }

std::string siblingProgram(const std::string& name) { return siblingFile(onWindows() ? name + ".exe" : name); }

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> readFileRange(const std::string& path, uint64_t offset, size_t length) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(length);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in) bytes.clear();
    return bytes;
}

SimDaemon::SimDaemon(const std::string& folder) {
    const std::string portFile = (fs::path(folder) / "daemon.port").string();
    process_ = platform::ChildProcess::spawn(siblingProgram("kestrel-simd"),
                                             {folder, "--listen", "tcp:127.0.0.1:0", "--port-file", portFile}, &error_);
    if (!process_) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(PATIENCE_MS);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto text = readTextFile(portFile);
        if (text && !text->empty() && text->back() == '\n') {
            endpoint_ = text->substr(0, text->find_first_of("\r\n"));
            return;
        }
        if (process_->wait(5).has_value()) {
            error_ = "kestrel-simd ended before it listened";
            return;
        }
    }
    error_ = "kestrel-simd did not write its port file";
}

SimDaemon::~SimDaemon() {
    if (!process_) return;
    process_->kill();
    (void)process_->wait(PATIENCE_MS);
}

std::string transportName(Transport transport) { return transport == Transport::InProcess ? "InProcess" : "Ksim"; }

std::unique_ptr<TestDevice> openTestDevice(Transport transport, const std::string& folder) {
    if (transport == Transport::InProcess) {
        std::string error;
        auto device = SimDevice::openFolder(folder, &error);
        if (!device) ADD_FAILURE() << "cannot open " << folder << ": " << error;
        return device ? std::make_unique<InProcessDevice>(std::move(device)) : nullptr;
    }
    auto daemon = std::make_unique<SimDaemon>(folder);
    if (daemon->endpoint().empty()) {
        ADD_FAILURE() << "kestrel-simd for " << folder << ": " << daemon->error();
        return nullptr;
    }
    auto device = std::make_unique<KsimDevice>(std::move(daemon));
    if (!device->ready()) ADD_FAILURE() << "cannot open a control handle on kestrel-simd";
    return device->ready() ? std::move(device) : nullptr;
}

bool createFolder(const std::string& folder, const DeviceConfig& config) {
    std::string error;
    const bool created = createDeviceFolder(folder, config, &error);
    if (!created) ADD_FAILURE() << "cannot create " << folder << ": " << error;
    return created;
}

PendingRequest::PendingRequest(std::function<platform::ControlResult()> request, TestDevice& device)
    : device_(device), baseline_(device.stat("pending_transfers")) {
    future_ = std::async(std::launch::async, std::move(request));
}

PendingRequest::~PendingRequest() {
    if (future_.valid() && !finished()) {
        device_.command("unplug");
        future_.wait();
    }
}

bool PendingRequest::finished() {
    return future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool PendingRequest::waitUntilBlocked() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(PATIENCE_MS);
    while (std::chrono::steady_clock::now() < deadline) {
        if (finished() || device_.stat("pending_transfers") > baseline_) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

platform::ControlResult PendingRequest::result() {
    if (future_.wait_for(std::chrono::milliseconds(PATIENCE_MS)) != std::future_status::ready) {
        ADD_FAILURE() << "a blocked request did not end";
        device_.command("unplug");
    }
    return future_.get();
}

Watchdog::Watchdog(std::function<void()> unblock, uint32_t realMs) {
    thread_ = std::thread([this, unblock = std::move(unblock), realMs] {
        std::unique_lock lock(mutex_);
        if (stopped_.wait_for(lock, std::chrono::milliseconds(realMs), [this] { return stop_; })) return;
        ADD_FAILURE() << "the test hung; unblocking it";
        unblock();
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    thread_.join();
}

std::vector<uint8_t> pattern(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> data(bytes);
    std::mt19937 random(seed);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    return data;
}

}  // namespace kestrel::sim::test
