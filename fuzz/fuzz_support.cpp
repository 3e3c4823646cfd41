#include "fuzz/fuzz_support.h"

#include "platform/environment.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace kestrel::fuzz {

namespace fs = std::filesystem;

void prepareEnvironment() {
    // Fast enough that a modelled wait costs nothing, while the code's
    // timeouts (a second and more, unscaled) stay far above zero.
    if (!platform::getEnv("KESTREL_TIME_SCALE")) platform::setEnv("KESTREL_TIME_SCALE", "0.0001");
}

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz target: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

TempFolder::TempFolder() {
    std::random_device seed;
    const fs::path base = fs::temp_directory_path();
    do {
        path_ = (base / ("kestrel-fuzz-" + std::to_string(seed()))).string();
    } while (fs::exists(path_));
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::file(const std::string& name) const { return (fs::path(path_) / name).string(); }

void makeDeviceFolder(const std::string& folder, uint32_t sizeMb) {
    auto config = sim::defaultDeviceConfig(sizeMb, 0xEC);
    if (!config) fail("no card of " + std::to_string(sizeMb) + " MB");
    std::string error;
    if (!sim::createDeviceFolder(folder, *config, &error)) fail("device folder: " + error);
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + path);
}

uint8_t ByteReader::u8() { return empty() ? 0 : data_[at_++]; }

uint16_t ByteReader::u16() {
    const uint16_t low = u8();
    return static_cast<uint16_t>(low | (u8() << 8));
}

uint32_t ByteReader::u32() {
    const uint32_t low = u16();
    return low | (static_cast<uint32_t>(u16()) << 16);
}

std::vector<uint8_t> ByteReader::bytes(size_t n) {
    const size_t take = std::min(n, left());
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + take);
    at_ += take;
    return out;
}

std::string ByteReader::text(size_t n) {
    const std::vector<uint8_t> raw = bytes(n);
    return {raw.begin(), raw.end()};
}

}  // namespace kestrel::fuzz
