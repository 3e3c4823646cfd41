// A simulated Kestrel for benchmarks: a fresh device folder, reached either
// in process or over KSIM, and the request patterns being measured.
#pragma once

#include "platform/device.h"
#include "platform/process.h"
#include "sim/sim_device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::bench {

struct Figures {
    std::string name;
    double requestsPerCommand = 0;
    double hostMicrosPerCommand = 0;      // median
    double hostMicrosPerRequest = 0;      // median / requestsPerCommand
    double modelledMicrosPerCommand = 0;  // mean over the run
};

class BenchDevice {
public:
    // `modelledMicros` reads the device's modelled clock.
    BenchDevice(std::function<uint64_t()> modelledMicros);
    [[nodiscard]] bool loadFileSystemFirmware();
    std::vector<Figures> measureAll(int iterations);

private:
    bool command(const uint8_t packet[8]);
    bool bulk(uint32_t code, uint32_t pipe, void* data, uint32_t length);
    Figures measure(const char* name, int requests, int iterations, const std::function<bool()>& body);

    platform::DeviceHandle handle_;
    std::function<uint64_t()> modelledMicros_;
};

class BenchSetup {
public:
    ~BenchSetup();
    [[nodiscard]] bool createDevice(std::string& error);
    std::unique_ptr<BenchDevice> inProcess(std::string& error);
    std::unique_ptr<BenchDevice> overKsim(std::string& error);

private:
    std::string folder_;
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<platform::ChildProcess> daemon_;
};

}  // namespace kestrel::bench
