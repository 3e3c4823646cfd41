// kestrel-simd: serves a simulated Kestrel device folder over KSIM until it
// is stopped (SIGINT/SIGTERM, or killed). Saves the device's counters into
// the folder's stats.txt while it runs and when it stops.
#include "platform/socket.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"
#include "sim/sim_device.h"
#include "sim/tools/tool_args.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestrel;
using namespace kestrel::sim::tools;

constexpr const char* HELP =
    "usage: kestrel-simd DIR --listen tcp:HOST:PORT|unix:PATH [--port-file FILE]\n"
    "\n"
    "Serves the simulated device in DIR (made by kestrel-sim create) to KSIM clients\n"
    "(set KESTREL_SIM to the endpoint). Port 0 lets the system choose; --port-file\n"
    "receives the bound endpoint (e.g. tcp:127.0.0.1:40123) once the server listens.\n"
    "Runs until SIGINT or SIGTERM (or until killed). KESTREL_SIM_TRACE=FILE appends\n"
    "one line per driver request to FILE; KESTREL_TIME_SCALE scales the\n"
    "re-enumeration delay. Counters are saved to DIR/stats.txt.\n"
    "Exit codes: 0 stopped, 1 failed to start, 2 bad command line.\n";

constexpr auto STATS_INTERVAL = std::chrono::milliseconds(100);

// Set by the signal handler; the only state a handler may touch.
volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

int fail(const std::string& text) {
    std::fprintf(stderr, "kestrel-simd: %s\n", text.c_str());
    return EXIT_FAILED;
}

// Saves the statistics when they changed since the last save.
void saveStats(sim::SimDevice& device, const std::string& path, std::string& last) {
    const std::string stats = device.command("stats");
    if (stats == last) return;
    if (sim::writeTextFile(path, "# saved by kestrel-simd\n" + stats)) last = stats;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (wantsHelp(words)) {
        std::fputs(HELP, stdout);
        return EXIT_OK;
    }
    ToolArgs args;
    std::string error;
    if (!args.parse(words, {"--listen", "--port-file"}, {}, error) || args.positional().size() != 1 ||
        !args.option("--listen")) {
        std::fprintf(stderr, "kestrel-simd: %s\n%s", error.empty() ? "bad command line" : error.c_str(), HELP);
        return EXIT_USAGE;
    }
    const std::string folder = args.positional()[0];
    const auto endpoint = platform::parseEndpoint(*args.option("--listen"), &error);
    if (!endpoint) return fail("bad endpoint " + *args.option("--listen") + ": " + error);

    auto device = sim::SimDevice::openFolder(folder, &error);
    if (!device) return fail(error);
    auto listener = platform::listenOn(*endpoint, &error);
    if (!listener) return fail("cannot listen on " + endpoint->toString() + ": " + error);
    sim::KsimServer server(device, std::move(listener));
    const std::string bound = server.endpoint().toString();
    if (const auto portFile = args.option("--port-file")) {
        if (!sim::writeTextFile(*portFile, bound + "\n")) return fail("cannot write " + *portFile);
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::fprintf(stderr, "kestrel-simd: serving %s on %s\n", folder.c_str(), bound.c_str());

    const std::string statsPath = sim::folderFile(folder, sim::STATS_FILE);
    std::string lastStats;
    while (!stopRequested) {
        saveStats(*device, statsPath, lastStats);
        std::this_thread::sleep_for(STATS_INTERVAL);
    }
    server.close();
    saveStats(*device, statsPath, lastStats);
    std::fprintf(stderr, "kestrel-simd: stopped\n");
    return EXIT_OK;
}
