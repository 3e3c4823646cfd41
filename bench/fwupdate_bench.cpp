// The update tool's full update (boot EEPROM from the sample image, rescue
// format, the three sample MAIN images, restart) on a 16 MB and a 128 MB
// card: for each step, the modelled device time, the device requests and
// the host CPU time of this process (the update core and the ORYX library;
// the simulator runs in a kestrel-simd child). Medians over the runs;
// figures only, nothing here passes or fails.
//
//   fwupdate_bench [--runs N]      (default 3)
#include "bench/served_folder.h"
#include "fwupdate/core/host_file.h"
#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/update_tool.h"
#include "platform/clock.h"
#include "platform/cpu_time.h"
#include "platform/device_provider.h"
#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "platform/module.h"
#include "platform/process.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestrel;
namespace fs = std::filesystem;

std::string programFolder() { return fs::path(platform::currentExecutablePath()).parent_path().string(); }

// The build's sample update files beside this program.
std::string samples(const std::string& name = "") {
    const fs::path folder = fs::path(programFolder()) / "update-samples";
    return (name.empty() ? folder : folder / name).string();
}

// Device counters and host time at one moment.
struct Sample {
    uint64_t modelledUs = 0;
    uint64_t requests = 0;
    uint64_t cpuUs = 0;
};

struct Step {
    std::string name;
    Sample begin;
    Sample end;
};

// A simulated device served by a kestrel-simd child for one run.
class ServedDevice {
public:
    ServedDevice(uint32_t sizeMb, std::string& error) {
        folder_ = (fs::temp_directory_path() / ("fwupdate-bench-" + std::to_string(platform::realMicros()))).string();
        const auto config = sim::defaultDeviceConfig(sizeMb, 0xEC);
        if (!config || !sim::createDeviceFolder(folder_, *config, &error)) {
            if (error.empty()) error = "no such card";
            return;
        }
        blocks_ = config->geometry()->blocks;
        endpoint_ = bench::serveFolder(folder_, daemon_, error);
        if (endpoint_.empty()) return;
        uint32_t code = 0;
        control_ = platform::makeKsimProvider(endpoint_)->open(sim::CONTROL_NAME, 0, 0, code);
        if (!control_) error = "no control connection";
    }

    ~ServedDevice() {
        control_.reset();
        if (daemon_) {
            daemon_->kill();
            (void)daemon_->wait(10000);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    bool ok() const { return control_ != nullptr; }
    const std::string& endpoint() const { return endpoint_; }
    uint32_t blocks() const { return blocks_; }
    const std::string& folder() const { return folder_; }

    std::string stats() {
        const std::string query = "stats";
        std::vector<char> answer(8192);
        const auto result = control_->control(ksim::CTL_SIM_COMMAND, query.data(), static_cast<uint32_t>(query.size()),
                                              answer.data(), static_cast<uint32_t>(answer.size()));
        return result.ok ? std::string(answer.data(), result.bytes) : "";
    }

    Sample sample() {
        const std::string text = stats();
        return {sim::statValue(text, "modelled_us"), sim::statValue(text, "requests"), platform::processCpuMicros()};
    }

private:
    std::string folder_;
    std::string endpoint_;
    uint32_t blocks_ = 0;
    std::unique_ptr<platform::ChildProcess> daemon_;
    std::unique_ptr<platform::DeviceConnection> control_;
};

// The update's view: both groups selected, every question answered Yes, and
// a sample of the device and the host taken whenever a new step begins.
class SteppingView final : public fwupdate::UpdateView {
public:
    explicit SteppingView(ServedDevice& device) : device_(device) {}

    void setActionText(const std::string& text) override {
        if (text.empty() || text == current_) return;
        current_ = text;
        const Sample now = device_.sample();
        if (!steps.empty()) steps.back().end = now;
        steps.push_back({text, now, now});
    }
    void setPercentText(const std::string&) override {}
    void setProgress(uint32_t) override {}
    bool isChecked(fwupdate::Choice) override { return true; }
    void disableControls() override {}
    void enableControls() override {}
    fwupdate::Answer showMessage(const fwupdate::Message& message) override {
        if (message.buttons == fwupdate::BoxButtons::YesNoDefaultNo) return fwupdate::Answer::Yes;
        std::fprintf(stderr, "  (%s: %s)\n", message.caption.c_str(), message.text.c_str());
        return fwupdate::Answer::Ok;
    }
    void pumpMessages() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}

    std::vector<Step> steps;  // the last one ("Device update was successful.") marks the end

private:
    ServedDevice& device_;
    std::string current_;
};

// One full update; its steps, or empty when it did not succeed.
std::vector<Step> runOnce(uint32_t sizeMb, uint32_t& blocks) {
    std::string error;
    ServedDevice device(sizeMb, error);
    if (!device.ok()) {
        std::fprintf(stderr, "fwupdate_bench: %s\n", error.c_str());
        return {};
    }
    blocks = device.blocks();
    platform::setEnv("KESTREL_SIM", device.endpoint());
    SteppingView view(device);
    fwupdate::OperationLog log((fs::path(device.folder()) / "log.txt").string(), nullptr);
    fwupdate::UpdateTool tool(view, fwupdate::exportedOryx(), log, fwupdate::hostFilesIn(samples()),
                              [] { return std::optional<uint32_t>{}; });
    const fwupdate::UpdateOutcome outcome = tool.RunUpdate();
    platform::unsetEnv("KESTREL_SIM");
    if (outcome != fwupdate::UpdateOutcome::Succeeded) {
        std::fprintf(stderr, "fwupdate_bench: the update did not succeed\n");
        return {};
    }
    view.steps.pop_back();  // the end marker
    return view.steps;
}

template <typename T>
T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(uint32_t sizeMb, int runs) {
    uint32_t blocks = 0;
    std::vector<std::vector<Step>> all;
    for (int run = 0; run < runs; ++run) {
        auto steps = runOnce(sizeMb, blocks);
        if (steps.empty()) return;
        all.push_back(std::move(steps));
    }
    std::printf("\n%u MB card (%u blocks), median of %d run%s\n", sizeMb, blocks, runs, runs == 1 ? "" : "s");
    std::printf("  %-38s %13s %10s %13s\n", "step", "modelled ms", "requests", "host CPU ms");
    double totalModelled = 0, dominantModelled = -1;
    uint64_t totalRequests = 0;
    double totalCpu = 0;
    std::string dominant;
    for (size_t i = 0; i < all[0].size(); ++i) {
        std::vector<double> modelled, cpu;
        std::vector<uint64_t> requests;
        for (const auto& steps : all) {
            const Step& step = steps[i];
            modelled.push_back(static_cast<double>(step.end.modelledUs - step.begin.modelledUs) / 1000.0);
            requests.push_back(step.end.requests - step.begin.requests);
            cpu.push_back(static_cast<double>(step.end.cpuUs - step.begin.cpuUs) / 1000.0);
        }
        const double m = median(modelled), c = median(cpu);
        const uint64_t r = median(requests);
        std::printf("  %-38s %13.1f %10llu %13.1f\n", all[0][i].name.c_str(), m, static_cast<unsigned long long>(r), c);
        totalModelled += m;
        totalRequests += r;
        totalCpu += c;
        if (m > dominantModelled) {
            dominantModelled = m;
            dominant = all[0][i].name;
        }
    }
    std::printf("  %-38s %13.1f %10llu %13.1f\n", "total", totalModelled, static_cast<unsigned long long>(totalRequests),
                totalCpu);
    std::printf("  dominant step: %s, %.0f%% of the modelled device time\n", dominant.c_str(),
                totalModelled > 0 ? 100.0 * dominantModelled / totalModelled : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::printf("usage: fwupdate_bench [--runs N]\n"
                        "The full update (boot EEPROM, rescue format, three MAIN files) on a 16 MB and a\n"
                        "128 MB simulated card: modelled device time, requests and host CPU time per step.\n");
            return 0;
        }
        if (argument == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "fwupdate_bench: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    // Waits (the boot EEPROM's write cycle, re-enumeration) are scaled down:
    // they cost real time, not modelled device time.
    if (!platform::getEnv("KESTREL_TIME_SCALE")) platform::setEnv("KESTREL_TIME_SCALE", "0.01");
    std::printf("fwupdate_bench: full update: boot EEPROM %ju bytes, rescue format, L1 %ju + L2 %ju + FPGA %ju bytes\n",
                static_cast<uintmax_t>(fs::file_size(samples("vxb_main.iic"))),
                static_cast<uintmax_t>(fs::file_size(samples("L1_1.BIN"))),
                static_cast<uintmax_t>(fs::file_size(samples("L2_1.MI"))),
                static_cast<uintmax_t>(fs::file_size(samples("FPGA.BIR"))));
    for (const uint32_t sizeMb : {16u, 128u}) report(sizeMb, runs);
    return 0;
}
