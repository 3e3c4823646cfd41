// A second process for the filex lock tests:
//   filex-test-client ENDPOINT FILE_MUTEX EXEC_MUTEX cycles PATH ROUNDS
//       writes a file of its own through the filex client and reads it
//       back, ROUNDS times, on the KSIM device at ENDPOINT; exit code 0
//       when every round matched, 1 otherwise
//   filex-test-client ENDPOINT FILE_MUTEX EXEC_MUTEX hold READY RELEASE
//       takes the file mutex, creates the file READY, and holds the mutex
//       until the file RELEASE exists (at most 60 s); exit code 0
#include "filex/filex_client.h"
#include "platform/clock.h"
#include "platform/device_provider.h"
#include "platform/named_mutex.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace kestrel;

namespace {

constexpr int ROUND_BYTES = 20000;

bool roundTrip(filex::FilexClient& client, const std::string& path, int round) {
    std::vector<uint8_t> data(ROUND_BYTES);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + round);
    const int32_t out = client.open(path.c_str(), 0x601);
    if (out <= 0) return false;
    const bool written = client.write(out, data.data(), ROUND_BYTES) == ROUND_BYTES;
    if (client.close(out) != 0 || !written) return false;
    const int32_t in = client.open(path.c_str(), 0);
    if (in <= 0) return false;
    std::vector<uint8_t> back(ROUND_BYTES);
    const bool read = client.read(in, back.data(), ROUND_BYTES) == ROUND_BYTES;
    return client.close(in) == 0 && read && back == data;
}

int cycles(filex::FilexClient& client, const std::string& path, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        if (!roundTrip(client, path, round)) {
            std::fprintf(stderr, "filex-test-client: round %d failed\n", round);
            return 1;
        }
    }
    return 0;
}

int hold(const filex::FilexNames& names, const std::string& ready, const std::string& release) {
    auto mutex = platform::NamedMutex::open(names.fileMutex);
    if (!mutex || mutex->lock(platform::WAIT_FOREVER) != platform::WaitResult::Signalled) return 2;
    std::ofstream(ready) << "held\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(release) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    mutex->unlock();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fputs("usage: filex-test-client ENDPOINT FILE_MUTEX EXEC_MUTEX cycles PATH ROUNDS | hold READY RELEASE\n",
                   stderr);
        return 2;
    }
    platform::installDeviceProvider(platform::makeKsimProvider(argv[1]));
    filex::FilexNames names;
    names.fileMutex = argv[2];
    names.execMutex = argv[3];
    const std::string mode = argv[4];
    if (mode == "hold") return hold(names, argv[5], argv[6]);
    if (mode != "cycles") return 2;
    filex::FilexClient client(names, false);
    return cycles(client, argv[5], std::stoi(argv[6]));
}
