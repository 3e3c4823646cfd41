#include "tests/fwupdate/update_fixture.h"

#include "fwupdate/core/host_file.h"
#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

namespace kestrel::fwupdate::test {

namespace fs = std::filesystem;

void UpdateTest::SetUp() {
    log_ = std::make_unique<OperationLog>(folder_.file(LOG_FILE), nullptr);
    spy.quickFormats = true;
}

void UpdateTest::TearDown() {
    tool_.reset();
    stopDevice();
    platform::unsetEnv("KESTREL_SIM");
}

void UpdateTest::stopDevice() {
    if (!daemon_) return;
    // The library's link must not outlive the device it talks to.
    usbcClose();
    control_.reset();
    daemon_.reset();
}

void UpdateTest::startDevice(uint32_t sizeMb) {
    auto config = sim::defaultDeviceConfig(sizeMb, 0xEC);
    ASSERT_TRUE(config);
    cardBlocks_ = config->geometry()->blocks;
    ASSERT_TRUE(sim::test::createFolder(deviceFolder_.path(), *config));
    daemon_ = std::make_unique<sim::test::SimDaemon>(deviceFolder_.path());
    ASSERT_FALSE(daemon_->endpoint().empty()) << daemon_->error();
    uint32_t error = 0;
    control_ = platform::makeKsimProvider(daemon_->endpoint())->open(sim::CONTROL_NAME, 0, 0, error);
    ASSERT_TRUE(control_) << "control handle: error " << error;
    platform::setEnv("KESTREL_SIM", daemon_->endpoint());
}

void UpdateTest::copySamples(const std::vector<std::string>& names) {
    for (const auto& name : names) {
        const fs::path sample = sim::test::siblingFile("update-samples/" + name);
        ASSERT_TRUE(fs::exists(sample)) << sample;
        fs::copy_file(sample, hostPath(name), fs::copy_options::overwrite_existing);
    }
}

void UpdateTest::writeSmallUpdateFiles(const std::vector<std::string>& names) {
    const std::pair<const char*, size_t> sizes[] = {
        {"vxb_main.iic", 100}, {"L1_1.BIN", 3000}, {"L2_1.MI", 5000}, {"FPGA.BIR", 2000}};
    uint32_t seed = 100;
    for (const auto& [name, size] : sizes) {
        ++seed;
        if (std::find(names.begin(), names.end(), name) != names.end()) writeHostFile(name, patternBytes(size, seed));
    }
}

void UpdateTest::writeHostFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(hostPath(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << name;
}

std::vector<uint8_t> UpdateTest::hostBytes(const std::string& name) const {
    return sim::test::readFile(hostPath(name));
}

std::time_t UpdateTest::hostModified(const std::string& name) const {
#ifdef _WIN32
    struct _stat64 info {};
    if (_stat64(hostPath(name).c_str(), &info) != 0) return 0;
#else
    struct stat info {};
    if (::stat(hostPath(name).c_str(), &info) != 0) return 0;
#endif
    return static_cast<std::time_t>(info.st_mtime);
}

void UpdateTest::ageHostFile(const std::string& name, int64_t seconds) {
    const fs::path path = hostPath(name);
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(seconds));
}

std::string UpdateTest::logText() const {
    const auto bytes = sim::test::readFile(folder_.file(LOG_FILE));
    return {bytes.begin(), bytes.end()};
}

UpdateTool& UpdateTest::tool() {
    if (!tool_) {
        tool_ = std::make_unique<UpdateTool>(view, spy.api(), *log_, hostFilesIn(folder_.path()),
                                             [this] { return platformId; });
    }
    return *tool_;
}

std::string UpdateTest::simCommand(const std::string& text) {
    if (!control_) return "error: no device";
    std::vector<char> answer(16384);
    const auto result = control_->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                          answer.data(), static_cast<uint32_t>(answer.size()));
    return result.ok ? std::string(answer.data(), result.bytes) : "error: request failed";
}

uint64_t UpdateTest::stat(const std::string& key) { return sim::statValue(simCommand("stats"), key); }

std::string UpdateTest::firmware() {
    const std::string text = simCommand("stats");
    const std::string key = "firmware = ";
    const size_t at = text.find(key);
    if (at == std::string::npos) return "(no firmware line)";
    const size_t begin = at + key.size();
    return text.substr(begin, text.find('\n', begin) - begin);
}

std::vector<uint8_t> UpdateTest::eepromBytes() const {
    return sim::test::readFile((fs::path(deviceFolder_.path()) / sim::EEPROM_FILE).string());
}

std::vector<CardFile> UpdateTest::cardFiles() {
    std::vector<CardFile> files;
    EXPECT_EQ(mt_smInit(), 0u);
    uint32_t count = 0;
    EXPECT_EQ(mt_smGetListNumDir("dev0:\\", &count), 0u);
    std::vector<oryx_dir_record> records(count + 1);
    uint32_t delivered = 0;
    mt_smReadDirEx("dev0:\\", 0, count, records.data(), &delivered);
    for (uint32_t i = 0; i < delivered; ++i) files.push_back({records[i].shortName, records[i].stat});
    return files;
}

std::vector<uint8_t> UpdateTest::cardFileBytes(const std::string& devicePath) {
    EXPECT_EQ(mt_smInit(), 0u);
    oryx_handle handle = 0;
    if (mt_smOpenFile(devicePath.c_str(), 1, &handle) != 0) {
        ADD_FAILURE() << "cannot open " << devicePath;
        return {};
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    uint32_t delivered = 0;
    uint32_t result = 0;
    do {
        result = mt_smReadFile(handle, chunk, sizeof chunk, &delivered);
        bytes.insert(bytes.end(), chunk, chunk + delivered);
    } while (result == 0 && delivered == sizeof chunk);
    EXPECT_EQ(mt_smCloseFile(handle), 0u);
    return bytes;
}

std::string asTextFile(const std::string& text) {
#ifdef _WIN32
    std::string converted;
    for (const char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}

std::vector<uint8_t> patternBytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace kestrel::fwupdate::test
