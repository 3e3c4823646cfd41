#include "platform/named_mutex.h"

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "tests/platform/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrel::platform;

namespace {

// lock() from a thread of its own, as another owner would.
WaitResult lockElsewhere(NamedMutex& mutex, uint32_t ms, bool unlockAfter = true) {
    WaitResult result = WaitResult::Failed;
    Thread([&] {
        result = mutex.lock(ms);
        if (result == WaitResult::Signalled && unlockAfter) mutex.unlock();
    }).join();
    return result;
}

}  // namespace

TEST(NamedMutex, IsRecursiveForTheOwningThread) {
    auto mutex = NamedMutex::open(test::uniqueName("kestrel-test-recursive"));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(mutex->lock(0), WaitResult::Signalled);
    ASSERT_EQ(mutex->lock(0), WaitResult::Signalled);
    mutex->unlock();
    EXPECT_EQ(lockElsewhere(*mutex, 20), WaitResult::TimedOut);  // still held once
    mutex->unlock();
    EXPECT_EQ(lockElsewhere(*mutex, 20), WaitResult::Signalled);
}

TEST(NamedMutex, ExcludesOtherThreadsThroughAnyOpenerOfTheName) {
    const std::string name = test::uniqueName("kestrel-test-threads");
    auto mine = NamedMutex::open(name);
    auto theirs = NamedMutex::open(name);
    ASSERT_TRUE(mine && theirs);
    {
        NamedMutexLock held(*mine, WAIT_FOREVER);
        ASSERT_TRUE(held.owned());
        EXPECT_EQ(lockElsewhere(*theirs, 20), WaitResult::TimedOut);
        EXPECT_EQ(mine->lock(0), WaitResult::Signalled);  // through the same name, still recursive
        mine->unlock();
    }
    EXPECT_EQ(lockElsewhere(*theirs, 20), WaitResult::Signalled);
}

TEST(NamedMutex, BlockedWaiterGetsTheMutexWhenReleased) {
    const std::string name = test::uniqueName("kestrel-test-handover");
    auto mutex = NamedMutex::open(name);
    ASSERT_TRUE(mutex);
    ASSERT_EQ(mutex->lock(0), WaitResult::Signalled);
    WaitResult result = WaitResult::Failed;
    Thread waiter([&] {
        result = mutex->lock(WAIT_FOREVER);
        if (result == WaitResult::Signalled) mutex->unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    mutex->unlock();
    waiter.join();
    EXPECT_EQ(result, WaitResult::Signalled);
}

TEST(NamedMutex, ExcludesOtherProcessesUntilTheHolderDies) {
    const std::string name = test::uniqueName("kestrel-test-process");
    const auto ready = test::tempFile("kestrel-test-ready");
    std::string error;
    auto holder = ChildProcess::spawn(test::helperProgram(), {"hold-mutex", name, ready.string()}, &error);
    ASSERT_TRUE(holder) << error;
    ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(ready); })) << "the helper never took the mutex";

    auto mutex = NamedMutex::open(name);
    ASSERT_TRUE(mutex);
    EXPECT_EQ(mutex->lock(20), WaitResult::TimedOut);
    holder->kill();
    EXPECT_EQ(mutex->lock(500000), WaitResult::Signalled);
    mutex->unlock();
    std::filesystem::remove(ready);
}
