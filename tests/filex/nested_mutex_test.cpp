// The file mutex as the transport holds it: a thread that already owns it
// takes it again without going to the machine-wide mutex, and every other
// thread stays out until the owner's outermost unlock.
#include "filex/nested_mutex.h"
#include "platform/clock.h"
#include "tests/filex/filex_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrel::filex::test {

namespace {

using platform::WaitResult;

struct Calls {
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
};

// The machine-wide mutex underneath, counting what reaches it.
class CountingMutex final : public platform::NamedMutex {
public:
    CountingMutex(std::unique_ptr<platform::NamedMutex> real, Calls& calls) : real_(std::move(real)), calls_(calls) {}
    WaitResult lock(uint32_t ms) override {
        ++calls_.locks;
        return real_->lock(ms);
    }
    void unlock() override {
        ++calls_.unlocks;
        real_->unlock();
    }

private:
    std::unique_ptr<platform::NamedMutex> real_;
    Calls& calls_;
};

std::unique_ptr<NestedMutex> countedMutex(const std::string& name, Calls& calls) {
    auto real = platform::NamedMutex::open(name);
    if (!real) return nullptr;
    return NestedMutex::over(std::make_unique<CountingMutex>(std::move(real), calls));
}

// What another thread gets when it tries to take `mutex` for 10 ms
// (released again at once when it got it).
WaitResult tryFromAnotherThread(platform::NamedMutex& mutex) {
    WaitResult result = WaitResult::Failed;
    std::thread other([&] {
        result = mutex.lock(10);
        if (result == WaitResult::Signalled) mutex.unlock();
    });
    other.join();
    return result;
}

}  // namespace

TEST(FilexNestedMutexTest, NestedTakesReachTheMachineWideMutexOnceAndOthersWaitForTheOutermostUnlock) {
    Calls calls;
    auto mutex = countedMutex(uniqueNames().fileMutex, calls);
    ASSERT_NE(mutex, nullptr);
    for (int depth = 0; depth < 3; ++depth) ASSERT_EQ(mutex->lock(platform::WAIT_FOREVER), WaitResult::Signalled);
    EXPECT_EQ(calls.locks, 1);

    mutex->unlock();
    mutex->unlock();
    EXPECT_EQ(calls.unlocks, 0) << "still held once";
    EXPECT_EQ(tryFromAnotherThread(*mutex), WaitResult::TimedOut) << "released before the outermost unlock";

    mutex->unlock();
    EXPECT_EQ(calls.unlocks, 1);
    const int before = calls.locks;
    EXPECT_EQ(tryFromAnotherThread(*mutex), WaitResult::Signalled);
    EXPECT_EQ(calls.locks, before + 1) << "a thread that does not own it goes to the machine-wide mutex";

    // Taken again after the full release: the owner starts from depth 1.
    ASSERT_EQ(mutex->lock(platform::WAIT_FOREVER), WaitResult::Signalled);
    EXPECT_EQ(calls.locks, before + 2);
    mutex->unlock();
    EXPECT_EQ(tryFromAnotherThread(*mutex), WaitResult::Signalled);
}

TEST(FilexNestedMutexTest, AThreadThatTimedOutOwnsNothing) {
    Calls calls;
    auto mutex = countedMutex(uniqueNames().fileMutex, calls);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(mutex->lock(platform::WAIT_FOREVER), WaitResult::Signalled);
    std::atomic<int> step{0};
    WaitResult first = WaitResult::Failed, second = WaitResult::Failed, third = WaitResult::Failed;
    std::thread other([&] {
        first = mutex->lock(10);  // held by the main thread
        step = 1;
        while (step != 2) std::this_thread::yield();
        second = mutex->lock(platform::WAIT_FOREVER);  // released meanwhile
        third = mutex->lock(platform::WAIT_FOREVER);   // nested
        mutex->unlock();
        step = 3;
        while (step != 4) std::this_thread::yield();
        mutex->unlock();
    });
    while (step != 1) std::this_thread::yield();
    mutex->unlock();
    step = 2;
    while (step != 3) std::this_thread::yield();
    EXPECT_EQ(first, WaitResult::TimedOut);
    EXPECT_EQ(second, WaitResult::Signalled);
    EXPECT_EQ(third, WaitResult::Signalled);
    EXPECT_EQ(calls.locks, 3) << "main, timed out, second: the nested take stays inside";
    EXPECT_EQ(mutex->lock(10), WaitResult::TimedOut) << "the other thread still holds it once";
    step = 4;
    other.join();
    EXPECT_EQ(mutex->lock(10), WaitResult::Signalled);
    mutex->unlock();
}

TEST(FilexNestedMutexTest, TwoThreadsTakingItNestedExcludeEachOther) {
    Calls calls;
    auto mutex = countedMutex(uniqueNames().fileMutex, calls);
    ASSERT_NE(mutex, nullptr);
    constexpr int ROUNDS = 300;
    int shared = 0;  // plain on purpose: only the mutex keeps the increments whole
    std::atomic<bool> overlapped{false};
    std::atomic<int> inside{0};
    auto work = [&] {
        for (int i = 0; i < ROUNDS; ++i) {
            if (mutex->lock(platform::WAIT_FOREVER) != WaitResult::Signalled) return;
            if (mutex->lock(platform::WAIT_FOREVER) != WaitResult::Signalled) return;
            if (++inside != 1) overlapped = true;
            const int seen = shared;
            std::this_thread::yield();
            shared = seen + 1;
            --inside;
            mutex->unlock();
            if (inside != 0) overlapped = true;  // still held once: nobody else may be inside
            mutex->unlock();
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(shared, 2 * ROUNDS);
    EXPECT_EQ(calls.locks, 2 * ROUNDS) << "one machine-wide take per outermost lock";
    EXPECT_EQ(calls.unlocks, 2 * ROUNDS);
}

}  // namespace kestrel::filex::test
