// A second product-like process for the simulator tests: opens the served
// device over KSIM and, ROUNDS times, erases its own block, programs one of
// its pages and reads it back. Each exchange (command and its data) holds
// the machine-wide mutex that every client of the device takes, as
// processes sharing one device must.
//
//   kestrel-sim-test-client ENDPOINT BLOCK ROUNDS
//
// Exit code 0 when every page read back as written, 1 otherwise, 2 for a
// bad command line.
#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "sim/card_geometry.h"
#include "sim/device_client.h"
#include "sim/text_numbers.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace kestrel;

constexpr const char* DEVICE_MUTEX = "kestrel-sim-test-device";

int fail(const std::string& text) {
    std::fprintf(stderr, "kestrel-sim-test-client: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto block = argc == 4 ? sim::parseNumber(argv[2]) : std::nullopt;
    const auto rounds = argc == 4 ? sim::parseNumber(argv[3]) : std::nullopt;
    if (!block || !rounds) {
        fail("usage: kestrel-sim-test-client ENDPOINT BLOCK ROUNDS");
        return 2;
    }

    sim::DeviceClient client(platform::makeKsimProvider(argv[1]));
    auto mutex = platform::NamedMutex::open(DEVICE_MUTEX);
    if (!client.open() || !mutex) return fail("cannot open the device or the mutex");
    auto exchange = [&](const std::function<bool()>& body) {
        platform::NamedMutexLock lock(*mutex, platform::WAIT_FOREVER);
        return lock.owned() && body();
    };

    uint8_t id[4] = {};
    if (!exchange([&] { return client.readId(id); })) return fail("read ID failed");
    const auto g = sim::identifyCard(id[1], id[2]);
    if (!g) return fail("unknown card");

    std::mt19937 random(*block);
    const uint32_t first = *block * g->pagesPerBlock;
    for (uint32_t round = 0; round < *rounds; ++round) {
        const uint32_t page = first + round % g->pagesPerBlock;
        std::vector<uint8_t> data(g->pageBytes());
        for (auto& b : data) b = static_cast<uint8_t>(random());
        uint8_t status = 0;
        std::vector<uint8_t> answer;
        const bool ok = exchange([&] { return client.eraseBlock(first); }) &&
                        exchange([&] { return client.waitReady(status, 100) && status == 0x40; }) &&
                        exchange([&] { return client.programPage(page, data); }) &&
                        exchange([&] { return client.waitReady(status, 100) && status == 0x40; }) &&
                        exchange([&] { return client.readPages(page, 1, answer); });
        if (!ok) return fail("round " + std::to_string(round) + ": a command failed");
        if (!std::equal(data.begin(), data.end(), answer.begin()))
            return fail("round " + std::to_string(round) + ": page " + std::to_string(page) + " differs");
    }
    std::printf("block %u: %u rounds passed\n", *block, *rounds);
    return 0;
}
