// The transport's watchdog: a transfer that never completes is aborted
// after 8000 ms (80 ms at the tests' time scale) through a second handle,
// pipes 1, 3, 0 and 5 in this order; three aborted attempts end the
// exchange, and the next one starts clean.
#include "tests/filex/filex_fixture.h"

#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "filex/transfer_watchdog.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace kestrel::filex::test {

namespace {

using driver::CTL_ABORT_PIPE;
using driver::CTL_BULK_READ;
using driver::CTL_BULK_WRITE;

struct Aborts {
    std::vector<uint32_t> pipes;
    bool fromOtherHandles = true;
};

// The aborts recorded, and whether none came from the handle of the
// exchange they ended.
Aborts abortsOf(const std::vector<Request>& requests, uint32_t exchangeConnection) {
    Aborts aborts;
    for (const auto& r : requests) {
        if (r.code != CTL_ABORT_PIPE) continue;
        aborts.pipes.push_back(r.pipe);
        if (r.connection == exchangeConnection) aborts.fromOtherHandles = false;
    }
    return aborts;
}

const std::vector<uint32_t> THREE_ROUNDS = {1, 3, 0, 5, 1, 3, 0, 5, 1, 3, 0, 5};

// The stalled transfer returns at the first abort of a round; the rest of
// the round follows from the watchdog's thread. Waits (real time, bounded)
// until `done` holds.
bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Real milliseconds of `ms` product milliseconds.
double realMs(double ms) { return ms * platform::timeScale(); }

double millisSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void sleepReal(double ms) { std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms)); }

}  // namespace

using FilexWatchdogTest = FilexTest;

// A watchdog of its own on the test device, writing to the client's trace.
class FilexGuardTest : public FilexTest {
protected:
    void SetUp() override {
        FilexTest::SetUp();
        dog_ = TransferWatchdog::create(client().link().names().device, client().trace());
        ASSERT_NE(dog_, nullptr);
        ASSERT_TRUE(dog_->start());
    }
    void TearDown() override {
        dog_.reset();
        FilexTest::TearDown();
    }
    TransferWatchdog& dog() { return *dog_; }
    static constexpr double GUARD = TransferWatchdog::GUARD_MS;

private:
    std::unique_ptr<TransferWatchdog> dog_;
};

TEST_F(FilexGuardTest, CallsInQuickSuccessionAreNeitherAbortedNorWakeTheThread) {
    const auto start = std::chrono::steady_clock::now();
    int calls = 0;
    double longest = 0;  // the longest call as measured here (a loaded machine may stretch one)
    while (millisSince(start) < realMs(3 * GUARD) || calls < 200) {
        const auto armed = std::chrono::steady_clock::now();
        dog().arm();
        if (calls % 50 == 0) sleepReal(1);
        dog().disarm();
        longest = std::max(longest, millisSince(armed));
        ++calls;
    }
    const double guards = millisSince(start) / realMs(GUARD);
    sleepReal(realMs(GUARD) * 1.5);  // a late abort would come by now
    if (longest < realMs(0.95 * GUARD)) {
        EXPECT_EQ(dog().aborts(), 0u) << "longest call " << longest << " ms";
    }
    // The thread is woken only after it found nothing armed when a guard
    // ran out: about once per guard, not once per call.
    EXPECT_LE(dog().wakeups(), static_cast<uint32_t>(guards) + 2) << calls << " calls over " << guards << " guards";
    EXPECT_GE(calls, 200);
}

TEST_F(FilexGuardTest, EachCallHasAFullGuardFromItsOwnArm) {
    // The first call ends shortly before its guard; the second starts then
    // and must not be aborted when the first one's guard runs out.
    const auto first = std::chrono::steady_clock::now();
    dog().arm();
    sleepReal(realMs(0.7 * GUARD));
    dog().disarm();
    const double firstHeld = millisSince(first);
    const auto second = std::chrono::steady_clock::now();
    dog().arm();
    sleepReal(realMs(0.6 * GUARD));
    dog().disarm();
    const double secondHeld = millisSince(second);
    // Measured around the calls: a loaded machine may stretch a sleep past
    // the guard, and then the abort is right.
    if (std::max(firstHeld, secondHeld) < realMs(0.95 * GUARD)) {
        EXPECT_EQ(dog().aborts(), 0u) << "held " << firstHeld << " and " << secondHeld << " ms";
    }

    // A call that outlives its guard is aborted once, not before the guard.
    const uint32_t before = dog().aborts();
    const auto third = std::chrono::steady_clock::now();
    dog().arm();
    EXPECT_TRUE(eventually([&] { return dog().aborts() > before; }));
    EXPECT_GE(millisSince(third), realMs(GUARD) * 0.9);
    dog().disarm();
    EXPECT_EQ(dog().aborts(), before + 1);
    const auto aborts = probe().requests(CTL_ABORT_PIPE);
    ASSERT_GE(aborts.size(), 4u);
    EXPECT_EQ(aborts.back().pipe, driver::PIPE_STATUS);
}

TEST_F(FilexGuardTest, ACallThatStaysHungIsAbortedOnceAndTheNextCallIsGuardedAgain) {
    dog().arm();
    ASSERT_TRUE(eventually([&] { return dog().aborts() == 1; }));
    // The grace after the abort and two more guards pass with the call
    // still armed.
    sleepReal(realMs(TransferWatchdog::AFTER_ABORT_MS + 2 * GUARD));
    EXPECT_EQ(dog().aborts(), 1u) << "the same call aborted again";
    const auto lines = traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** ReadFilexProc gets locked\n"), 1);
    dog().disarm();

    const auto next = std::chrono::steady_clock::now();
    dog().arm();
    EXPECT_TRUE(eventually([&] { return dog().aborts() == 2; }));
    EXPECT_GE(millisSince(next), realMs(GUARD) * 0.9);
    dog().disarm();
    // A call that ends within the grace after its abort is not reported
    // as locking the thread.
    dog().arm();
    EXPECT_TRUE(eventually([&] { return dog().aborts() == 3; }));
    dog().disarm();
    sleepReal(realMs(TransferWatchdog::AFTER_ABORT_MS) * 1.2);
    const auto after = traceLines();
    EXPECT_EQ(std::count(after.begin(), after.end(), "*** ReadFilexProc gets locked\n"), 1);
}

TEST_F(FilexWatchdogTest, StalledReadPhaseIsAbortedThreeTimesThenFails) {
    ASSERT_TRUE(putFile(client(), "/w.bin", {1, 2, 3}));
    const int32_t fd = client().open("/w.bin", OPEN_READ);
    ASSERT_GT(fd, 0);
    ASSERT_EQ(device().command("stall 1"), "ok");
    probe().clear();
    clearTrace();
    uint8_t buffer[3] = {};
    EXPECT_EQ(client().read(fd, buffer, 3), -1);

    const auto reads = probe().requests(CTL_BULK_READ);
    ASSERT_EQ(reads.size(), 3u) << "three attempts on the data pipe, no status read";
    for (const auto& r : reads) {
        EXPECT_EQ(r.pipe, driver::PIPE_DATA_IN);
        EXPECT_EQ(r.result.error, driver::ERR_OPERATION_ABORTED);
    }
    EXPECT_TRUE(eventually([this] { return probe().requests(CTL_ABORT_PIPE).size() >= THREE_ROUNDS.size(); }));
    const auto aborts = abortsOf(probe().requests(), reads[0].connection);
    EXPECT_EQ(aborts.pipes, THREE_ROUNDS);
    EXPECT_TRUE(aborts.fromOtherHandles);
    const auto lines = traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** Reseting all piipes\n"), 3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** DATA send (BULK_READ) failed err=000003E3, nBytes=0\n"), 3);

    EXPECT_EQ(client().read(fd, buffer, 3), 3) << "the stalled read was never run";
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(client().close(fd), 0);
    EXPECT_TRUE(eventually([this] { return probe().liveConnections() == 0; })) << probe().liveConnections();
}

TEST_F(FilexWatchdogTest, HungTransferIsAbortedAfterTheGuardAndRetried) {
    const auto data = sim::test::pattern(5000, 4);
    ASSERT_TRUE(putFile(client(), "/h.bin", data));
    const int32_t fd = client().open("/h.bin", OPEN_READ);
    ASSERT_GT(fd, 0);
    // The first data request hangs until the watchdog aborts the pipes, as
    // a transfer the device never answers does.
    bool hung = false;
    probe().intercept([&](const PendingCall& call, const Forward& forward) {
        if (call.code == CTL_BULK_READ && call.pipe == driver::PIPE_DATA_IN && !hung) {
            hung = true;
            eventually([this] { return !probe().requests(CTL_ABORT_PIPE).empty(); });
            return platform::ControlResult{false, driver::ERR_OPERATION_ABORTED, 0};
        }
        return forward(call.outLength);
    });
    probe().clear();
    std::vector<uint8_t> back(5000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client().read(fd, back.data(), 5000), 5000);
    const auto waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(back, data);
    EXPECT_GE(waited, 8000 * platform::timeScale() * 0.9) << "aborted only after the guard";
    const auto reads = probe().requests(CTL_BULK_READ, driver::PIPE_DATA_IN);
    ASSERT_EQ(reads.size(), 2u) << "the aborted request, then the same request again";
    EXPECT_EQ(reads[0].outLength, reads[1].outLength);
    EXPECT_TRUE(eventually([this] { return probe().requests(CTL_ABORT_PIPE).size() >= 4; }));
    EXPECT_EQ(abortsOf(probe().requests(), reads[0].connection).pipes, (std::vector<uint32_t>{1, 3, 0, 5}));
    EXPECT_EQ(client().link().watchdogAborts(), 1u);
    probe().intercept(nullptr);
    EXPECT_EQ(client().close(fd), 0);
}

TEST_F(FilexWatchdogTest, StalledWriteAndStatusPhasesAreAbortedToo) {
    const int32_t fd = client().open("/v.bin", OPEN_REPLACE);
    ASSERT_GT(fd, 0);
    ASSERT_EQ(device().command("stall 1"), "ok");
    probe().clear();
    EXPECT_EQ(client().write(fd, "abc", 3), -1);
    const auto writes = probe().requests(CTL_BULK_WRITE, driver::PIPE_DATA_OUT);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_TRUE(eventually([this] { return probe().requests(CTL_ABORT_PIPE).size() >= THREE_ROUNDS.size(); }));
    EXPECT_EQ(abortsOf(probe().requests(), writes[0].connection).pipes, THREE_ROUNDS);
    EXPECT_TRUE(probe().requests(CTL_BULK_READ).empty());

    ASSERT_EQ(device().command("stall 1"), "ok");
    probe().clear();
    EXPECT_EQ(client().fsync(fd), -1);
    EXPECT_EQ(probe().requests(CTL_BULK_READ, driver::PIPE_STATUS).size(), 3u);
    EXPECT_TRUE(eventually([this] { return probe().requests(CTL_ABORT_PIPE).size() >= THREE_ROUNDS.size(); }));

    EXPECT_EQ(client().close(fd), 0);
    EXPECT_EQ(getFile(client(), "/v.bin"), std::vector<uint8_t>{}) << "the stalled write took nothing";
    EXPECT_EQ(client().link().watchdogAborts(), 6u);
}

}  // namespace kestrel::filex::test
