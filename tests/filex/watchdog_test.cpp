// The transport's watchdog: a transfer that never completes is aborted
// after 8000 ms (80 ms at the tests' time scale) through a second handle,
// pipes 1, 3, 0 and 5 in this order; three aborted attempts end the
// exchange, and the next one starts clean.
#include "tests/filex/filex_fixture.h"

#include "platform/clock.h"
#include "platform/driver_interface.h"

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

}  // namespace

using FilexWatchdogTest = FilexTest;

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
