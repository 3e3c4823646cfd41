// The EZ-USB controller as the driver sees it: opening, pipe information and
// pipe requests, the x51 hold/download/release cycle with re-enumeration,
// unplugging, and blocked reads ended by aborts from another handle.
#include "tests/sim/device_fixture.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <chrono>

namespace kestrel::sim::test {

namespace {

using namespace std::chrono;

constexpr uint8_t OP_READ_ID = 6;
constexpr uint8_t OP_STATUS = 9;

platform::ControlResult pipeInfo(DeviceClient& client, uint32_t length = driver::PIPE_INFO_LENGTH) {
    std::vector<uint8_t> info(length);
    return client.control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info.data(), length);
}

// A bulk read on the data-in pipe, on its own thread.
std::function<platform::ControlResult()> readDataIn(DeviceClient& client, uint32_t length = 64) {
    return [&client, length] {
        std::vector<uint8_t> data(length);
        return client.bulkRead(driver::PIPE_DATA_IN, data.data(), length);
    };
}

void expectError(const platform::ControlResult& r, uint32_t error) {
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, error);
}

}  // namespace

TEST_P(DeviceTest, OpensOnlyItsOwnName) {
    uint32_t error = 0;
    EXPECT_NE(large().provider()->open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error), nullptr);
    EXPECT_EQ(large().provider()->open("QlxUsb-1", driver::ACCESS_WRITE, driver::SHARE_WRITE, error), nullptr);
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
}

TEST_P(DeviceTest, ReportsSixPipesAndChecksPipeRequests) {
    DeviceClient client = secondClient(large());
    std::vector<uint8_t> info(driver::PIPE_INFO_LENGTH, 0xEE);
    const auto r = client.control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info.data(), driver::PIPE_INFO_LENGTH);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, driver::PIPE_INFO_LENGTH);
    EXPECT_EQ(loadLe32(info.data() + driver::PIPE_INFO_COUNT_OFFSET), driver::PIPE_COUNT);
    EXPECT_EQ(info.back(), 0) << "the rest of the answer is filled in";
    expectError(pipeInfo(client, 16), driver::ERR_INVALID_PARAMETER);

    for (uint32_t pipe = 0; pipe < driver::PIPE_COUNT; ++pipe) {
        EXPECT_TRUE(client.resetPipe(pipe).ok) << pipe;
        EXPECT_TRUE(client.abortPipe(pipe).ok) << pipe;
    }
    expectError(client.resetPipe(driver::PIPE_COUNT), driver::ERR_INVALID_PARAMETER);
    expectError(client.abortPipe(0xFFFFFFFF), driver::ERR_INVALID_PARAMETER);
    uint8_t shortIndex[2] = {1, 0};
    expectError(client.control(driver::CTL_ABORT_PIPE, shortIndex, 2, nullptr, 0), driver::ERR_INVALID_PARAMETER);
    uint8_t data[64] = {};
    expectError(client.bulkRead(driver::PIPE_COMMAND, data, 64), driver::ERR_INVALID_PARAMETER);
    expectError(client.bulkWrite(driver::PIPE_DATA_IN, data, 64), driver::ERR_INVALID_PARAMETER);
    expectError(client.bulkRead(9, data, 64), driver::ERR_INVALID_PARAMETER);
    expectError(client.control(0x222FF0, nullptr, 0, nullptr, 0), driver::ERR_INVALID_FUNCTION);
    expectError(client.control(driver::CTL_VENDOR_REQUEST, data, 9, nullptr, 0), driver::ERR_INVALID_PARAMETER);
    expectError(client.download(0xFFC0, std::vector<uint8_t>(128, 1)), driver::ERR_INVALID_PARAMETER);
}

TEST_P(DeviceTest, MainFirmwareAtPowerOnAnswersNothing) {
    DeviceClient client = secondClient(large());
    DeviceClient other = secondClient(large());
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_ID, 0, 1)));
    PendingRequest read(readDataIn(client), large());
    ASSERT_TRUE(read.waitUntilBlocked());
    EXPECT_FALSE(read.finished());
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    expectError(read.result(), driver::ERR_OPERATION_ABORTED);
}

TEST_P(DeviceTest, ReleaseReenumeratesIntoTheDownloadedImage) {
    ASSERT_EQ(large().command("reenumerate-ms 100000"), "ok");  // 1 s at the tests' time scale
    DeviceClient client = secondClient(large());
    DeviceClient bystander = secondClient(large());
    ASSERT_TRUE(client.setCpuHeld(true).ok);
    ASSERT_TRUE(client.download(0, readFile(siblingFile("vxb_ffs.bix"))).ok);
    const auto released = steady_clock::now();
    ASSERT_TRUE(client.setCpuHeld(false).ok);

    expectError(pipeInfo(client), driver::ERR_DEVICE_NOT_CONNECTED);
    expectError(pipeInfo(bystander), driver::ERR_DEVICE_NOT_CONNECTED);
    uint32_t error = 0;
    DeviceClient reopened = large().client();
    EXPECT_FALSE(reopened.open(&error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);

    ASSERT_TRUE(reopened.waitForDevice(PATIENCE_MS));
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - released).count(), 900)
        << "back before the re-enumeration delay";
    expectError(pipeInfo(client), driver::ERR_DEVICE_NOT_CONNECTED);  // old handles stay dead
    uint8_t id[4] = {};
    ASSERT_TRUE(reopened.readId(id));
    EXPECT_EQ(id[1], MAKER_EC);
    EXPECT_EQ(large().command("stats").find("firmware = ffs") != std::string::npos, true);
}

TEST_P(DeviceTest, ReleaseWithoutDownloadRunsWhatMemoryHolds) {
    DeviceClient client = fileSystemClient(large());
    ASSERT_TRUE(client.loadFirmware({}, PATIENCE_MS));
    uint8_t id[4] = {};
    EXPECT_TRUE(client.readId(id)) << "the file-system firmware still runs";

    ASSERT_TRUE(client.loadFirmware(readFile(siblingFile("vxb_main.bix")), PATIENCE_MS));
    EXPECT_NE(large().command("stats").find("firmware = main"), std::string::npos);
    DeviceClient other = secondClient(large());
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_STATUS, 0, 1)));
    PendingRequest read(readDataIn(client), large());
    ASSERT_TRUE(read.waitUntilBlocked());
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    expectError(read.result(), driver::ERR_OPERATION_ABORTED);
}

TEST_P(DeviceTest, ImageWithoutTagRunsNothing) {
    DeviceClient client = fileSystemClient(large());
    ASSERT_TRUE(client.loadFirmware(std::vector<uint8_t>(4096, 0x00), PATIENCE_MS));
    EXPECT_NE(large().command("stats").find("firmware = none"), std::string::npos);
    DeviceClient other = secondClient(large());
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_ID, 0, 1)));
    PendingRequest read(readDataIn(client), large());
    ASSERT_TRUE(read.waitUntilBlocked());
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    expectError(read.result(), driver::ERR_OPERATION_ABORTED);
}

TEST_P(DeviceTest, AbortEndsOnlyTheReadsPendingAtThatMoment) {
    DeviceClient client = fileSystemClient(large());
    DeviceClient other = secondClient(large());
    {
        PendingRequest read(readDataIn(client), large());
        ASSERT_TRUE(read.waitUntilBlocked());
        ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_OUT).ok);  // another pipe: no effect
        EXPECT_FALSE(read.finished());
        ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
        expectError(read.result(), driver::ERR_OPERATION_ABORTED);
    }
    uint8_t status = 0;
    EXPECT_TRUE(client.readStatus(status)) << "a read after the abort gets its answer";
    EXPECT_EQ(status, 0x40);

    PendingRequest again(readDataIn(client), large());
    ASSERT_TRUE(again.waitUntilBlocked());
    EXPECT_FALSE(again.finished()) << "the earlier abort does not end later reads";
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    expectError(again.result(), driver::ERR_OPERATION_ABORTED);
}

TEST_P(DeviceTest, UnplugFailsHandlesAndOpensUntilReplug) {
    DeviceClient client = fileSystemClient(large());
    PendingRequest read(readDataIn(client), large());
    ASSERT_TRUE(read.waitUntilBlocked());
    ASSERT_EQ(large().command("unplug"), "ok");
    expectError(read.result(), driver::ERR_DEVICE_NOT_CONNECTED);
    expectError(pipeInfo(client), driver::ERR_DEVICE_NOT_CONNECTED);
    uint32_t error = 0;
    DeviceClient reopened = large().client();
    EXPECT_FALSE(reopened.open(&error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);

    ASSERT_EQ(large().command("replug"), "ok");
    ASSERT_TRUE(reopened.open());
    EXPECT_EQ(reopened.pipeCount(), 6);
    expectError(pipeInfo(client), driver::ERR_DEVICE_NOT_CONNECTED);
    EXPECT_NE(large().command("stats").find("firmware = main"), std::string::npos) << "a replug powers the device on";
}

// One test suite per transport: each brings up its own devices.
INSTANTIATE_TEST_SUITE_P(InProcess, DeviceTest, ::testing::Values(Transport::InProcess), transportParamName);
INSTANTIATE_TEST_SUITE_P(Ksim, DeviceTest, ::testing::Values(Transport::Ksim), transportParamName);

}  // namespace kestrel::sim::test
