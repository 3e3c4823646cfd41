#include "tools/sim_host.h"

#include "platform/environment.h"
#include "platform/socket.h"
#include "sim/ksim_server.h"
#include "sim/sim_device.h"
#include "tools/failure.h"

namespace kestrel::cli {

namespace {

constexpr const char* LOOPBACK_ANY_PORT = "tcp:127.0.0.1:0";

}  // namespace

SimHost::SimHost(const std::string& folder) {
    std::string error;
    auto device = sim::SimDevice::openFolder(folder, &error);
    if (!device) fail("cannot open the simulated device in " + folder + ": " + error);
    const auto endpoint = platform::parseEndpoint(LOOPBACK_ANY_PORT, &error);
    auto listener = endpoint ? platform::listenOn(*endpoint, &error) : nullptr;
    if (!listener) fail("cannot serve the simulated device: " + error);
    server_ = std::make_unique<sim::KsimServer>(std::move(device), std::move(listener));
    platform::setEnv("KESTREL_SIM", server_->endpoint().toString());
}

SimHost::~SimHost() {
    server_->close();
    platform::unsetEnv("KESTREL_SIM");
}

}  // namespace kestrel::cli
