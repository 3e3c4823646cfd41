#include "platform/event.h"

#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/platform/test_support.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace kestrel::platform;

TEST(AutoResetEvent, OneSuccessfulWaitConsumesTheSignal) {
    auto event = Event::create("");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->wait(0), WaitResult::TimedOut);
    event->set();  // nobody waits: the signal is kept
    EXPECT_EQ(event->wait(0), WaitResult::Signalled);
    EXPECT_EQ(event->wait(0), WaitResult::TimedOut);

    event->set();
    event->set();  // setting a set event changes nothing
    EXPECT_EQ(event->wait(0), WaitResult::Signalled);
    EXPECT_EQ(event->wait(0), WaitResult::TimedOut);

    event->set();
    event->reset();
    EXPECT_EQ(event->wait(50), WaitResult::TimedOut);
}

TEST(AutoResetEvent, SetFromAnotherThreadWakesTheWaiter) {
    auto event = Event::create("");
    ASSERT_TRUE(event);
    WaitResult result = WaitResult::Failed;
    {
        Thread waiter([&] { result = event->wait(WAIT_FOREVER); });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        event->set();
    }
    EXPECT_EQ(result, WaitResult::Signalled);
    EXPECT_EQ(event->wait(0), WaitResult::TimedOut);  // the waiter took it
}

TEST(AutoResetEvent, OneSetReleasesExactlyOneWaiter) {
    auto event = Event::create("");
    ASSERT_TRUE(event);
    std::atomic<int> released{0};
    {
        Thread first([&] { released += event->wait(500) == WaitResult::Signalled; });
        Thread second([&] { released += event->wait(500) == WaitResult::Signalled; });
        event->set();
    }
    // Should both waiters have timed out before the set, the signal is still there.
    EXPECT_EQ(released + (event->wait(0) == WaitResult::Signalled), 1);
}

TEST(ManualResetEvent, StaysSignalledUntilReset) {
    auto event = Event::create("", true, true);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->wait(0), WaitResult::Signalled);
    EXPECT_EQ(event->wait(0), WaitResult::Signalled);
    event->reset();
    EXPECT_EQ(event->wait(0), WaitResult::TimedOut);
}

TEST(NamedEvent, OpenersOfOneNameShareTheEvent) {
    const std::string name = test::uniqueName("kestrel-test-event");
    auto first = Event::create(name);
    auto second = Event::create(name);
    auto other = Event::create(name + "-other");
    auto unnamed = Event::create("");
    ASSERT_TRUE(first && second && other && unnamed);

    first->set();
    EXPECT_EQ(other->wait(0), WaitResult::TimedOut);
    EXPECT_EQ(unnamed->wait(0), WaitResult::TimedOut);
    EXPECT_EQ(second->wait(0), WaitResult::Signalled);
    EXPECT_EQ(first->wait(0), WaitResult::TimedOut);  // consumed through the other opener

    WaitResult result = WaitResult::Failed;
    {
        Thread waiter([&] { result = first->wait(WAIT_FOREVER); });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        second->set();
    }
    EXPECT_EQ(result, WaitResult::Signalled);
}
