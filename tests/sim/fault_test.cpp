// Injected faults: factory-bad blocks, failing program and erase, bit flips
// in read answers, and commands that stall until the host aborts them.
#include "tests/sim/device_fixture.h"

#include "platform/driver_interface.h"

namespace kestrel::sim::test {

namespace {

constexpr uint8_t READY = 0x40, FAIL = 0x01;
constexpr uint8_t OP_READ_ID = 6, OP_PROGRAM = 4;

uint8_t statusAfter(DeviceClient& client) {
    uint8_t status = 0;
    EXPECT_TRUE(client.waitReady(status));
    return status;
}

std::vector<uint8_t> page(DeviceClient& client, uint32_t number, uint32_t pageBytes) {
    std::vector<uint8_t> answer;
    EXPECT_TRUE(client.readPages(number, 1, answer));
    answer.resize(pageBytes);
    return answer;
}

}  // namespace

class FaultTest : public DeviceTest {
protected:
    void checkFactoryBadBlock(TestDevice& device, uint32_t badBlock) {
        const CardGeometry g = geometryOf(device);
        DeviceClient client = fileSystemClient(device);
        std::vector<uint8_t> spares;
        ASSERT_TRUE(client.readSpares(badBlock * g.pagesPerBlock, 2, spares));
        EXPECT_EQ(spares[BLOCK_STATUS_BYTE], FACTORY_BAD_MARK) << "block status byte of the first page";
        EXPECT_EQ(spares[64 + BLOCK_STATUS_BYTE], 0xFF) << "only the first page carries the mark";
        ASSERT_TRUE(client.readSpares((badBlock + 1) * g.pagesPerBlock, 1, spares));
        EXPECT_EQ(spares[BLOCK_STATUS_BYTE], 0xFF);
        const uint64_t markOffset = uint64_t{badBlock} * g.pagesPerBlock * g.pageBytes() + g.pageSize + 5;
        EXPECT_EQ(readFileRange(nandPath(device), markOffset, 1), std::vector<uint8_t>{0x00});
    }
};

TEST_P(FaultTest, FactoryBadBlocksCarryTheMarkOnBothPageSizes) {
    checkFactoryBadBlock(small(), SMALL_BAD_BLOCK);
    checkFactoryBadBlock(large(), LARGE_BAD_BLOCK);
}

TEST_P(FaultTest, FailingProgramSetsTheFailBitAndLeavesThePage) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    const uint32_t failing = 12 * g.pagesPerBlock + 2;
    const uint32_t good = 13 * g.pagesPerBlock;
    for (uint32_t p : {failing, good}) {
        ASSERT_TRUE(client.eraseBlock(p));
        ASSERT_EQ(statusAfter(client), READY);
    }
    ASSERT_EQ(large().command("fail-program 12"), "ok");
    ASSERT_TRUE(client.programPage(failing, pattern(g.pageBytes(), 8)));
    EXPECT_EQ(statusAfter(client), READY | FAIL);
    EXPECT_EQ(statusAfter(client), READY | FAIL) << "the fail bit stays until the next program or erase";
    EXPECT_EQ(page(client, failing, g.pageBytes()), std::vector<uint8_t>(g.pageBytes(), 0xFF));

    const auto data = pattern(g.pageBytes(), 9);
    ASSERT_TRUE(client.programPage(good, data));
    EXPECT_EQ(statusAfter(client), READY);
    EXPECT_EQ(page(client, good, g.pageBytes()), data);
}

TEST_P(FaultTest, FailingEraseSetsTheFailBitAndLeavesTheBlock) {
    const CardGeometry g = geometryOf(small());
    DeviceClient client = fileSystemClient(small());
    const uint32_t first = 30 * g.pagesPerBlock;
    ASSERT_TRUE(client.eraseBlock(first));
    ASSERT_EQ(statusAfter(client), READY);
    const auto data = pattern(g.pageBytes(), 10);
    ASSERT_TRUE(client.programPage(first + 4, data));
    ASSERT_EQ(statusAfter(client), READY);

    ASSERT_EQ(small().command("fail-erase 30"), "ok");
    ASSERT_TRUE(client.eraseBlock(first));
    EXPECT_EQ(statusAfter(client), READY | FAIL);
    EXPECT_EQ(page(client, first + 4, g.pageBytes()), data);
    EXPECT_NE(small().command("fail-erase 512").find("error"), std::string::npos) << "beyond the 2 MB card";
}

TEST_P(FaultTest, BitFlipsChangeReadAnswersButNotTheCard) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    const uint32_t target = 14 * g.pagesPerBlock;
    ASSERT_TRUE(client.eraseBlock(target));
    ASSERT_EQ(statusAfter(client), READY);
    const auto data = pattern(g.pageBytes(), 11);
    ASSERT_TRUE(client.programPage(target, data));
    ASSERT_EQ(statusAfter(client), READY);

    ASSERT_EQ(large().command("flip " + std::to_string(target) + " 100 3"), "ok");
    ASSERT_EQ(large().command("flip " + std::to_string(target) + " 514 0"), "ok");  // spare byte 2
    auto expected = data;
    expected[100] ^= 0x08;
    expected[514] ^= 0x01;
    EXPECT_EQ(page(client, target, g.pageBytes()), expected);
    EXPECT_EQ(page(client, target, g.pageBytes()), expected) << "on every read";
    std::vector<uint8_t> spare;
    ASSERT_TRUE(client.readSpares(target, 1, spare));
    EXPECT_EQ(spare[2], data[514] ^ 0x01);
    EXPECT_EQ(readFileRange(nandPath(large()), uint64_t{target} * g.pageBytes(), g.pageBytes()), data);
}

TEST_P(FaultTest, StalledCommandAnswersNothingUntilAborted) {
    DeviceClient client = fileSystemClient(large());
    DeviceClient other = secondClient(large());
    ASSERT_EQ(large().command("stall 2"), "ok");
    uint8_t id[4] = {};
    ASSERT_TRUE(client.readId(id)) << "the first command still answers";

    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_ID, 0, 1)));
    PendingRequest read(
        [&client] {
            uint8_t data[64];
            return client.bulkRead(driver::PIPE_DATA_IN, data, 64);
        },
        large());
    ASSERT_TRUE(read.waitUntilBlocked());
    EXPECT_FALSE(read.finished());
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    const auto r = read.result();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, driver::ERR_OPERATION_ABORTED);

    EXPECT_TRUE(client.readId(id)) << "the next command starts clean";
    EXPECT_EQ(id[1], MAKER_EC);
}

TEST_P(FaultTest, StalledProgramNeverTakesItsDataPhase) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    DeviceClient other = secondClient(large());
    const uint32_t target = 15 * g.pagesPerBlock;
    ASSERT_TRUE(client.eraseBlock(target));
    ASSERT_EQ(statusAfter(client), READY);
    ASSERT_EQ(large().command("stall 1"), "ok");

    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_PROGRAM, target, 528)));
    const auto data = pattern(576, 12);
    PendingRequest write([&client, &data] { return client.bulkWrite(driver::PIPE_DATA_OUT, data.data(), 576); },
                         large());
    ASSERT_TRUE(write.waitUntilBlocked());
    EXPECT_FALSE(write.finished());
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    ASSERT_TRUE(other.abortPipe(driver::PIPE_COMMAND).ok);
    EXPECT_FALSE(write.finished()) << "only an abort of the data-out pipe ends it";
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_OUT).ok);
    const auto r = write.result();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, driver::ERR_OPERATION_ABORTED);

    EXPECT_EQ(statusAfter(client), READY);
    EXPECT_EQ(page(client, target, g.pageBytes()), std::vector<uint8_t>(g.pageBytes(), 0xFF));
}

TEST_P(FaultTest, BadCommandsAreRefused) {
    EXPECT_NE(large().command("stall").find("error"), std::string::npos);
    EXPECT_NE(large().command("flip 1 528 0").find("error"), std::string::npos) << "byte beyond data and spare";
    EXPECT_NE(large().command("flip 1 2 8").find("error"), std::string::npos) << "bit beyond 7";
    EXPECT_NE(large().command("fail-program x").find("error"), std::string::npos);
    EXPECT_NE(large().command("explode").find("error"), std::string::npos);
    EXPECT_NE(large().command("").find("error"), std::string::npos);
}

TEST(DeviceConfigFaultsTest, FaultsOfDeviceConfApplyFromPowerOnAndAgainAfterReset) {
    TempFolder folder;
    auto config = defaultDeviceConfig(4, MAKER_98);
    config->failErase = {4};
    config->failProgram = {5};
    config->flips = {{6 * 16, 1, 7}};
    config->stallCommand = 5;
    ASSERT_TRUE(createFolder(folder.path(), *config));
    auto device = openTestDevice(Transport::InProcess, folder.path());
    ASSERT_TRUE(device);
    Watchdog watchdog([&device] { device->command("unplug"); });

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "after power-on" : "after reset");
        DeviceClient client = device->client();
        ASSERT_TRUE(client.open());
        ASSERT_TRUE(client.loadFirmware(readFile(siblingFile("vxb_ffs.bix")), PATIENCE_MS));
        DeviceClient other = device->client();
        ASSERT_TRUE(other.open());
        uint8_t status = 0;
        ASSERT_TRUE(client.eraseBlock(4 * 16));     // command 1
        ASSERT_TRUE(client.readStatus(status));     // command 2: still busy
        ASSERT_TRUE(client.readStatus(status));     // command 3
        EXPECT_EQ(status, READY | FAIL) << "erase of block 4 fails";
        ASSERT_TRUE(client.programPage(5 * 16, pattern(528, 13)));  // command 4

        ASSERT_TRUE(client.sendPacket(DeviceClient::packet(9, 0, 1)));  // command 5 stalls
        PendingRequest read(
            [&client] {
                uint8_t data[64];
                return client.bulkRead(driver::PIPE_DATA_IN, data, 64);
            },
            *device);
        ASSERT_TRUE(read.waitUntilBlocked());
        ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
        EXPECT_EQ(read.result().error, driver::ERR_OPERATION_ABORTED);

        EXPECT_EQ(statusAfter(client), READY | FAIL) << "program of block 5 fails";
        std::vector<uint8_t> answer;
        ASSERT_TRUE(client.readPages(6 * 16, 1, answer));
        EXPECT_EQ(answer[1], 0x7F) << "bit 7 of byte 1 flipped";
        ASSERT_EQ(device->command("reset"), "ok");
    }
}

// One test suite per transport: each brings up its own devices.
INSTANTIATE_TEST_SUITE_P(InProcess, FaultTest, ::testing::Values(Transport::InProcess), transportParamName);
INSTANTIATE_TEST_SUITE_P(Ksim, FaultTest, ::testing::Values(Transport::Ksim), transportParamName);

}  // namespace kestrel::sim::test
