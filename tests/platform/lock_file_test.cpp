#include "platform/lock_file.h"

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "tests/platform/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace kestrel::platform;

namespace {

std::string lockPath(const std::string& prefix) { return test::tempFile(prefix).string() + ".lock"; }

LockResult tryElsewhere(const std::string& path, uint32_t ms) {
    LockResult result = LockResult::Failed;
    Thread([&] { result = LockFile::acquire(path, ms).result; }).join();
    return result;
}

}  // namespace

TEST(LockFile, ExcludesEveryOtherTakerUntilLetGoAndLeavesNoFile) {
    const std::string path = lockPath("kestrel-test-lockfile");
    LockAttempt first = LockFile::acquire(path, 0);
    ASSERT_EQ(first.result, LockResult::Acquired) << first.error;
    ASSERT_TRUE(first.lock);
    // Another opener in this process, on this thread or another, is kept out
    // as another process would be.
    EXPECT_EQ(LockFile::acquire(path, 0).result, LockResult::Busy);
    EXPECT_EQ(tryElsewhere(path, 20), LockResult::Busy);
    first.lock.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    LockAttempt second = LockFile::acquire(path, 0);
    EXPECT_EQ(second.result, LockResult::Acquired) << second.error;
    second.lock.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(LockFile, BelongsToTheProcessNotTheThreadThatTookIt) {
    const std::string path = lockPath("kestrel-test-lockthread");
    std::unique_ptr<LockFile> held;
    Thread([&] { held = LockFile::acquire(path, 0).lock; }).join();
    ASSERT_TRUE(held);  // the taking thread has ended: the lock stays
    EXPECT_EQ(LockFile::acquire(path, 0).result, LockResult::Busy);
    held.reset();  // let go on another thread than the one that took it
    EXPECT_EQ(tryElsewhere(path, 0), LockResult::Acquired);
}

TEST(LockFile, WaiterGetsTheLockWhenTheHolderLetsGo) {
    const std::string path = lockPath("kestrel-test-lockwait");
    std::unique_ptr<LockFile> held = LockFile::acquire(path, 0).lock;
    ASSERT_TRUE(held);
    LockResult result = LockResult::Failed;
    Thread waiter([&] { result = LockFile::acquire(path, WAIT_FOREVER).result; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    held.reset();
    waiter.join();
    EXPECT_EQ(result, LockResult::Acquired);
}

TEST(LockFile, ExcludesOtherProcessesUntilTheHolderDies) {
    const std::string path = lockPath("kestrel-test-lockprocess");
    const auto ready = test::tempFile("kestrel-test-lockready");
    std::string error;
    auto holder = ChildProcess::spawn(test::helperProgram(), {"hold-lock", path, ready.string()}, &error);
    ASSERT_TRUE(holder) << error;
    ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(ready); })) << "the helper never took the lock";
    EXPECT_EQ(LockFile::acquire(path, 20).result, LockResult::Busy);
    holder->kill();  // no chance to let go: the system does it
    (void)holder->wait(WAIT_FOREVER);
    LockAttempt after = LockFile::acquire(path, 0);
    EXPECT_EQ(after.result, LockResult::Acquired) << after.error;
    after.lock.reset();
    std::filesystem::remove(ready);
}

TEST(LockFile, FailsWithAReasonWhereNoFileCanBeMade) {
    const std::string path = (test::tempFile("kestrel-test-nofolder") / "x.lock").string();
    const LockAttempt attempt = LockFile::acquire(path, 10);
    EXPECT_EQ(attempt.result, LockResult::Failed);
    EXPECT_FALSE(attempt.lock);
    EXPECT_NE(attempt.error.find("x.lock"), std::string::npos) << attempt.error;
}

TEST(LockFile, MachinePathsAreFilesOfTheTemporaryFolderWithPlainNames) {
    const std::filesystem::path path = LockFile::machinePath("oryx-tcp:127.0.0.1:5000/\\QlxUsb-0");
    EXPECT_EQ(path.filename().string(), "kestrel-oryx-tcp_127.0.0.1_5000__QlxUsb-0.lock");
    EXPECT_TRUE(std::filesystem::is_directory(path.parent_path())) << path;
    EXPECT_NE(LockFile::machinePath("a:b"), LockFile::machinePath("a:c"));
}
