// The file-system firmware's commands on both page sizes: answers and their
// lengths, NAND programming and erasing (checked on the card and in
// nand.bin), the status register, the boot EEPROM, addresses beyond the
// card, and the modelled device time and counters.
#include "tests/sim/device_fixture.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <algorithm>

namespace kestrel::sim::test {

namespace {

constexpr uint8_t OP_READ_PAGES = 2, OP_READ_SPARES = 3, OP_PROGRAM = 4, OP_ERASE = 5, OP_STATUS = 9;
constexpr uint8_t READY = 0x40, FAIL = 0x01;

std::vector<uint8_t> readRaw(DeviceClient& client, uint32_t length) {
    std::vector<uint8_t> data(length);
    const auto r = client.bulkRead(driver::PIPE_DATA_IN, data.data(), length);
    EXPECT_TRUE(r.ok) << r.error;
    data.resize(r.ok ? r.bytes : 0);
    return data;
}

std::vector<uint8_t> page(DeviceClient& client, uint32_t number, uint32_t pageBytes) {
    std::vector<uint8_t> answer;
    EXPECT_TRUE(client.readPages(number, 1, answer));
    answer.resize(pageBytes);
    return answer;
}

uint8_t statusAfter(DeviceClient& client) {
    uint8_t status = 0;
    EXPECT_TRUE(client.waitReady(status));
    return status;
}

}  // namespace

class CardCommandsTest : public DeviceTest {
protected:
    // Each card command on `device`, answers checked byte by byte.
    void checkAnswers(TestDevice& device) {
        const CardGeometry g = geometryOf(device);
        DeviceClient client = fileSystemClient(device);
        const uint32_t first = 7 * g.pagesPerBlock;
        ASSERT_TRUE(client.eraseBlock(first));
        ASSERT_EQ(statusAfter(client), READY);
        const auto written = pattern(g.pageBytes(), 1);
        ASSERT_TRUE(client.programPage(first + 1, written));
        ASSERT_EQ(statusAfter(client), READY);

        ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_PAGES, first, 3)));
        const auto pages = readRaw(client, 2048);
        ASSERT_EQ(pages.size(), 3u * 576) << "a read returns what the answer holds, not what was asked";
        EXPECT_TRUE(std::all_of(pages.begin(), pages.begin() + 576, [](uint8_t b) { return b == 0xFF; }));
        EXPECT_TRUE(std::equal(written.begin(), written.end(), pages.begin() + 576));
        EXPECT_TRUE(std::all_of(pages.begin() + 576 + g.pageBytes(), pages.begin() + 1152,
                                [](uint8_t b) { return b == 0xFF; }))
            << "filler after the spare area";

        ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_SPARES, first + 1, 2)));
        const auto part = readRaw(client, 64);
        const auto rest = readRaw(client, 512);
        ASSERT_EQ(part.size(), 64u);
        ASSERT_EQ(rest.size(), 64u) << "two pages of 64 bytes, read in two pieces";
        EXPECT_TRUE(std::equal(written.begin() + g.pageSize, written.end(), part.begin()));
        EXPECT_EQ(part[g.spareSize], 0xFF);
        EXPECT_EQ(rest[0], 0xFF);

        uint8_t id[4] = {};
        ASSERT_TRUE(client.sendPacket(DeviceClient::packet(6, 0, 1)));
        const auto idAnswer = readRaw(client, 64);
        ASSERT_EQ(idAnswer.size(), 4u);
        std::copy(idAnswer.begin(), idAnswer.end(), id);
        EXPECT_EQ(id[1], g.maker);
        EXPECT_EQ(id[2], g.deviceCode);
        ASSERT_TRUE(identifyCard(id[1], id[2]));
        EXPECT_EQ(identifyCard(id[1], id[2])->sizeMb, g.sizeMb);

        ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_STATUS, 0, 1)));
        const auto status = readRaw(client, 64);
        ASSERT_EQ(status.size(), 2u);
        EXPECT_EQ(status[1], READY);
    }

    // Programming ANDs into page data and spare; erase restores the whole
    // block and nothing else. nand.bin follows at once.
    void checkProgramAndErase(TestDevice& device) {
        const CardGeometry g = geometryOf(device);
        DeviceClient client = fileSystemClient(device);
        const uint32_t block = 9;
        const uint32_t first = block * g.pagesPerBlock;
        const uint32_t target = first + g.pagesPerBlock - 1;  // the block's last page
        const uint32_t neighbour = first + g.pagesPerBlock;    // next block's first page
        for (uint32_t b : {block, block + 1}) {
            ASSERT_TRUE(client.eraseBlock(b * g.pagesPerBlock));
            ASSERT_EQ(statusAfter(client), READY);
        }
        const auto a = pattern(g.pageBytes(), 2);
        const auto b = pattern(g.pageBytes(), 3);
        ASSERT_TRUE(client.programPage(target, a));
        ASSERT_EQ(statusAfter(client), READY);
        ASSERT_TRUE(client.programPage(target, b));
        ASSERT_EQ(statusAfter(client), READY);
        ASSERT_TRUE(client.programPage(neighbour, a));
        ASSERT_EQ(statusAfter(client), READY);
        ASSERT_TRUE(client.programPage(first, a));
        ASSERT_EQ(statusAfter(client), READY);

        std::vector<uint8_t> anded(g.pageBytes());
        for (size_t i = 0; i < anded.size(); ++i) anded[i] = a[i] & b[i];
        EXPECT_EQ(page(client, target, g.pageBytes()), anded);
        EXPECT_EQ(readFileRange(nandPath(device), uint64_t{target} * g.pageBytes(), g.pageBytes()), anded)
            << "nand.bin holds the page, data then spare";

        ASSERT_TRUE(client.eraseBlock(first + 3));  // any page of the block
        ASSERT_EQ(statusAfter(client), READY);
        const std::vector<uint8_t> erased(g.pageBytes(), 0xFF);
        EXPECT_EQ(page(client, target, g.pageBytes()), erased);
        EXPECT_EQ(page(client, first, g.pageBytes()), erased);
        EXPECT_EQ(page(client, neighbour, g.pageBytes()), a) << "the next block is untouched";
        EXPECT_EQ(readFileRange(nandPath(device), uint64_t{first} * g.pageBytes(), g.pageBytes()), erased);
    }
};

TEST_P(CardCommandsTest, AnswersHaveTheirLayoutAndLengthOnBothPageSizes) {
    checkAnswers(small());
    checkAnswers(large());
}

TEST_P(CardCommandsTest, ProgramAndsAndEraseClearsTheBlockOnBothPageSizes) {
    checkProgramAndErase(small());
    checkProgramAndErase(large());
}

TEST_P(CardCommandsTest, ProgramTakesCountBytesFromPaddedTransfers) {
    const CardGeometry g = geometryOf(small());
    DeviceClient client = fileSystemClient(small());
    const uint32_t target = 20 * g.pagesPerBlock;
    ASSERT_TRUE(client.eraseBlock(target));
    ASSERT_EQ(statusAfter(client), READY);
    const auto data = pattern(g.pageBytes(), 4);  // 264 bytes
    const uint64_t programsBefore = small().stat("page_programs");
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_PROGRAM, target, static_cast<uint16_t>(data.size()))));
    std::vector<uint8_t> transfer(320, 0x00);  // padding of zeros must not reach the card
    std::copy(data.begin(), data.end(), transfer.begin());
    ASSERT_TRUE(client.bulkWrite(driver::PIPE_DATA_OUT, transfer.data(), 128).ok);
    ASSERT_TRUE(client.bulkWrite(driver::PIPE_DATA_OUT, transfer.data() + 128, 192).ok);
    ASSERT_EQ(statusAfter(client), READY);
    EXPECT_EQ(page(client, target, g.pageBytes()), data);
    EXPECT_EQ(page(client, target + 1, g.pageBytes()), std::vector<uint8_t>(g.pageBytes(), 0xFF));
    EXPECT_EQ(small().stat("page_programs") - programsBefore, 1u);
}

TEST_P(CardCommandsTest, NewCommandDiscardsUnreadAnswersAndUnfinishedDataPhases) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    const uint32_t target = 11 * g.pagesPerBlock;
    ASSERT_TRUE(client.eraseBlock(target));
    ASSERT_EQ(statusAfter(client), READY);

    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_PAGES, target, 4)));
    ASSERT_EQ(readRaw(client, 64).size(), 64u);
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_STATUS, 0, 1)));
    EXPECT_EQ(readRaw(client, 2048).size(), 2u) << "the rest of the page answer is gone";

    // A command without an answer leaves nothing to read either.
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_READ_PAGES, target, 1)));
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_ERASE, target, 0)));
    DeviceClient other = secondClient(large());
    PendingRequest read(
        [&client] {
            uint8_t data[64];
            return client.bulkRead(driver::PIPE_DATA_IN, data, 64);
        },
        large());
    ASSERT_TRUE(read.waitUntilBlocked());
    EXPECT_FALSE(read.finished()) << "the page answer was dropped by the erase command";
    ASSERT_TRUE(other.abortPipe(driver::PIPE_DATA_IN).ok);
    EXPECT_EQ(read.result().error, driver::ERR_OPERATION_ABORTED);
    ASSERT_EQ(statusAfter(client), READY);

    const auto data = pattern(576, 5);
    const uint64_t programsBefore = large().stat("page_programs");
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(OP_PROGRAM, target, 528)));
    ASSERT_TRUE(client.bulkWrite(driver::PIPE_DATA_OUT, data.data(), 64).ok);
    uint8_t status = 0;
    ASSERT_TRUE(client.readStatus(status));
    ASSERT_TRUE(client.bulkWrite(driver::PIPE_DATA_OUT, data.data() + 64, 512).ok);
    EXPECT_EQ(page(client, target, g.pageBytes()), std::vector<uint8_t>(g.pageBytes(), 0xFF));
    EXPECT_EQ(large().stat("page_programs"), programsBefore);
}

TEST_P(CardCommandsTest, StatusIsBusyWhileTheModelledEraseRuns) {
    DeviceClient client = fileSystemClient(large());
    uint8_t status = 0xEE;
    ASSERT_TRUE(client.eraseBlock(64));
    ASSERT_TRUE(client.readStatus(status));
    EXPECT_EQ(status & READY, 0) << "1 ms after the erase began, 2 ms of erase";
    ASSERT_TRUE(client.readStatus(status));
    EXPECT_EQ(status, READY);
}

TEST_P(CardCommandsTest, ModelledTimeCountsFramesAndWaitsForTheCard) {
    DeviceClient client = fileSystemClient(large());
    uint8_t status = 0;
    uint64_t before = large().stat("modelled_us");
    ASSERT_TRUE(client.readStatus(status));
    EXPECT_EQ(large().stat("modelled_us") - before, 2000u) << "two requests, one frame each";

    before = large().stat("modelled_us");
    std::vector<uint8_t> answer;
    ASSERT_TRUE(client.readPages(64, 4, answer));  // packet, then 2048 + 256 bytes
    EXPECT_EQ(large().stat("modelled_us") - before, 4000u) << "1 + 2 + 1 frames";

    before = large().stat("modelled_us");
    ASSERT_TRUE(client.eraseBlock(64));
    ASSERT_TRUE(client.eraseBlock(96));
    EXPECT_EQ(large().stat("modelled_us") - before, 3000u) << "the second erase waits 1 ms for the first";
}

TEST_P(CardCommandsTest, CountersCountTheWork) {
    DeviceClient client = fileSystemClient(large());
    const std::string before = large().command("stats");
    std::vector<uint8_t> answer;
    ASSERT_TRUE(client.readPages(64, 2, answer));
    ASSERT_TRUE(client.readSpares(64, 3, answer));
    ASSERT_TRUE(client.programPage(65, pattern(528, 6)));
    ASSERT_TRUE(client.eraseBlock(96));
    uint8_t eeprom[32] = {};
    ASSERT_TRUE(client.readEeprom(0, eeprom));
    ASSERT_TRUE(client.writeEeprom(32, eeprom));
    const std::string after = large().command("stats");
    auto delta = [&](const char* key) { return statValue(after, key) - statValue(before, key); };
    EXPECT_EQ(delta("commands"), 6u);
    EXPECT_EQ(delta("requests"), 10u);  // 6 packets, 1 + 1 reads, 1 data phase, 1 EEPROM read
    EXPECT_EQ(delta("bytes_to_device"), 6u * 64 + 576);
    EXPECT_EQ(delta("bytes_from_device"), 1152u + 192 + 32);
    EXPECT_EQ(delta("page_reads"), 2u);
    EXPECT_EQ(delta("spare_reads"), 3u);
    EXPECT_EQ(delta("page_programs"), 1u);
    EXPECT_EQ(delta("block_erases"), 1u);
    EXPECT_EQ(delta("eeprom_reads"), 1u);
    EXPECT_EQ(delta("eeprom_writes"), 1u);
}

TEST_P(CardCommandsTest, AddressesBeyondTheCardReadErasedAndIgnoreWrites) {
    const CardGeometry g = geometryOf(small());
    DeviceClient client = fileSystemClient(small());
    const auto pages = static_cast<uint32_t>(g.pages());
    const auto nandBefore = readFile(nandPath(small()));

    std::vector<uint8_t> answer;
    ASSERT_TRUE(client.readPages(pages - 1, 2, answer));
    EXPECT_TRUE(std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b == 0xFF; }));
    ASSERT_TRUE(client.readPages(0xFFFFFFFF, 2, answer)) << "page numbers wrap nowhere";
    ASSERT_TRUE(client.programPage(pages + 3, std::vector<uint8_t>(g.pageBytes(), 0)));
    EXPECT_EQ(statusAfter(client), READY);
    ASSERT_TRUE(client.eraseBlock(0xFFFFFFF0));
    EXPECT_EQ(statusAfter(client), READY);
    EXPECT_EQ(readFile(nandPath(small())), nandBefore);
}

TEST_P(CardCommandsTest, BootEepromKeepsWhatIsWritten) {
    DeviceClient client = fileSystemClient(large());
    const auto data = pattern(32, 7);
    ASSERT_TRUE(client.writeEeprom(0x1234, data.data()));
    uint8_t back[32] = {};
    ASSERT_TRUE(client.readEeprom(0x1234, back));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back));
    EXPECT_EQ(readFileRange(eepromPath(large()), 0x1234, 32), data) << "eeprom.bin written through";
    ASSERT_TRUE(client.readEeprom(0x1224, back));
    EXPECT_EQ(back[15], 0xFF);
    EXPECT_EQ(back[16], data[0]) << "LC addresses are big-endian";

    ASSERT_TRUE(client.writeEeprom(0xFFF0, data.data()));
    EXPECT_EQ(readFileRange(eepromPath(large()), 0, 16), std::vector<uint8_t>(data.begin() + 16, data.end()))
        << "a write at the end of the chip wraps to its start";
}

// One test suite per transport: each brings up its own devices.
INSTANTIATE_TEST_SUITE_P(InProcess, CardCommandsTest, ::testing::Values(Transport::InProcess), transportParamName);
INSTANTIATE_TEST_SUITE_P(Ksim, CardCommandsTest, ::testing::Values(Transport::Ksim), transportParamName);

}  // namespace kestrel::sim::test
