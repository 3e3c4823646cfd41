// `--sim DIR`: the simulated device of a device folder, served inside this
// process on a loopback TCP port. KESTREL_SIM is set to that port for the
// whole process, so the library's device opens reach it like any KSIM
// server.
#pragma once

#include <memory>
#include <string>

namespace kestrel::sim {
class KsimServer;
}

namespace kestrel::cli {

class SimHost {
public:
    // Opens the folder, listens and sets KESTREL_SIM; fails (Failure) when
    // the folder holds no device or no port can be had.
    explicit SimHost(const std::string& folder);
    // Stops serving: after the library has closed the device.
    ~SimHost();
    SimHost(const SimHost&) = delete;
    SimHost& operator=(const SimHost&) = delete;

private:
    std::unique_ptr<sim::KsimServer> server_;
};

}  // namespace kestrel::cli
