#include "tests/usblink/served_device.h"

#include "platform/ksim_protocol.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <chrono>
#include <vector>

namespace kestrel::usblink::test {

namespace {

constexpr uint32_t ANSWER_BYTES = 16384;
constexpr uint32_t POLL_MS = 5;

// The --listen argument for a socket kind; empty for an unknown kind.
std::string listenArgument(const std::string& folder, const std::string& kind) {
    if (kind == "tcp") return "tcp:127.0.0.1:0";
    if (kind == "unix") return "unix:" + sim::folderFile(folder, "ksim.sock");
    return {};
}

}  // namespace

std::unique_ptr<ServedDevice> ServedDevice::start(const std::string& folder, const std::string& kind,
                                                  std::string& error) {
    const std::string listen = listenArgument(folder, kind);
    if (listen.empty()) {
        error = "unknown KSIM socket kind '" + kind + "' (tcp or unix)";
        return nullptr;
    }
    const std::string portFile = sim::folderFile(folder, "daemon.endpoint");
    std::unique_ptr<ServedDevice> device(new ServedDevice);
    device->daemon_ = platform::ChildProcess::spawn(sim::test::siblingProgram("kestrel-simd"),
                                                    {folder, "--listen", listen, "--port-file", portFile}, &error);
    if (!device->daemon_) return nullptr;

    // The daemon writes the endpoint it listens on, with a final newline,
    // once it accepts connections.
    std::string endpoint;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(sim::test::PATIENCE_MS);
    while (endpoint.empty() && std::chrono::steady_clock::now() < deadline) {
        const auto text = sim::readTextFile(portFile);
        if (text && !text->empty() && text->back() == '\n') {
            endpoint = text->substr(0, text->find_first_of("\r\n"));
        } else if (device->daemon_->wait(POLL_MS)) {
            error = "kestrel-simd ended before it listened on " + listen;
            return nullptr;
        }
    }
    if (endpoint.empty()) {
        error = "kestrel-simd did not listen on " + listen;
        return nullptr;
    }
    device->provider_ = platform::makeKsimProvider(endpoint);
    uint32_t openError = 0;
    device->control_ = device->provider_->open(sim::CONTROL_NAME, 0, 0, openError);
    if (!device->control_) {
        error = "no control handle on " + endpoint + ": error " + std::to_string(openError);
        return nullptr;
    }
    return device;
}

ServedDevice::~ServedDevice() {
    control_.reset();
    if (daemon_) {
        daemon_->kill();
        (void)daemon_->wait(sim::test::PATIENCE_MS);
    }
}

std::string ServedDevice::command(const std::string& text) {
    std::vector<char> answer(ANSWER_BYTES);
    std::lock_guard lock(controlMutex_);
    const auto result = control_->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                          answer.data(), ANSWER_BYTES);
    return result.ok ? std::string(answer.data(), result.bytes)
                     : "error: request failed (" + std::to_string(result.error) + ")";
}

}  // namespace kestrel::usblink::test
