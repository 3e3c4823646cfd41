// Media-layer figures: ECC throughput (the media layer's form beside the
// earlier word-wise one and the bit-by-bit definition, with a cross-check
// against the definition over millions of random blocks), and the map build and the quick and full physical formats of
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
#include "bench/ecc_word_wise.h"
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

// MB/s of `ecc` over `data` (passed over `passes` times: a small buffer
// stays in the cache, as a sector just read does), median of `runs`.
double eccThroughput(const std::function<void(const uint8_t*, uint8_t*)>& ecc, const std::vector<uint8_t>& data,
                     int runs, uint32_t& sink, uint32_t passes = 1) {
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        const uint64_t start = platform::threadCpuMicros();
        uint8_t out[3];
        for (uint32_t pass = 0; pass < passes; ++pass) {
            for (size_t offset = 0; offset + 256 <= data.size(); offset += 256) {
                ecc(data.data() + offset, out);
                sink += out[0] ^ out[1] ^ out[2];
            }
        }
        const double seconds = std::max<uint64_t>(platform::threadCpuMicros() - start, 1) / 1e6;
        rates.push_back(static_cast<double>(data.size()) * passes / (1024.0 * 1024.0) / seconds);
    }
    return bench::median(rates);
}

// Random blocks of every density (sparse, dense, random) against the
// bit-by-bit definition; returns the number that differed.
uint32_t crossCheckEcc(uint32_t blocks) {
    std::mt19937_64 random(20);
    uint8_t block[256];
    uint32_t mismatches = 0;
    for (uint32_t n = 0; n < blocks; ++n) {
        const uint64_t density = n % 4;  // 0: random, 1: sparse, 2: dense, 3: one bit
        for (auto& b : block) {
            const uint64_t r = random();
            b = static_cast<uint8_t>(density == 1 ? (r & (r >> 8) & (r >> 16)) : density == 2 ? (r | (r >> 8)) : r);
        }
        if (density == 3) {
            std::memset(block, 0, sizeof block);
            const uint64_t bit = random() % 2048;
            block[bit / 8] = static_cast<uint8_t>(1u << (bit % 8));
        }
        uint8_t fast[3];
        media::smCalcEcc(block, fast);
        const auto reference = media::test::referenceEcc(block);
        if (std::memcmp(fast, reference.data(), 3) != 0) ++mismatches;
    }
    return mismatches;
}

void benchEcc(int runs, uint32_t crossChecks) {
    std::mt19937 random(1);
    // 64 KiB passed over 1024 times: 64 MiB per run, from the cache.
    constexpr uint32_t PASSES = 1024;
    std::vector<uint8_t> big(64u << 10), small(1u << 20);
    for (auto& b : big) b = static_cast<uint8_t>(random());
    for (auto& b : small) b = static_cast<uint8_t>(random());
    // Stored ECCs of `big`, so that the check path finds good data.
    std::vector<uint8_t> stored(big.size() / 256 * 3);
    for (size_t block = 0; block < big.size() / 256; ++block) media::smCalcEcc(&big[block * 256], &stored[block * 3]);
    uint32_t sink = 0;
    const double table =
        eccThroughput([](const uint8_t* d, uint8_t* e) { media::smCalcEcc(d, e); }, big, runs, sink, PASSES);
    const double wordWise =
        eccThroughput([](const uint8_t* d, uint8_t* e) { bench::wordWiseEcc(d, e); }, big, runs, sink, PASSES);
    const uint8_t* base = big.data();
    const uint8_t* eccs = stored.data();
    const double check = eccThroughput(
        [base, eccs](const uint8_t* d, uint8_t* e) {
            e[0] = static_cast<uint8_t>(media::smCheckHalf(const_cast<uint8_t*>(d), eccs + (d - base) / 256 * 3));
            e[1] = e[2] = 0;
        },
        big, runs, sink, PASSES);
    const double plain = eccThroughput(
        [](const uint8_t* d, uint8_t* e) {
            const auto ecc = media::test::referenceEcc(d);
            std::memcpy(e, ecc.data(), 3);
        },
        small, runs, sink);
    std::printf("ECC (median of %d runs, thread CPU time)\n", runs);
    std::printf("  smCalcEcc               %10.1f MB/s\n", table);
    std::printf("  smCheckHalf (good data) %10.1f MB/s\n", check);
    std::printf("  earlier word-wise form  %10.1f MB/s\n", wordWise);
    std::printf("  bit-by-bit definition   %10.1f MB/s\n", plain);
    std::printf("  ratio to bit-by-bit     %10.1f x   (checksum %u)\n", table / plain, sink & 0xFF);
    if (crossChecks > 0) {
        const uint64_t start = platform::threadCpuMicros();
        const uint32_t mismatches = crossCheckEcc(crossChecks);
        std::printf("  cross-check: %u random blocks against the definition, %u differ (%.1f s)\n", crossChecks,
                    mismatches, (platform::threadCpuMicros() - start) / 1e6);
    }
    std::printf("\n");
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
    uint32_t crossChecks = 2000000;
    bool eccOnly = false;
    std::vector<uint32_t> sizes = {16, 128};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: media_bench [--runs N] [--sizes 16,128] [--cross-checks N] [--ecc-only]\n"
                        "ECC throughput, and map build and physical formats through the device link\n"
                        "to a simulated device in process (host CPU time against modelled device time).\n");
            return 0;
        }
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--cross-checks" && i + 1 < argc) {
            crossChecks = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--ecc-only") {
            eccOnly = true;
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
    benchEcc(5, crossChecks);
    if (eccOnly) return 0;
    const std::string firmware = bench::programFolder();
    std::printf("Media operations through the link (in-process simulated device)\n");
    for (uint32_t size : sizes) benchCard(size, runs, firmware);
    return 0;
}
