// The link's life: the watchdog ending a stalled command, the restart of a
// closed link, and a link that runs without a device.
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "tests/usblink/link_fixture.h"

#include <algorithm>
#include <functional>

namespace kestrel::usblink::test {
namespace {

bool traced(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

using LinkLifeTest = LinkTest;

constexpr double BOUND_TIME_SCALE = 0.05;

TEST_F(LinkLifeTest, WatchdogAbortsAStalledCommandThroughASecondHandle) {
    startLink();
    ASSERT_EQ(simCommand("stall 1"), "ok");
    std::vector<uint8_t> page(PAGE_ANSWER_LENGTH);
    const uint64_t start = platform::tickMs();
    EXPECT_EQ(device().commands().readSM(0, 0x20, 1, page.data()), 0u);
    // Generous: the point is that the watchdog waited, not how precisely.
    EXPECT_GE(platform::tickMs() - start, WATCHDOG_TIMEOUT_MS / 2);
    EXPECT_TRUE(traced(traceLines(), "\n*** BULK_READ failed\n"));

    // The first abort ends the command; the watchdog sends the other two
    // while the command returns.
    EXPECT_TRUE(recorder().waitFor(driver::CTL_ABORT_PIPE, RequestRecorder::ANY_PIPE, 3, sim::test::PATIENCE_MS));
    const auto aborts = recorder().requests(driver::CTL_ABORT_PIPE);
    ASSERT_EQ(aborts.size(), 3u);
    EXPECT_EQ(aborts[0].pipe, driver::PIPE_DATA_IN);
    EXPECT_EQ(aborts[1].pipe, driver::PIPE_COMMAND);
    EXPECT_EQ(aborts[2].pipe, driver::PIPE_DATA_OUT);
    const uint32_t linkHandle = packets().at(0).connection;
    for (const auto& abort : aborts) EXPECT_NE(abort.connection, linkHandle);

    recorder().clear();
    EXPECT_EQ(device().commands().readSM(0, 0x20, 1, page.data()), 1u);
    EXPECT_EQ(dataReads().size(), 1u);
    EXPECT_TRUE(recorder().requests(driver::CTL_ABORT_PIPE).empty());
}

// However a command stalls, it ends within the watchdog's two waits: the
// abort after the first one ends it. A missed bound costs one more wait;
// at the tests' usual time scale that is 50 ms of real time, no more than
// a busy machine's scheduling delays, so this case runs at a time scale of
// its own (its CTest entry) and is skipped at smaller ones.
TEST_F(LinkLifeTest, StalledCommandEndsWithinTheWatchdogsTwoWaits) {
    if (platform::timeScale() < BOUND_TIME_SCALE) GTEST_SKIP() << "needs KESTREL_TIME_SCALE >= 0.05";
    startLink();
    std::vector<uint8_t> page(PAGE_ANSWER_LENGTH);
    const auto timed = [&](const std::function<uint32_t()>& command) {
        const uint64_t start = platform::tickMs();
        EXPECT_EQ(command(), 0u);
        return platform::tickMs() - start;
    };
    // The read ends with the first abort; the watchdog's other two come
    // late, while the next command has started already.
    recorder().delayRequests(driver::CTL_ABORT_PIPE, driver::PIPE_COMMAND, 40);
    recorder().delayRequests(driver::CTL_ABORT_PIPE, driver::PIPE_DATA_OUT, 40);
    ASSERT_EQ(simCommand("stall 1"), "ok");
    const uint64_t read = timed([&] { return device().commands().readSM(0, 0x20, 1, page.data()); });
    ASSERT_EQ(simCommand("stall 1"), "ok");
    const uint64_t write = timed([&] { return device().commands().writeSM(0, 0x20, 528, page.data()); });
    for (const uint64_t elapsed : {read, write}) {
        EXPECT_GE(elapsed, WATCHDOG_TIMEOUT_MS / 2);
        EXPECT_LT(elapsed, 2 * WATCHDOG_TIMEOUT_MS) << "read " << read << ", write " << write;
    }
    // The link works again at once.
    const uint64_t start = platform::tickMs();
    EXPECT_EQ(device().commands().readSM(0, 0x20, 1, page.data()), 1u);
    EXPECT_LT(platform::tickMs() - start, WATCHDOG_TIMEOUT_MS / 2);
}

TEST_F(LinkLifeTest, CommandAfterCloseLinkRestartsTheLinkWithoutDownload) {
    startLink();
    EXPECT_TRUE(device().link().CloseLink());
    EXPECT_FALSE(device().link().running());
    recorder().clear();

    uint8_t id[ID_ANSWER_LENGTH] = {};
    EXPECT_EQ(device().commands().readID(0, id), 1u);
    EXPECT_TRUE(device().link().running());
    EXPECT_EQ(id[1], CARD_MAKER);
    // The restart must carry the command that caused it, not an empty record.
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sent.at(0), OP_READ_ID);
    EXPECT_EQ(dataReads().size(), 1u);
    EXPECT_TRUE(recorder().requests(driver::CTL_DOWNLOAD).empty());
    EXPECT_TRUE(recorder().requests(driver::CTL_VENDOR_REQUEST).empty());
    EXPECT_EQ(recorder().requests(driver::CTL_GET_PIPE_INFO).size(), 1u);
    const auto resets = recorder().requests(driver::CTL_RESET_PIPE);
    ASSERT_EQ(resets.size(), 6u);
    for (uint32_t pipe = 0; pipe < resets.size(); ++pipe) EXPECT_EQ(resets[pipe].pipe, pipe);
}

TEST_F(LinkLifeTest, StartingARunningLinkAgainReplacesItsWatchdog) {
    startLink();
    Link& link = device().link();
    ASSERT_TRUE(link.InitLink());
    EXPECT_TRUE(link.running());
    uint8_t id[ID_ANSWER_LENGTH] = {};
    EXPECT_EQ(device().commands().readID(0, id), 1u);
    EXPECT_EQ(id[1], CARD_MAKER);
    EXPECT_TRUE(link.CloseLink());
    EXPECT_FALSE(link.running());
}

TEST_F(LinkLifeTest, LinkWithoutDeviceStartsButEveryCommandFails) {
    ASSERT_EQ(simCommand("unplug"), "ok");
    Link& link = device().link();
    EXPECT_TRUE(link.InitLink());
    EXPECT_TRUE(traced(traceLines(), "*** InitLink initpipe failed\n"));

    uint8_t status[STATUS_ANSWER_LENGTH] = {};
    EXPECT_EQ(device().commands().getStatus(0, status), 0u);
    EXPECT_TRUE(traced(traceLines(), "\n*** BULK_WRITE failed\n"));
    EXPECT_TRUE(link.CloseLink());
    EXPECT_TRUE(traced(traceLines(), "*** Reset/abort pipes failed\n"));
    EXPECT_FALSE(link.running());
}

}  // namespace
}  // namespace kestrel::usblink::test
