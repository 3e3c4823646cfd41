#include "sim/tools/remote_commands.h"

#include "platform/ksim_protocol.h"
#include "platform/socket.h"
#include "sim/card_geometry.h"
#include "sim/device_client.h"
#include "sim/ksim_server.h"
#include "sim/text_numbers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace kestrel::sim::tools {

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "kestrel-sim: %s\n", text.c_str());
    return EXIT_FAILED;
}

int usage(const char* text) {
    std::fprintf(stderr, "kestrel-sim: usage: %s\n", text);
    return EXIT_USAGE;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void step(const char* what, const std::string& text) { std::printf("%-22s %s\n", what, text.c_str()); }

std::string statusText(uint8_t status) {
    return std::string("status ") + hexByte(status) + ((status & 0x01) ? " (ready, failed)" : " (ready, passed)");
}

// The demo proper, on an open client; false after printing what failed.
class Demo {
public:
    Demo(DeviceClient& client, std::string firmwarePath) : client_(client), firmwarePath_(std::move(firmwarePath)) {}

    bool run() {
        const std::string before = client_.simCommand("stats");
        if (!openDevice() || !loadFirmware() || !identify() || !eraseProgramRead() || !eeprom()) return false;
        printWork(before, client_.simCommand("stats"));
        return true;
    }

private:
    bool openDevice() {
        const auto pipes = client_.pipeCount();
        if (pipes < 0) return report("pipe information request failed");
        step("device opened", "QlxUsb-0, " + std::to_string(pipes) + " pipes");
        return true;
    }

    bool loadFirmware() {
        const auto image = readFile(firmwarePath_);
        if (image.empty()) return report("cannot read firmware image " + firmwarePath_);
        const auto start = std::chrono::steady_clock::now();
        if (!client_.loadFirmware(image)) return report("device did not come back after the firmware download");
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        step("firmware", firmwarePath_ + ": " + std::to_string(image.size()) +
                             " bytes loaded, device back on the bus after " + std::to_string(ms.count()) + " ms");
        return true;
    }

    bool identify() {
        uint8_t id[4];
        if (!client_.readId(id)) return report("read ID failed");
        const auto g = identifyCard(id[1], id[2]);
        if (!g) return report("card not recognised: maker " + hexByte(id[1]) + ", device " + hexByte(id[2]));
        geometry_ = *g;
        char text[160];
        std::snprintf(text, sizeof text, "maker %s, device %s: %u MB, %u+%u-byte pages, %u pages per block, %u blocks",
                      hexByte(id[1]).c_str(), hexByte(id[2]).c_str(), g->sizeMb, g->pageSize, g->spareSize,
                      g->pagesPerBlock, g->blocks);
        step("card ID", text);
        return true;
    }

    bool eraseProgramRead() {
        const uint32_t block = 2;
        const uint32_t page = block * geometry_.pagesPerBlock;
        uint8_t status = 0;
        if (!client_.eraseBlock(page) || !client_.readStatus(status)) return report("erase failed");
        const bool sawBusy = !(status & 0x40);
        if (!client_.waitReady(status)) return report("card did not become ready after the erase");
        step(("erase block " + std::to_string(block)).c_str(),
             std::string(sawBusy ? "busy, then " : "") + statusText(status));

        std::vector<uint8_t> written(geometry_.pageBytes(), 0xFF);
        for (uint32_t i = 0; i < geometry_.pageSize; ++i) written[i] = static_cast<uint8_t>(i * 37 + 11);
        if (!client_.programPage(page, written) || !client_.waitReady(status)) return report("program failed");
        step(("program page " + std::to_string(page)).c_str(),
             std::to_string(written.size()) + " bytes (data + spare), " + statusText(status));

        std::vector<uint8_t> answer;
        if (!client_.readPages(page, 1, answer)) return report("page read failed");
        const bool same = std::equal(written.begin(), written.end(), answer.begin());
        step(("read page " + std::to_string(page)).c_str(),
             std::to_string(answer.size()) + "-byte answer, " +
                 (same ? "data and spare match what was written" : "MISMATCH"));
        return same || report("the page read back differs from what was programmed");
    }

    bool eeprom() {
        uint8_t bytes[32];
        if (!client_.readEeprom(0, bytes)) return report("boot EEPROM read failed");
        char text[64];
        std::snprintf(text, sizeof text, "%02x %02x %02x %02x %02x %02x %02x %02x ...", bytes[0], bytes[1], bytes[2],
                      bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
        step("boot EEPROM 0x0000", text);
        return true;
    }

    void printWork(const std::string& before, const std::string& after) {
        auto delta = [&](const char* key) { return statValue(after, key) - statValue(before, key); };
        std::printf("device work of this demo (simulator counters):\n");
        std::printf("  %-20s %llu\n", "requests", static_cast<unsigned long long>(delta("requests")));
        std::printf("  %-20s %llu\n", "commands", static_cast<unsigned long long>(delta("commands")));
        std::printf("  %-20s %llu\n", "bytes to device", static_cast<unsigned long long>(delta("bytes_to_device")));
        std::printf("  %-20s %llu\n", "bytes from device",
                    static_cast<unsigned long long>(delta("bytes_from_device")));
        std::printf("  %-20s %llu / %llu / %llu\n", "reads/programs/erases",
                    static_cast<unsigned long long>(delta("page_reads")),
                    static_cast<unsigned long long>(delta("page_programs")),
                    static_cast<unsigned long long>(delta("block_erases")));
        std::printf("  %-20s %.3f ms\n", "modelled device time", static_cast<double>(delta("modelled_us")) / 1000.0);
    }

    bool report(const std::string& text) {
        std::fprintf(stderr, "kestrel-sim demo: %s\n", text.c_str());
        return false;
    }

    DeviceClient& client_;
    std::string firmwarePath_;
    CardGeometry geometry_;
};

}  // namespace

int demoCommand(const ToolArgs& args) {
    if (args.positional().size() != 1)
        return usage("kestrel-sim demo tcp:HOST:PORT|unix:PATH [--firmware FILE]");
    const std::string& endpoint = args.positional()[0];
    std::string error;
    if (!platform::parseEndpoint(endpoint, &error)) return fail("bad endpoint " + endpoint + ": " + error);
    DeviceClient client(platform::makeKsimProvider(endpoint));
    uint32_t openError = 0;
    if (!client.open(&openError)) return fail("cannot open the device at " + endpoint + " (error " +
                                              std::to_string(openError) + ")");
    std::printf("Kestrel simulator demo on %s\n", endpoint.c_str());
    Demo demo(client, args.option("--firmware").value_or(firmwareImage("vxb_ffs.bix")));
    return demo.run() ? EXIT_OK : EXIT_FAILED;
}

int simCommand(const ToolArgs& args) {
    if (args.positional().size() < 2)
        return usage("kestrel-sim command tcp:HOST:PORT|unix:PATH WORDS...");
    const std::string& endpoint = args.positional()[0];
    std::string error;
    if (!platform::parseEndpoint(endpoint, &error)) return fail("bad endpoint " + endpoint + ": " + error);
    uint32_t openError = 0;
    auto connection = platform::makeKsimProvider(endpoint)->open(CONTROL_NAME, 0, 0, openError);
    if (!connection) return fail("cannot reach the simulator at " + endpoint + " (error " + std::to_string(openError) + ")");
    std::string text;
    for (size_t i = 1; i < args.positional().size(); ++i) text += (i > 1 ? " " : "") + args.positional()[i];
    std::vector<char> answer(16384);
    const auto r = connection->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                       answer.data(), static_cast<uint32_t>(answer.size()));
    if (!r.ok) return fail("simulator command failed (error " + std::to_string(r.error) + ")");
    const std::string reply(answer.data(), r.bytes);
    std::printf("%s%s", reply.c_str(), reply.empty() || reply.back() != '\n' ? "\n" : "");
    return reply.rfind("error:", 0) == 0 ? EXIT_FAILED : EXIT_OK;
}

}  // namespace kestrel::sim::tools
