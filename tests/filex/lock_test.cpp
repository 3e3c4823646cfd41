// The two named mutexes: exchanges of different clients, threads and
// processes run one at a time; an operation waits while another process
// holds the file mutex.
#include "tests/filex/filex_fixture.h"

#include "platform/ksim_protocol.h"
#include "platform/process.h"
#include "sim/device_config.h"
#include "sim/ksim_server.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace kestrel::filex::test {

namespace {

using namespace std::chrono;

constexpr int ROUNDS = 20;

bool cycles(FilexClient& client, const std::string& path, uint32_t seed) {
    for (int round = 0; round < ROUNDS; ++round) {
        const auto data = sim::test::pattern(20000, seed + static_cast<uint32_t>(round));
        if (!putFile(client, path, data) || getFile(client, path) != data) return false;
    }
    return true;
}

bool waitForFile(const std::string& path) {
    const auto deadline = steady_clock::now() + milliseconds(sim::test::PATIENCE_MS);
    while (!std::filesystem::exists(path)) {
        if (steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

// A device served by kestrel-simd, reached over KSIM by this process and by
// filex-test-client children.
class FilexLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = *sim::defaultDeviceConfig(2, sim::MAKER_98);
        config.fileServer = sim::FileServerStore::Memory;
        ASSERT_TRUE(sim::test::createFolder(folder_.path(), config));
        daemon_ = std::make_unique<sim::test::SimDaemon>(folder_.path());
        ASSERT_FALSE(daemon_->endpoint().empty()) << daemon_->error();
        const auto provider = platform::makeKsimProvider(daemon_->endpoint());
        uint32_t error = 0;
        control_ = provider->open(sim::CONTROL_NAME, 0, 0, error);
        ASSERT_TRUE(control_);
        platform::installDeviceProvider(provider);
        names_ = uniqueNames();
        client_ = std::make_unique<FilexClient>(names_, false);
        hang_ = std::make_unique<sim::test::Watchdog>([this] { unplug(); });
    }
    void TearDown() override {
        hang_.reset();
        client_.reset();
        platform::installDeviceProvider(nullptr);
        daemon_.reset();
    }

    std::unique_ptr<platform::ChildProcess> child(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {daemon_->endpoint(), names_.fileMutex, names_.execMutex};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::string error;
        auto process = platform::ChildProcess::spawn(sim::test::siblingProgram("filex-test-client"), all, &error);
        EXPECT_TRUE(process) << error;
        return process;
    }

    // Ends every transfer of a test that hangs.
    void unplug() {
        const std::string text = "unplug";
        char answer[64];
        (void)control_->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()), answer,
                                sizeof answer);
    }

    sim::test::TempFolder folder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    std::unique_ptr<platform::DeviceConnection> control_;
    std::unique_ptr<sim::test::Watchdog> hang_;
    FilexNames names_;
    std::unique_ptr<FilexClient> client_;
};

}  // namespace

TEST_F(FilexLockTest, ClientsOfOneProcessTakeTurns) {
    // Two clients with the same mutex names, as two processes would have:
    // interleaved exchanges would mix commands and data phases.
    FilexClient other(names_, false);
    auto first = std::async(std::launch::async, [&] { return cycles(*client_, "/one.bin", 100); });
    auto second = std::async(std::launch::async, [&] { return cycles(other, "/two.bin", 200); });
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
}

TEST_F(FilexLockTest, ProcessesTakeTurns) {
    auto process = child({"cycles", "/child.bin", std::to_string(ROUNDS)});
    ASSERT_TRUE(process);
    // This process keeps exchanging for as long as the child runs.
    std::optional<int> code;
    const auto deadline = steady_clock::now() + milliseconds(sim::test::PATIENCE_MS);
    for (uint32_t seed = 300; !code && steady_clock::now() < deadline; seed += ROUNDS) {
        ASSERT_TRUE(cycles(*client_, "/parent.bin", seed));
        code = process->wait(0);
    }
    ASSERT_TRUE(code.has_value()) << "the child hangs";
    EXPECT_EQ(*code, 0);
}

TEST_F(FilexLockTest, OperationWaitsWhileAnotherProcessHoldsTheFileMutex) {
    ASSERT_EQ(client_->sync(), 0);
    const std::string ready = folder_.file("ready");
    const std::string release = folder_.file("release");
    auto process = child({"hold", ready, release});
    ASSERT_TRUE(process);
    ASSERT_TRUE(waitForFile(ready));

    auto waiting = std::async(std::launch::async, [&] { return client_->mkdir("/later", 0); });
    EXPECT_EQ(waiting.wait_for(milliseconds(200)), std::future_status::timeout);
    std::ofstream(release) << "go\n";
    ASSERT_EQ(waiting.wait_for(milliseconds(sim::test::PATIENCE_MS)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_EQ(process->wait(sim::test::PATIENCE_MS), std::optional<int>(0));
}

}  // namespace kestrel::filex::test
