// Host cost of one driver request against the simulated Kestrel, beside the
// device time the simulator models for it. Two paths: the in-process
// provider, and KSIM over loopback TCP to a kestrel-simd child process.
//
//   device_request_bench [--iterations N]
//
// Prints, per request kind, the median host time per command and per
// request, the modelled device time, and their ratio.
#include "bench/bench_device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kestrel;

namespace {

void usage() {
    std::puts(
        "usage: device_request_bench [--iterations N]\n"
        "Measures the host time per device request through the in-process\n"
        "simulator and through KSIM over loopback TCP, beside the modelled\n"
        "device time of the same request.");
}

void printHeader() {
    std::printf("%-10s %-14s %10s %10s %12s %8s\n", "path", "command", "host/cmd", "host/req",
                "device/cmd", "ratio");
}

void printRow(const char* path, const bench::Figures& f) {
    std::printf("%-10s %-14s %8.1fus %8.1fus %10.1fus %7.2f%%\n", path, f.name.c_str(),
                f.hostMicrosPerCommand, f.hostMicrosPerRequest, f.modelledMicrosPerCommand,
                100.0 * f.hostMicrosPerRequest / (f.modelledMicrosPerCommand / f.requestsPerCommand));
}

bool runPath(const char* path, bench::BenchDevice& device, int iterations) {
    if (!device.loadFileSystemFirmware()) {
        std::fprintf(stderr, "%s: the device did not come back with the file-system firmware\n",
                     path);
        return false;
    }
    for (const auto& figures : device.measureAll(iterations)) printRow(path, figures);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = 2000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            usage();
            return 0;
        }
        if (!std::strcmp(argv[i], "--iterations") && i + 1 < argc) {
            iterations = std::atoi(argv[++i]);
            continue;
        }
        std::fprintf(stderr, "device_request_bench: unknown argument '%s'\n", argv[i]);
        usage();
        return 2;
    }
    if (iterations < 10) {
        std::fprintf(stderr, "device_request_bench: --iterations must be at least 10\n");
        return 2;
    }

    bench::BenchSetup setup;
    std::string error;
    if (!setup.createDevice(error)) {
        std::fprintf(stderr, "device_request_bench: %s\n", error.c_str());
        return 1;
    }
    printHeader();
    bool ok = true;
    {
        auto device = setup.inProcess(error);
        ok = device && runPath("in-process", *device, iterations);
    }
    if (ok) {
        auto device = setup.overKsim(error);
        ok = device && runPath("ksim-tcp", *device, iterations);
    }
    if (!ok && !error.empty()) std::fprintf(stderr, "device_request_bench: %s\n", error.c_str());
    return ok ? 0 : 1;
}
