// Media-layer figures: ECC throughput (table-driven against the bit-by-bit
// definition), and the map build and the quick and full physical formats of
// 16 MB and 128 MB cards through the device link to the simulated device
// in process: device requests, bytes, modelled device time, and the host's
// CPU time beside it. Figures only; nothing here passes or fails.
#include "media/ecc.h"
#include "media/media.h"
#include "platform/clock.h"
#include "platform/cpu_time.h"
#include "platform/device_provider.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/sim_device.h"
#include "tests/media/ecc_reference.h"
#include "usblink/usb_device.h"
#include "bench/linked_card.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kestrel;

// MB/s of `ecc` over `data`, median of `runs`.
double eccThroughput(const std::function<void(const uint8_t*, uint8_t*)>& ecc, const std::vector<uint8_t>& data,
                     int runs, uint32_t& sink) {
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        const uint64_t start = platform::threadCpuMicros();
        uint8_t out[3];
        for (size_t offset = 0; offset + 256 <= data.size(); offset += 256) {
            ecc(data.data() + offset, out);
            sink += out[0] ^ out[1] ^ out[2];
        }
        const double seconds = std::max<uint64_t>(platform::threadCpuMicros() - start, 1) / 1e6;
        rates.push_back(static_cast<double>(data.size()) / (1024.0 * 1024.0) / seconds);
    }
    return bench::median(rates);
}

void benchEcc(int runs) {
    std::mt19937 random(1);
    std::vector<uint8_t> big(16u << 20), small(1u << 20);
    for (auto& b : big) b = static_cast<uint8_t>(random());
    for (auto& b : small) b = static_cast<uint8_t>(random());
    uint32_t sink = 0;
    const double table = eccThroughput([](const uint8_t* d, uint8_t* e) { media::smCalcEcc(d, e); }, big, runs, sink);
    const double plain = eccThroughput(
        [](const uint8_t* d, uint8_t* e) {
            const auto ecc = media::test::referenceEcc(d);
            std::memcpy(e, ecc.data(), 3);
        },
        small, runs, sink);
    std::printf("ECC (median of %d runs, thread CPU time)\n", runs);
    std::printf("  table-driven smCalcEcc  %10.1f MB/s\n", table);
    std::printf("  bit-by-bit definition   %10.1f MB/s\n", plain);
    std::printf("  ratio                   %10.1f x   (checksum %u)\n\n", table / plain, sink & 0xFF);
}

void benchCard(uint32_t sizeMb, int runs, const std::string& firmware) {
    bench::LinkedCard card(sizeMb, firmware);
    if (!card.ok()) return;
    uint32_t bad = 0;
    // Each run on a fresh media object, which builds its maps first.
    const auto onFreshMedia = [&card](const std::function<uint32_t(media::Media&)>& work) {
        return card.measure([&] {
            media::Media media(card.device().cardCommands());
            return work(media);
        });
    };
    const auto build = [](media::Media& m) { return m.maps().smBuildMaps(0); };
    const auto quick = [&bad](media::Media& m) {
        const uint32_t r = m.maps().smBuildMaps(0);
        return r ? r : m.maps().smFormatMedia(0, 0, &bad, {});
    };
    const auto full = [&bad](media::Media& m) {
        const uint32_t r = m.maps().smBuildMaps(0);
        return r ? r : m.maps().smFormatMedia(0, 1, &bad, {});
    };
    // The format figures leave out the map build each starts with.
    std::vector<bench::Phase> builds, quicks, fulls;
    for (int run = 0; run < runs; ++run) builds.push_back(onFreshMedia(build));
    for (int run = 0; run < runs; ++run) quicks.push_back(onFreshMedia(quick) - builds[run]);
    const int fullRuns = sizeMb >= 128 ? 1 : runs;
    for (int run = 0; run < fullRuns; ++run) fulls.push_back(onFreshMedia(full) - builds[run]);
    bench::printPhase("map build", sizeMb, builds);
    bench::printPhase("quick format", sizeMb, quicks);
    bench::printPhase("full format", sizeMb, fulls);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::vector<uint32_t> sizes = {16, 128};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: media_bench [--runs N] [--sizes 16,128]\n"
                        "ECC throughput, and map build and physical formats through the device link\n"
                        "to a simulated device in process (host CPU time against modelled device time).\n");
            return 0;
        }
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const char* p = argv[++i]; *p;) {
                sizes.push_back(static_cast<uint32_t>(std::strtoul(p, const_cast<char**>(&p), 10)));
                if (*p == ',') ++p;
                else if (*p) break;
            }
        } else {
            std::fprintf(stderr, "media_bench: unknown argument %s (see --help)\n", arg.c_str());
            return 2;
        }
    }
    platform::setMessageSink(platform::consoleMessageSink);
    benchEcc(5);
    const std::string firmware = bench::programFolder();
    std::printf("Media operations through the link (in-process simulated device)\n");
    for (uint32_t size : sizes) benchCard(size, runs, firmware);
    return 0;
}
