// The ORYX library through its C interface, as programs that use it see it:
// plain C clients (oryx_page_client, oryx_reload_client) run as child
// processes against a fresh simulated device that a kestrel-simd child
// serves over KSIM (KESTREL_SIM). The test reads the outcome from the device:
// its card file, its counters and the firmware it runs at the end.
#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "platform/process.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"
#include "tests/library/page_pattern.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrel::oryx::test {
namespace {

using sim::test::PATIENCE_MS;

// The card of every test: 16 MB, 512-byte pages with a 16-byte spare area,
// 32 pages a block.
constexpr uint32_t RAW_PAGE_BYTES = 528;
constexpr uint32_t PAGES_PER_BLOCK = 32;
constexpr uint32_t TEST_BLOCK = 5;
constexpr uint32_t TEST_PAGE = TEST_BLOCK * PAGES_PER_BLOCK + 3;

#ifdef _WIN32
constexpr const char* LIBRARY_FILE = "oryx.dll";
#else
constexpr const char* LIBRARY_FILE = "liboryx.so";
#endif

std::vector<uint8_t> pagePattern(uint32_t seed) {
    std::vector<uint8_t> bytes(ORYX_TEST_PAGE_BYTES);
    oryxTestPagePattern(seed, bytes.data());
    return bytes;
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = sim::defaultDeviceConfig(16, 0xEC);
        ASSERT_TRUE(config);
        ASSERT_EQ(config->geometry()->pageBytes(), RAW_PAGE_BYTES);
        ASSERT_EQ(config->geometry()->pagesPerBlock, PAGES_PER_BLOCK);
        ASSERT_TRUE(sim::test::createFolder(folder_.path(), *config));
        daemon_ = std::make_unique<sim::test::SimDaemon>(folder_.path());
        ASSERT_FALSE(daemon_->endpoint().empty()) << daemon_->error();
        uint32_t error = 0;
        control_ = platform::makeKsimProvider(daemon_->endpoint())->open(sim::CONTROL_NAME, 0, 0, error);
        ASSERT_TRUE(control_) << "control handle: error " << error;
        // The clients find the device through the variable they inherit.
        platform::setEnv("KESTREL_SIM", daemon_->endpoint());
    }

    void TearDown() override {
        platform::unsetEnv("KESTREL_SIM");
        control_.reset();
        daemon_.reset();
    }

    // Runs a program of the build with `arguments`; its exit code. A program
    // still running after PATIENCE_MS is a failure and is killed.
    int run(const char* program, const std::vector<std::string>& arguments, uint32_t patienceMs = PATIENCE_MS) {
        std::string error;
        auto child = platform::ChildProcess::spawn(sim::test::siblingProgram(program), arguments, &error);
        if (!child) {
            ADD_FAILURE() << error;
            return -1;
        }
        const auto code = child->wait(patienceMs);
        if (!code) {
            ADD_FAILURE() << program << " hung; killed";
            child->kill();
            return -1;
        }
        return *code;
    }

    std::string stats() {
        const std::string query = "stats";
        std::vector<char> answer(4096);
        const auto result = control_->control(ksim::CTL_SIM_COMMAND, query.data(), static_cast<uint32_t>(query.size()),
                                              answer.data(), static_cast<uint32_t>(answer.size()));
        return result.ok ? std::string(answer.data(), result.bytes) : std::string();
    }

    uint64_t counter(const char* key) { return sim::statValue(stats(), key); }

    // The firmware the device runs: "main", "ffs" or "none".
    std::string firmware() {
        const std::string text = stats();
        const std::string key = "firmware = ";
        const size_t at = text.find(key);
        if (at == std::string::npos) return "(no firmware line in the statistics)";
        const size_t begin = at + key.size();
        return text.substr(begin, text.find('\n', begin) - begin);
    }

    std::vector<uint8_t> cardPage(uint32_t page) {
        return sim::test::readFileRange(folder_.file(sim::NAND_FILE), uint64_t{page} * RAW_PAGE_BYTES,
                                        ORYX_TEST_PAGE_BYTES);
    }

private:
    sim::test::TempFolder folder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    std::unique_ptr<platform::DeviceConnection> control_;
};

const std::string BLOCK_START = std::to_string(TEST_BLOCK * PAGES_PER_BLOCK);
const std::string PAGE = std::to_string(TEST_PAGE);

TEST_F(LibraryTest, RawPageRoundTripReachesTheCardAndCloseLoadsTheMainFirmware) {
    ASSERT_EQ(run("oryx_page_client", {BLOCK_START, PAGE, "7"}), 0);
    EXPECT_EQ(cardPage(TEST_PAGE), pagePattern(7));
    EXPECT_EQ(counter("block_erases"), 1u);
    EXPECT_EQ(counter("page_programs"), 1u);
    EXPECT_EQ(firmware(), "main");
}

TEST_F(LibraryTest, EveryExportWorksFromC) {
    // Thousands of device requests (a format, directory and FAT writes):
    // under wine each one over KSIM costs milliseconds.
    EXPECT_EQ(run("oryx_file_client", {}, 10 * PATIENCE_MS), 0);
    EXPECT_EQ(firmware(), "main");
    EXPECT_EQ(counter("eeprom_writes"), 1u);
}

TEST_F(LibraryTest, ProcessExitWithoutCloseLoadsTheMainFirmwareBack) {
    ASSERT_EQ(run("oryx_page_client", {BLOCK_START, PAGE, "9", "--leave-open"}), 0);
    // The page went through the file-system firmware; the unload at exit
    // has to close the device.
    EXPECT_EQ(cardPage(TEST_PAGE), pagePattern(9));
    EXPECT_EQ(firmware(), "main");
}

// A failure of the unload's close is reported without a window: on Windows
// the unload runs under the loader lock, where a message box waiting for a
// click could hold the process for ever.
TEST_F(LibraryTest, ProcessExitWithoutDeviceNeitherHangsNorShowsAWindow) {
    ASSERT_EQ(run("oryx_page_client", {BLOCK_START, PAGE, "11", "--leave-open-unreachable"}), 0);
    EXPECT_EQ(cardPage(TEST_PAGE), pagePattern(11));
    EXPECT_EQ(firmware(), "ffs");  // nothing could reach the device to change it
}

// Unloading a library whose link runs must neither hang nor leave the device
// half closed. Windows keeps the library loaded while its link runs (its
// watchdog thread cannot be stopped under the loader lock), so the device
// still answers card commands after the reload; POSIX closes the device at
// the unload, so the reloaded library finds it on its main firmware.
TEST_F(LibraryTest, UnloadWhileTheLinkRunsNeitherHangsNorStrandsTheDevice) {
#ifdef _WIN32
    const char* idAfterReload = "answered";
#else
    const char* idAfterReload = "silent";
#endif
    ASSERT_EQ(run("oryx_reload_client", {sim::test::siblingFile(LIBRARY_FILE), idAfterReload}), 0);
    EXPECT_EQ(firmware(), "main");
}

}  // namespace
}  // namespace kestrel::oryx::test
