#include "bench/bench_device.h"

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"
#include "platform/module.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace kestrel::bench {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t PAGE_ANSWER = 576;
constexpr uint32_t PROGRAM_LENGTH = 528;

// A file in the folder of this program (the build's bin folder).
std::string siblingFile(const char* name) {
    return platform::moduleFolder(reinterpret_cast<const void*>(&siblingFile)) +
           platform::PATH_SEPARATOR + name;
}

std::string siblingProgram(const char* name) {
#ifdef _WIN32
    return siblingFile(name) + ".exe";
#else
    return siblingFile(name);
#endif
}

bool runTool(const std::vector<std::string>& arguments, std::string& error) {
    auto child = platform::ChildProcess::spawn(siblingProgram("kestrel-sim"), arguments, &error);
    if (!child) return false;
    const auto code = child->wait(60000);
    if (code == 0) return true;
    error = "kestrel-sim " + arguments.front() + " failed";
    return false;
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The "modelled_us" value of a stats answer ("key = value" lines).
uint64_t parseModelledMicros(const std::string& stats) {
    std::istringstream lines(stats);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        key.erase(key.find_last_not_of(" \t") + 1);
        if (key == "modelled_us") return std::stoull(line.substr(eq + 1));
    }
    return 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

BenchDevice::BenchDevice(std::function<uint64_t()> modelledMicros)
    : modelledMicros_(std::move(modelledMicros)) {
    std::string path = driver::DEVICE_PATH_PREFIX;
    path += driver::DEVICE_NAME;
    handle_ = platform::DeviceHandle::open(path, driver::ACCESS_READ | driver::ACCESS_WRITE,
                                           driver::SHARE_READ | driver::SHARE_WRITE);
}

bool BenchDevice::bulk(uint32_t code, uint32_t pipe, void* data, uint32_t length) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return handle_.control(code, index, sizeof index, data, length).ok;
}

bool BenchDevice::command(const uint8_t packet[8]) {
    uint8_t transfer[64] = {};
    std::copy(packet, packet + 8, transfer);
    return bulk(driver::CTL_BULK_WRITE, driver::PIPE_COMMAND, transfer, sizeof transfer);
}

bool BenchDevice::loadFileSystemFirmware() {
    std::ifstream in(siblingFile("vxb_ffs.bix"), std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.empty() || !handle_.valid()) return false;

    uint8_t request[driver::VENDOR_REQUEST_LENGTH] = {};
    request[driver::VR_REQUEST] = driver::EZUSB_FIRMWARE_LOAD;
    storeLe16(request + driver::VR_VALUE, driver::EZUSB_CPUCS);
    storeLe16(request + driver::VR_LENGTH, 1);
    request[driver::VR_DATA] = 1;
    (void)handle_.control(driver::CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0);
    uint8_t offset[2] = {0, 0};
    (void)handle_.control(driver::CTL_DOWNLOAD, offset, sizeof offset, image.data(),
                          static_cast<uint32_t>(image.size()));
    request[driver::VR_DATA] = 0;
    (void)handle_.control(driver::CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0);

    std::string path = driver::DEVICE_PATH_PREFIX;
    path += driver::DEVICE_NAME;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        handle_ = platform::DeviceHandle::open(path, driver::ACCESS_READ | driver::ACCESS_WRITE,
                                               driver::SHARE_READ | driver::SHARE_WRITE);
        if (handle_.valid()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

Figures BenchDevice::measure(const char* name, int requests, int iterations,
                             const std::function<bool()>& body) {
    for (int i = 0; i < iterations / 10; ++i) (void)body();  // warm up
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(iterations));
    const uint64_t modelledBefore = modelledMicros_();
    const double tick = 1e6 / static_cast<double>(platform::perfFrequency());
    for (int i = 0; i < iterations; ++i) {
        const uint64_t start = platform::perfCounter();
        if (!body()) {
            std::fprintf(stderr, "%s: request failed\n", name);
            break;
        }
        micros.push_back(static_cast<double>(platform::perfCounter() - start) * tick);
    }
    Figures f;
    f.name = name;
    f.requestsPerCommand = requests;
    if (micros.empty()) return f;
    f.hostMicrosPerCommand = median(micros);
    f.hostMicrosPerRequest = f.hostMicrosPerCommand / requests;
    f.modelledMicrosPerCommand =
        static_cast<double>(modelledMicros_() - modelledBefore) / static_cast<double>(micros.size());
    return f;
}

std::vector<Figures> BenchDevice::measureAll(int iterations) {
    std::vector<uint8_t> answer(PAGE_ANSWER);
    std::vector<uint8_t> data(PAGE_ANSWER, 0xFF);
    std::mt19937 random(7);
    uint32_t page = 64;  // clear of block 0
    std::vector<Figures> all;

    all.push_back(measure("page read", 2, iterations, [&] {
        uint8_t packet[8] = {2, 0};
        storeLe32(packet + 2, page);
        storeLe16(packet + 6, 1);
        return command(packet) &&
               bulk(driver::CTL_BULK_READ, driver::PIPE_DATA_IN, answer.data(), PAGE_ANSWER);
    }));
    all.push_back(measure("528-byte prog", 2, iterations, [&] {
        for (uint32_t i = 0; i < PROGRAM_LENGTH; ++i) data[i] = static_cast<uint8_t>(random());
        uint8_t packet[8] = {4, 0};
        storeLe32(packet + 2, page++);
        storeLe16(packet + 6, PROGRAM_LENGTH);
        return command(packet) &&
               bulk(driver::CTL_BULK_WRITE, driver::PIPE_DATA_OUT, data.data(), PAGE_ANSWER);
    }));
    all.push_back(measure("status read", 2, iterations, [&] {
        uint8_t packet[8] = {9, 0, 0, 0, 0, 0, 1, 0};
        return command(packet) &&
               bulk(driver::CTL_BULK_READ, driver::PIPE_DATA_IN, answer.data(), 64);
    }));
    return all;
}

BenchSetup::~BenchSetup() {
    platform::installDeviceProvider(nullptr);
    if (daemon_) daemon_->kill();
    daemon_.reset();
    device_.reset();
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

bool BenchSetup::createDevice(std::string& error) {
    std::random_device seed;
    folder_ = (fs::temp_directory_path() / ("kestrel-bench-" + std::to_string(seed()))).string();
    return runTool({"create", folder_, "--size", "16M"}, error);
}

std::unique_ptr<BenchDevice> BenchSetup::inProcess(std::string& error) {
    device_ = sim::SimDevice::openFolder(folder_, &error);
    if (!device_) return nullptr;
    platform::installDeviceProvider(sim::makeInProcessProvider(device_));
    auto device = device_;
    return std::make_unique<BenchDevice>([device] { return device->counters().modelledMicros; });
}

std::unique_ptr<BenchDevice> BenchSetup::overKsim(std::string& error) {
    platform::installDeviceProvider(nullptr);
    device_.reset();
    const fs::path portFile = fs::path(folder_) / "bench.port";
    daemon_ = platform::ChildProcess::spawn(
        siblingProgram("kestrel-simd"),
        {folder_, "--listen", "tcp:127.0.0.1:0", "--port-file", portFile.string()}, &error);
    if (!daemon_) return nullptr;
    std::string endpoint;
    for (int i = 0; i < 2000 && endpoint.empty(); ++i) {
        endpoint = readWhole(portFile);
        if (endpoint.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    while (!endpoint.empty() && (endpoint.back() == '\n' || endpoint.back() == '\r')) endpoint.pop_back();
    if (endpoint.empty()) {
        error = "kestrel-simd did not start";
        return nullptr;
    }
    if (endpoint.find(':') == std::string::npos) endpoint = "tcp:127.0.0.1:" + endpoint;
    auto provider = platform::makeKsimProvider(endpoint);
    platform::installDeviceProvider(provider);
    auto stats = [] {
        std::string path = driver::DEVICE_PATH_PREFIX;
        path += driver::DEVICE_NAME;
        auto handle = platform::DeviceHandle::open(path, driver::ACCESS_WRITE, driver::SHARE_WRITE);
        std::string query = "stats";
        std::vector<char> answer(4096);
        const auto r = handle.control(ksim::CTL_SIM_COMMAND, query.data(),
                                      static_cast<uint32_t>(query.size()), answer.data(),
                                      static_cast<uint32_t>(answer.size()));
        return r.ok ? parseModelledMicros(std::string(answer.data(), r.bytes)) : 0;
    };
    return std::make_unique<BenchDevice>(stats);
}

}  // namespace kestrel::bench
