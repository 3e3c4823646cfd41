// Copying a 4 MiB file to the simulated device through its file server and
// back, as the namespace extension copies: _open with 0x201 and 61,440-byte
// _writes onto the device, 16,384-byte _reads from it. For each direction:
// exchanges, device requests, bytes each way, the modelled device time and
// the host CPU time of this process (the filex client; the simulator runs
// in a kestrel-simd child, its card's FAT file system served from there).
// Medians over the runs; figures only, nothing here passes or fails.
//
//   filex_bench [--runs N]      (default 5)
#include "bench/served_folder.h"
#include "fatfs/file_system.h"
#include "filex/filex_client.h"
#include "media/media.h"
#include "platform/clock.h"
#include "platform/cpu_time.h"
#include "platform/device_provider.h"
#include "platform/ksim_protocol.h"
#include "platform/module.h"
#include "platform/process.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestrel;
namespace fs = std::filesystem;

constexpr uint32_t CARD_MB = 16;
constexpr uint32_t FILE_BYTES = 4u << 20;
constexpr uint32_t WRITE_BLOCK = 61440;
constexpr uint32_t READ_BLOCK = 16384;
constexpr int32_t OPEN_READ = 0;
constexpr int32_t OPEN_WRITE = 0x201;


// Device counters and host time at one moment.
struct Sample {
    uint64_t modelledUs = 0, requests = 0, bytesOut = 0, bytesIn = 0, cpuUs = 0;
};

struct Phase {
    uint64_t exchanges = 0;
    Sample used;  // end minus begin
    bool same = true;
};

// A device folder with a formatted card, served by a kestrel-simd child.
class ServedCard {
public:
    explicit ServedCard(std::string& error) {
        folder_ = (fs::temp_directory_path() / ("filex-bench-" + std::to_string(platform::realMicros()))).string();
        if (!createFormatted(error)) return;
        endpoint_ = bench::serveFolder(folder_, daemon_, error);
        if (endpoint_.empty()) return;
        uint32_t code = 0;
        provider_ = platform::makeKsimProvider(endpoint_);
        control_ = provider_->open(sim::CONTROL_NAME, 0, 0, code);
        if (!control_) error = "no control connection";
        platform::installDeviceProvider(provider_);
    }

    ~ServedCard() {
        platform::installDeviceProvider(nullptr);
        control_.reset();
        if (daemon_) {
            daemon_->kill();
            (void)daemon_->wait(10000);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    bool ok() const { return control_ != nullptr; }

    Sample sample() {
        const std::string query = "stats";
        std::vector<char> answer(8192);
        const auto result = control_->control(ksim::CTL_SIM_COMMAND, query.data(), static_cast<uint32_t>(query.size()),
                                              answer.data(), static_cast<uint32_t>(answer.size()));
        const std::string text = result.ok ? std::string(answer.data(), result.bytes) : "";
        return {sim::statValue(text, "modelled_us"), sim::statValue(text, "requests"),
                sim::statValue(text, "bytes_to_device"), sim::statValue(text, "bytes_from_device"),
                platform::processCpuMicros()};
    }

private:
    // The card formatted in this process before the server opens it.
    bool createFormatted(std::string& error) {
        const auto config = sim::defaultDeviceConfig(CARD_MB, 0xEC);
        if (!config || !sim::createDeviceFolder(folder_, *config, &error)) return false;
        auto device = sim::SimDevice::openFolder(folder_, &error);
        if (!device) return false;
        auto commands = device->directCardCommands();
        media::Media media(*commands);
        fatfs::FileSystem files(media, nullptr);
        uint32_t bad = 0;
        if (files.init() != 0 || files.formatVol("dev0:", "NO NAME", 0, &bad, {}) != 0) {
            error = "cannot format the card";
            return false;
        }
        return true;
    }

    std::string folder_;
    std::string endpoint_;
    std::unique_ptr<platform::ChildProcess> daemon_;
    std::shared_ptr<platform::DeviceProvider> provider_;
    std::unique_ptr<platform::DeviceConnection> control_;
};

Phase measure(ServedCard& card, const std::function<uint64_t()>& work) {
    const Sample begin = card.sample();
    Phase phase;
    phase.exchanges = work();
    const Sample end = card.sample();
    phase.used = {end.modelledUs - begin.modelledUs, end.requests - begin.requests, end.bytesOut - begin.bytesOut,
                  end.bytesIn - begin.bytesIn, end.cpuUs - begin.cpuUs};
    return phase;
}

// The copy onto the device; its exchanges (0 when an operation failed).
uint64_t copyTo(filex::FilexClient& client, const std::vector<uint8_t>& data) {
    const int32_t fd = client.open("/Bench file.bin", OPEN_WRITE);
    if (fd == 0 || fd == -1) return 0;
    uint64_t exchanges = 1;
    for (size_t at = 0; at < data.size(); at += WRITE_BLOCK, ++exchanges) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(WRITE_BLOCK, data.size() - at));
        if (client.write(fd, data.data() + at, n) != static_cast<int32_t>(n)) return 0;
    }
    return client.close(fd) == 0 ? exchanges + 1 : 0;
}

// The copy back; its exchanges (0 when an operation failed).
uint64_t copyFrom(filex::FilexClient& client, std::vector<uint8_t>& back) {
    back.clear();
    const int32_t fd = client.open("/Bench file.bin", OPEN_READ);
    if (fd == 0 || fd == -1) return 0;
    uint64_t exchanges = 1;
    std::vector<uint8_t> block(READ_BLOCK);
    for (;;) {
        const int32_t n = client.read(fd, block.data(), READ_BLOCK);
        ++exchanges;
        if (n < 0) return 0;
        if (n == 0) break;
        back.insert(back.end(), block.begin(), block.begin() + n);
    }
    return client.close(fd) == 0 ? exchanges + 1 : 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void printPhase(const char* name, const std::vector<Phase>& runs) {
    std::vector<double> modelled, cpu, ratio;
    bool same = true;
    for (const auto& p : runs) {
        modelled.push_back(static_cast<double>(p.used.modelledUs) / 1000.0);
        cpu.push_back(static_cast<double>(p.used.cpuUs) / 1000.0);
        ratio.push_back(100.0 * static_cast<double>(p.used.cpuUs) / static_cast<double>(std::max<uint64_t>(p.used.modelledUs, 1)));
        same = same && p.same && p.exchanges != 0;
    }
    const Phase& p = runs.front();
    std::printf("  %-28s %6llu %9llu %11llu %11llu %12.1f %11.1f %7.2f%%%s\n", name,
                static_cast<unsigned long long>(p.exchanges), static_cast<unsigned long long>(p.used.requests),
                static_cast<unsigned long long>(p.used.bytesOut), static_cast<unsigned long long>(p.used.bytesIn),
                median(modelled), median(cpu), median(ratio), same ? "" : "  (FAILED or DIFFERS)");
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: filex_bench [--runs N]\n"
                        "Copies 4 MiB to the simulated device through filex and back; figures per direction.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "filex_bench: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    std::string error;
    ServedCard card(error);
    if (!card.ok()) {
        std::fprintf(stderr, "filex_bench: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> data(FILE_BYTES);
    std::mt19937 random(8);
    for (auto& b : data) b = static_cast<uint8_t>(random());

    filex::FilexClient client(filex::FilexNames{}, false);
    std::vector<Phase> to, from;
    std::vector<uint8_t> back;
    for (int run = 0; run < runs; ++run) {
        to.push_back(measure(card, [&] { return copyTo(client, data); }));
        from.push_back(measure(card, [&] { return copyFrom(client, back); }));
        from.back().same = back == data;
    }
    std::printf("4 MiB through filex, %u MB card served by kestrel-simd (card file server); medians of %d runs\n",
                CARD_MB, runs);
    std::printf("  %-28s %6s %9s %11s %11s %12s %11s %8s\n", "copy", "exch.", "requests", "B to dev", "B from dev",
                "modelled ms", "host CPU ms", "CPU/mod.");
    printPhase("to the device (61,440 B)", to);
    printPhase("from the device (16,384 B)", from);
    return 0;
}
