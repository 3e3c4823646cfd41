// Host cost of the device commands as the library carries them: every
// command goes through DeviceCommands and Link::ExecuteSM (watchdog
// handshake, bounce buffer, trace call) to the simulated device, reached
// through the in-process provider. For each kind of command the host CPU
// time per command is set beside the device time the simulator models for
// it; the host's share should stay at or below 5 %.
//
//   link_command_bench [--runs N] [--commands N]
//
// A run carries N commands of one kind; each figure is the median, over the
// runs, of a run's mean per command. CPU time is that of the whole process:
// the simulated device, which runs in this process, and the watchdog thread
// are included, so the library's own share is at most the figure shown.
#include "platform/clock.h"
#include "platform/cpu_time.h"
#include "platform/device_provider.h"
#include "platform/module.h"
#include "sim/device_folder.h"
#include "sim/sim_device.h"
#include "usblink/usb_device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

namespace fs = std::filesystem;

constexpr double TARGET_SHARE = 0.05;
constexpr uint32_t BLOCKS = 1024;          // the 16 MB card of the bench
constexpr uint32_t PAGES_PER_BLOCK = 32;
constexpr uint32_t FIRST_BLOCK = 1;        // block 0 is left alone
constexpr uint16_t PROGRAM_BYTES = 528;    // data and spare area of a 512-byte page
constexpr int READY_POLLS = 10000;

struct Options {
    int runs = 21;
    int commands = 500;
};

struct Figures {
    double cpuMicros = 0;       // host CPU per command
    double wallMicros = 0;      // elapsed per command
    double modelledMicros = 0;  // modelled device time per command
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// A fresh 16 MB device in a temporary folder, served in process.
class InProcessDevice {
public:
    ~InProcessDevice() {
        platform::installDeviceProvider(nullptr);
        device_.reset();
        sim_.reset();
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

    bool start(std::string& error) {
        std::random_device seed;
        const std::string tag = std::to_string(seed());
        folder_ = (fs::temp_directory_path() / ("kestrel-link-bench-" + tag)).string();
        const auto config = sim::defaultDeviceConfig(16, sim::MAKER_EC);
        if (!config || !sim::createDeviceFolder(folder_, *config, &error)) return false;
        sim_ = sim::SimDevice::openFolder(folder_, &error);
        if (!sim_) return false;
        platform::installDeviceProvider(sim::makeInProcessProvider(sim_));

        usblink::LinkNames names;  // events of this run's own
        names.goEvent = "link-command-bench-" + tag + "-go";
        names.doneEvent = "link-command-bench-" + tag + "-done";
        device_ = std::make_unique<usblink::UsbDevice>(
            platform::moduleFolder(reinterpret_cast<const void*>(&median)), names);
        if (device_->init() != 1) {
            error = "the device did not start with the file-system firmware (vxb_ffs.bix beside the bench?)";
            return false;
        }
        return true;
    }

    usblink::DeviceCommands& commands() { return device_->commands(); }
    uint64_t modelledMicros() const { return sim_->counters().modelledMicros; }
    uint64_t deviceCommands() const { return sim_->counters().commands; }

    // Erases `blocks` blocks from FIRST_BLOCK on, for the programs.
    bool eraseBlocks(uint32_t blocks) {
        for (uint32_t block = FIRST_BLOCK; block < FIRST_BLOCK + blocks; ++block)
            if (!commands().eraseBlock(0, block * PAGES_PER_BLOCK) || !waitReady()) return false;
        return true;
    }

private:
    bool waitReady() {
        uint8_t status[usblink::STATUS_ANSWER_LENGTH] = {};
        for (int poll = 0; poll < READY_POLLS; ++poll) {
            if (!commands().getStatus(0, status)) return false;
            if (status[1] & 0x40) return (status[1] & 0x01) == 0;
        }
        return false;
    }

    std::string folder_;
    std::shared_ptr<sim::SimDevice> sim_;
    std::unique_ptr<usblink::UsbDevice> device_;
};

// Runs `command` options.runs times options.commands times; false when a
// command fails or the device did not see each one.
bool measure(InProcessDevice& bench, const Options& options, const std::function<bool()>& command, Figures& figures) {
    for (int i = 0; i < options.commands / 10 + 1; ++i)  // warm up
        if (!command()) return false;
    std::vector<double> cpu, wall, modelled;
    const uint64_t commandsBefore = bench.deviceCommands();
    for (int run = 0; run < options.runs; ++run) {
        const uint64_t cpu0 = platform::processCpuMicros();
        const uint64_t wall0 = platform::realMicros();
        const uint64_t modelled0 = bench.modelledMicros();
        for (int i = 0; i < options.commands; ++i)
            if (!command()) return false;
        const double n = options.commands;
        cpu.push_back(static_cast<double>(platform::processCpuMicros() - cpu0) / n);
        wall.push_back(static_cast<double>(platform::realMicros() - wall0) / n);
        modelled.push_back(static_cast<double>(bench.modelledMicros() - modelled0) / n);
    }
    figures = {median(cpu), median(wall), median(modelled)};
    // Every command must have reached the device as one command packet.
    return bench.deviceCommands() - commandsBefore == static_cast<uint64_t>(options.runs) * options.commands;
}

void printHeader() {
    std::printf("%-11s %12s %12s %14s %10s\n", "command", "host CPU", "host wall", "device (model)",
                "CPU share");
}

void printRow(const char* name, const Figures& f) {
    const double share = f.modelledMicros > 0 ? f.cpuMicros / f.modelledMicros : 0;
    std::printf("%-11s %10.2fus %10.2fus %12.1fus %9.2f%% %s\n", name, f.cpuMicros, f.wallMicros,
                f.modelledMicros, 100.0 * share, share <= TARGET_SHARE ? "within 5%" : "OVER 5%");
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        int* target = !std::strcmp(argv[i], "--runs") ? &options.runs
                      : !std::strcmp(argv[i], "--commands") ? &options.commands
                                                             : nullptr;
        if (!target || i + 1 >= argc) return false;
        *target = std::atoi(argv[++i]);
    }
    return options.runs >= 1 && options.commands >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs("usage: link_command_bench [--runs N] [--commands N]\n"
                   "Host CPU time per device command through the link, in process, beside the\n"
                   "modelled device time (medians over the runs).\n",
                   stderr);
        return 2;
    }
    const int programs = (options.commands / 10 + 1) + options.runs * options.commands;
    const uint32_t blocks = static_cast<uint32_t>(programs) / PAGES_PER_BLOCK + 1;
    if (FIRST_BLOCK + blocks > BLOCKS) {
        std::fputs("link_command_bench: too many programs for the 16 MB card\n", stderr);
        return 2;
    }

    InProcessDevice bench;
    std::string error;
    if (!bench.start(error) || !bench.eraseBlocks(blocks)) {
        std::fprintf(stderr, "link_command_bench: %s\n", error.empty() ? "erasing failed" : error.c_str());
        return 1;
    }
    auto& commands = bench.commands();
    std::vector<uint8_t> answer(usblink::PAGE_ANSWER_LENGTH);
    std::vector<uint8_t> page(PROGRAM_BYTES);
    std::mt19937 random(7);
    for (auto& b : page) b = static_cast<uint8_t>(random());
    uint32_t nextPage = FIRST_BLOCK * PAGES_PER_BLOCK;
    const uint32_t readPage = nextPage;

    struct Kind {
        const char* name;
        std::function<bool()> command;
    };
    const Kind kinds[] = {
        {"program", [&] { return commands.writeSM(0, nextPage++, PROGRAM_BYTES, page.data()) == 1; }},
        {"read-page", [&] { return commands.readSM(0, readPage, 1, answer.data()) == 1; }},
        {"read-spare", [&] { return commands.readSMspare(0, readPage, 1, answer.data()) == 1; }},
        {"get-status", [&] { return commands.getStatus(0, answer.data()) == 1; }},
    };

    std::printf("%d runs of %d commands each; medians per command\n", options.runs, options.commands);
    printHeader();
    for (const auto& kind : kinds) {
        Figures figures;
        if (!measure(bench, options, kind.command, figures)) {
            std::fprintf(stderr, "link_command_bench: a %s command failed or never reached the device\n",
                         kind.name);
            return 1;
        }
        printRow(kind.name, figures);
    }
    return 0;
}
