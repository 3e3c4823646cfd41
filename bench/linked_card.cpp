#include "bench/linked_card.h"

#include "platform/clock.h"
#include "platform/cpu_time.h"
#include "platform/device_provider.h"
#include "platform/process.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

namespace kestrel::bench {

namespace fs = std::filesystem;

Phase operator-(Phase a, const Phase& b) {
    a.requests -= b.requests;
    a.bytesOut -= b.bytesOut;
    a.bytesIn -= b.bytesIn;
    a.erases -= b.erases;
    a.programs -= b.programs;
    a.modelledUs -= b.modelledUs;
    a.cpuUs = a.cpuUs > b.cpuUs ? a.cpuUs - b.cpuUs : 0;
    a.realMs = a.realMs > b.realMs ? a.realMs - b.realMs : 0;
    return a;
}

LinkedCard::LinkedCard(uint32_t sizeMb, const std::string& firmware) {
    folder_ = (fs::temp_directory_path() / ("kestrel-bench-" + std::to_string(std::random_device{}()))).string();
    std::string error;
    auto config = sim::defaultDeviceConfig(sizeMb, 0xEC);
    if (!config || !sim::createDeviceFolder(folder_, *config, &error)) {
        std::fprintf(stderr, "cannot create a %u MB card: %s\n", sizeMb, error.c_str());
        return;
    }
    sim_ = sim::SimDevice::openFolder(folder_, &error);
    if (!sim_) return;
    platform::installDeviceProvider(sim::makeInProcessProvider(sim_));
    device_ = std::make_unique<usblink::UsbDevice>(firmware);
    if (device_->init() != 1) {
        std::fprintf(stderr, "firmware download failed\n");
        device_.reset();
    }
}

LinkedCard::~LinkedCard() {
    device_.reset();
    platform::installDeviceProvider(nullptr);
    sim_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

Phase LinkedCard::measure(const std::function<uint32_t()>& work) {
    const auto before = sim_->counters();
    const uint64_t cpu = platform::processCpuMicros();
    const uint64_t real = platform::realMs();
    const uint32_t result = work();
    Phase phase;
    phase.realMs = platform::realMs() - real;
    phase.cpuUs = platform::processCpuMicros() - cpu;
    const auto after = sim_->counters();
    phase.requests = after.requests - before.requests;
    phase.bytesOut = after.bytesToDevice - before.bytesToDevice;
    phase.bytesIn = after.bytesFromDevice - before.bytesFromDevice;
    phase.erases = after.blockErases - before.blockErases;
    phase.programs = after.pagePrograms - before.pagePrograms;
    phase.modelledUs = after.modelledMicros - before.modelledMicros;
    if (result != 0) std::fprintf(stderr, "  (operation failed with %u)\n", result);
    return phase;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void printPhase(const char* name, uint32_t sizeMb, const std::vector<Phase>& runs) {
    std::vector<double> cpu, ratio;
    for (const auto& p : runs) {
        cpu.push_back(static_cast<double>(p.cpuUs));
        ratio.push_back(100.0 * static_cast<double>(p.cpuUs) / static_cast<double>(std::max<uint64_t>(p.modelledUs, 1)));
    }
    const Phase& p = runs.front();
    std::printf("  %3u MB %-20s %9llu req %11llu B out %11llu B in %6llu erases  modelled %9.3f s  host CPU %7.3f s "
                "(median of %zu) = %5.2f %%\n",
                sizeMb, name, static_cast<unsigned long long>(p.requests), static_cast<unsigned long long>(p.bytesOut),
                static_cast<unsigned long long>(p.bytesIn), static_cast<unsigned long long>(p.erases),
                static_cast<double>(p.modelledUs) / 1e6, median(cpu) / 1e6, runs.size(), median(ratio));
}

std::string programFolder() { return fs::path(platform::currentExecutablePath()).parent_path().string(); }

}  // namespace kestrel::bench
