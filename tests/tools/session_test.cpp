// One program at a time on a device: a second kestrel beside a program that
// has the library's device started says so, waits, and fails clearly
// without touching the card; it gets the device once the first has finished
// or died. Two programs on one device folder: the second is refused.
#include "tests/tools/cli_fixture.h"

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "tools/oryx_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr size_t HELD_FILE_BYTES = 20000;

class SessionTest : public CliTest {
protected:
    // The holder: a program with the device started and F.BIN half written
    // (with `writing`; else with no file open).
    void startHolder(bool writing = true) {
        held_ = writePatternFile(scratch("held.bin"), HELD_FILE_BYTES, 7);
        std::string error;
        holder_ = platform::ChildProcess::spawn(
            sim::test::siblingProgram("session_holder"),
            {writing ? scratch("held.bin") : "-", "dev0:\\F.BIN", scratch("ready"), scratch("go")}, &error);
        ASSERT_TRUE(holder_) << error;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!hostFileExists(scratch("ready"))) {
            const auto code = holder_->wait(5);
            ASSERT_FALSE(code) << "the holder ended with " << *code << " before it had the device";
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the holder never had the device";
        }
    }
    // Lets the holder finish its file and close the device.
    void finishHolder() {
        writeBytes(scratch("go"), {1});
        EXPECT_EQ(holder_->wait(platform::WAIT_FOREVER), 0);
    }
    void expectHeldFileWhole() {
        ok({"get", "/F.BIN", scratch("back.bin")});
        EXPECT_EQ(readFile(scratch("back.bin")), held_);
    }

    std::vector<uint8_t> held_;
    std::unique_ptr<platform::ChildProcess> holder_;
};

TEST_F(SessionTest, ASecondProgramSaysTheDeviceIsInUseAndLeavesTheCardAlone) {
    startHolder();
    const uint64_t sent = counter("bytes_to_device");
    const uint64_t commands = counter("commands");
    writePatternFile(scratch("X.BIN"), 5000, 1);
    for (const auto& command : {std::vector<std::string>{"put", scratch("X.BIN")}, std::vector<std::string>{"ls"}}) {
        const Outcome run = kestrel(command);
        EXPECT_EQ(run.code, 1) << command[0];
        EXPECT_TRUE(contains(run.err, "the device is in use by another program; waiting")) << run.err;
        EXPECT_TRUE(contains(run.err, std::string("kestrel ") + command[0] + ": " + DEVICE_IN_USE)) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    // Nothing reached the device: no firmware download, no command.
    EXPECT_EQ(counter("bytes_to_device"), sent);
    EXPECT_EQ(counter("commands"), commands);
    finishHolder();
    expectHeldFileWhole();
    EXPECT_EQ(ok({"ls"}).out, "F.BIN\n");
}

TEST_F(SessionTest, ASecondProgramGetsTheDeviceWhenTheFirstFinishes) {
    startHolder();
    // Time enough to wait through: the wait is SESSION_WAIT_MS, scaled.
    const std::string scale = platform::getEnv("KESTREL_TIME_SCALE").value_or("1");
    platform::setEnv("KESTREL_TIME_SCALE", "0.5");
    auto waiting = std::async(std::launch::async, [this] { return kestrel({"ls"}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    finishHolder();
    const Outcome run = waiting.get();
    platform::setEnv("KESTREL_TIME_SCALE", scale);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "the device is in use by another program; waiting")) << run.err;
    EXPECT_EQ(run.out, "F.BIN\n");
    expectHeldFileWhole();
}

TEST_F(SessionTest, AProgramThatDiesWithTheDeviceLeavesItFreeForTheNext) {
    startHolder(false);
    holder_->kill();
    (void)holder_->wait(platform::WAIT_FOREVER);
    const auto bytes = writePatternFile(scratch("N.BIN"), 9000, 3);
    const Outcome put = ok({"put", scratch("N.BIN")});
    EXPECT_FALSE(contains(put.err, "in use")) << put.err;
    ok({"get", "/N.BIN", scratch("n-back.bin")});
    EXPECT_EQ(readFile(scratch("n-back.bin")), bytes);
}

TEST_F(SessionTest, ADeviceFolderServedByOneProgramIsRefusedToAnother) {
    // The fixture's kestrel-simd serves deviceFolder().
    const Outcome sim = kestrel({"--sim", deviceFolder(), "ls"});
    EXPECT_EQ(sim.code, 1);
    EXPECT_TRUE(contains(sim.err, "the device folder " + deviceFolder() + " is in use by another program")) << sim.err;

    const std::string out = scratch("simd-out.txt"), err = scratch("simd-err.txt");
    const int code = runCaptured(sim::test::siblingProgram("kestrel-simd"),
                                 {deviceFolder(), "--listen", "tcp:127.0.0.1:0"}, out, err);
    EXPECT_EQ(code, 1);
    std::string text;
    for (const uint8_t b : readFile(err)) text += static_cast<char>(b);
    EXPECT_TRUE(contains(text, "is in use by another program")) << text;
    // The served device works on.
    EXPECT_EQ(ok({"ls"}).out, "");
}

}  // namespace
}  // namespace kestrel::cli::test
