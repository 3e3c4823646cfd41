// Packets and data transfers of the device commands, as the device sees them.
#include "platform/driver_interface.h"
#include "tests/usblink/link_fixture.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace kestrel::usblink::test {
namespace {

constexpr uint8_t GUARD = 0xCC;
constexpr size_t GUARD_BYTES = 16;

std::vector<uint8_t> bytes(const std::vector<uint8_t>& from, size_t first, size_t count) {
    return {from.begin() + static_cast<std::ptrdiff_t>(first),
            from.begin() + static_cast<std::ptrdiff_t>(first + count)};
}

std::vector<uint8_t> sequence(size_t length, uint8_t seed) {
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(seed + i * 7);
    return data;
}

bool guardsIntact(const std::vector<uint8_t>& buffer, size_t answer) {
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(answer), buffer.end(),
                       [](uint8_t b) { return b == GUARD; });
}

using TransferShapeTest = LinkTest;

TEST_F(TransferShapeTest, BootMemoryPacketsAreBigEndianAndPaddedFromEarlierPackets) {
    startLink();
    auto& commands = device().commands();
    const auto data = sequence(LC_BLOCK_LENGTH, 0x31);
    ASSERT_EQ(commands.writeLC(0x0040, data.data()), 1u);

    auto sent = packets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].outLength, 64u);
    EXPECT_EQ(bytes(sent[0].sent, 0, 4), (std::vector<uint8_t>{0x08, 0x20, 0x00, 0x40}));
    EXPECT_EQ(bytes(sent[0].sent, 4, 32), data);
    EXPECT_TRUE(dataWrites().empty());
    EXPECT_TRUE(dataReads().empty());

    // The read packet is 4 bytes; the rest of its 64-byte transfer still
    // holds the write's data bytes.
    std::vector<uint8_t> answer(LC_BLOCK_LENGTH + GUARD_BYTES, GUARD);
    recorder().clear();
    ASSERT_EQ(commands.readLC(0x0040, answer.data()), 1u);
    sent = packets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].outLength, 64u);
    EXPECT_EQ(bytes(sent[0].sent, 0, 4), (std::vector<uint8_t>{0x07, 0x20, 0x00, 0x40}));
    EXPECT_EQ(bytes(sent[0].sent, 4, 32), data);
    const auto reads = dataReads();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].outLength, 64u);
    EXPECT_EQ(bytes(answer, 0, LC_BLOCK_LENGTH), data);
    EXPECT_TRUE(guardsIntact(answer, LC_BLOCK_LENGTH));

    recorder().clear();
    ASSERT_EQ(commands.readLC(0x1234, answer.data()), 1u);
    sent = packets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(bytes(sent[0].sent, 0, 4), (std::vector<uint8_t>{0x07, 0x20, 0x12, 0x34}));
    EXPECT_EQ(dataReads().size(), 1u);
}

TEST_F(TransferShapeTest, PageDataMovesInRoundedChunksOfAtMost2048Bytes) {
    startLink();
    auto& commands = device().commands();
    const auto page = sequence(528, 0x10);
    ASSERT_EQ(commands.writeSM(0, 0x40, 528, page.data()), 1u);
    auto writes = dataWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].outLength, 576u);
    EXPECT_EQ(bytes(writes[0].sent, 0, 528), page);
    ASSERT_EQ(packets().size(), 1u);
    EXPECT_EQ(bytes(packets()[0].sent, 0, 8),
              (std::vector<uint8_t>{0x04, 0x00, 0x40, 0x00, 0x00, 0x00, 0x10, 0x02}));

    std::vector<uint8_t> two(2 * PAGE_ANSWER_LENGTH);
    recorder().clear();
    ASSERT_EQ(commands.readSM(0, 0x40, 2, two.data()), 1u);
    auto reads = dataReads();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].outLength, 1152u);
    EXPECT_EQ(bytes(two, 0, 528), page);
    EXPECT_EQ(bytes(packets()[0].sent, 0, 8),
              (std::vector<uint8_t>{0x02, 0x00, 0x40, 0x00, 0x00, 0x00, 0x02, 0x00}));

    std::vector<uint8_t> four(4 * PAGE_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    recorder().clear();
    ASSERT_EQ(commands.readSM(0, 0x40, 4, four.data()), 1u);
    reads = dataReads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].outLength, 2048u);
    EXPECT_EQ(reads[1].outLength, 256u);
    EXPECT_EQ(bytes(four, 0, 528), page);
    EXPECT_EQ(bytes(four, 0, 2 * PAGE_ANSWER_LENGTH), two);
    EXPECT_TRUE(guardsIntact(four, 4 * PAGE_ANSWER_LENGTH));
}

TEST_F(TransferShapeTest, LongWriteIsSplitAndPaddingComesFromTheBounceBuffer) {
    startLink();
    auto& commands = device().commands();
    const auto data = sequence(4096, 0x55);
    ASSERT_EQ(commands.writeSM(0, 0x80, 4096, data.data()), 1u);
    auto writes = dataWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].outLength, 2048u);
    EXPECT_EQ(writes[1].outLength, 2048u);
    EXPECT_EQ(writes[0].sent, bytes(data, 0, 2048));
    EXPECT_EQ(writes[1].sent, bytes(data, 2048, 2048));

    // A 528-byte write pads its 576-byte transfer with what the bounce
    // buffer held from the previous data phase.
    const auto page = sequence(528, 0x99);
    recorder().clear();
    ASSERT_EQ(commands.writeSM(0, 0xA0, 528, page.data()), 1u);
    writes = dataWrites();
    ASSERT_EQ(writes.size(), 1u);
    ASSERT_EQ(writes[0].sent.size(), 576u);
    EXPECT_EQ(bytes(writes[0].sent, 0, 528), page);
    EXPECT_EQ(bytes(writes[0].sent, 528, 48), bytes(data, 2048 + 528, 48));
}

TEST_F(TransferShapeTest, SpareReadTakesSixtyFourBytesPerPage) {
    startLink();
    std::vector<uint8_t> spares(3 * SPARE_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    ASSERT_EQ(device().commands().readSMspare(0, 0x20, 3, spares.data()), 1u);
    const auto reads = dataReads();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].outLength, 192u);
    EXPECT_EQ(bytes(packets()[0].sent, 0, 8),
              (std::vector<uint8_t>{0x03, 0x00, 0x20, 0x00, 0x00, 0x00, 0x03, 0x00}));
    EXPECT_TRUE(guardsIntact(spares, 3 * SPARE_ANSWER_LENGTH));
}

TEST_F(TransferShapeTest, ShortAnswersRequest64BytesAndCopyOnlyTheirLength) {
    startLink();
    auto& commands = device().commands();
    std::vector<uint8_t> id(ID_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    ASSERT_EQ(commands.readID(0, id.data()), 1u);
    std::vector<uint8_t> status(STATUS_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    ASSERT_EQ(commands.getStatus(0, status.data()), 1u);

    const auto reads = dataReads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].outLength, 64u);
    EXPECT_EQ(reads[1].outLength, 64u);
    EXPECT_EQ(id[1], CARD_MAKER);
    EXPECT_EQ(id[2], CARD_DEVICE_CODE);
    EXPECT_TRUE(guardsIntact(id, ID_ANSWER_LENGTH));
    EXPECT_EQ(status[1] & 0x40, 0x40);
    EXPECT_TRUE(guardsIntact(status, STATUS_ANSWER_LENGTH));
}

// A driver that moves fewer bytes than asked: a write sends the rest in
// further transfers, a read asks for the rest, and only the bytes that came
// are copied.
TEST_F(TransferShapeTest, ShortTransfersMoveOnlyWhatTheDriverReports) {
    startLink();
    auto& commands = device().commands();
    const auto data = sequence(528, 0x17);
    recorder().shortenTransfers(driver::CTL_BULK_WRITE, driver::PIPE_DATA_OUT, 100);
    ASSERT_EQ(commands.writeSM(0, 0x40, 528, data.data()), 1u);
    const auto writes = dataWrites();
    ASSERT_EQ(writes.size(), 6u);  // 100 bytes at a time, the last 28 in a 64-byte transfer
    for (size_t i = 0; i < writes.size(); ++i) {
        const size_t first = i * 100;
        const size_t count = std::min<size_t>(28, writes[i].sent.size());
        EXPECT_EQ(bytes(writes[i].sent, 0, count), bytes(data, first, count)) << i;
        EXPECT_EQ(writes[i].outLength, i + 1 < writes.size() ? ((528 - first + 63) / 64) * 64 : 64u) << i;
    }
    recorder().shortenTransfers(driver::CTL_BULK_WRITE, driver::PIPE_DATA_OUT, 0);

    recorder().clear();
    recorder().shortenTransfers(driver::CTL_BULK_READ, driver::PIPE_DATA_IN, 100);
    std::vector<uint8_t> page(PAGE_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    ASSERT_EQ(commands.readSM(0, 0x40, 1, page.data()), 1u);
    EXPECT_EQ(bytes(page, 0, 528), data);
    EXPECT_TRUE(guardsIntact(page, PAGE_ANSWER_LENGTH));
    const auto reads = dataReads();
    ASSERT_EQ(reads.size(), 6u);  // 576 bytes, 100 at a time
    EXPECT_EQ(reads[0].outLength, 576u);
    EXPECT_EQ(reads[5].outLength, 128u);  // 76 bytes left, rounded up
    for (const auto& read : reads) EXPECT_LE(read.result.bytes, 100u);

    // Across the 2048-byte bounce buffer too.
    recorder().shortenTransfers(driver::CTL_BULK_READ, driver::PIPE_DATA_IN, 1000);
    std::vector<uint8_t> four(4 * PAGE_ANSWER_LENGTH + GUARD_BYTES, GUARD);
    ASSERT_EQ(commands.readSM(0, 0x3F, 4, four.data()), 1u);
    EXPECT_EQ(bytes(four, PAGE_ANSWER_LENGTH, 528), data);
    EXPECT_TRUE(guardsIntact(four, 4 * PAGE_ANSWER_LENGTH));
}

TEST_F(TransferShapeTest, CommandsWithoutDataSucceedAfterTheirPacket) {
    startLink();
    auto& commands = device().commands();
    ASSERT_EQ(commands.eraseBlock(0, 0x20), 1u);
    ASSERT_EQ(commands.readSM(0, 0x21, 0, nullptr), 1u);

    const auto sent = packets();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(bytes(sent[0].sent, 0, 8),
              (std::vector<uint8_t>{0x05, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bytes(sent[1].sent, 0, 8),
              (std::vector<uint8_t>{0x02, 0x00, 0x21, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(dataReads().empty());
    EXPECT_TRUE(dataWrites().empty());
}

TEST_F(TransferShapeTest, FieldsACommandDoesNotSetKeepThePreviousValue) {
    startLink();
    auto& commands = device().commands();
    std::vector<uint8_t> page(PAGE_ANSWER_LENGTH);
    ASSERT_EQ(commands.readSM(0, 0x00012345, 1, page.data()), 1u);
    std::array<uint8_t, ID_ANSWER_LENGTH> id{};
    ASSERT_EQ(commands.readID(0, id.data()), 1u);
    std::array<uint8_t, STATUS_ANSWER_LENGTH> status{};
    ASSERT_EQ(commands.getStatus(0, status.data()), 1u);

    const auto sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(bytes(sent[1].sent, 0, 8),
              (std::vector<uint8_t>{0x06, 0x00, 0x45, 0x23, 0x01, 0x00, 0x01, 0x00}));
    EXPECT_EQ(bytes(sent[2].sent, 0, 8),
              (std::vector<uint8_t>{0x09, 0x00, 0x45, 0x23, 0x01, 0x00, 0x01, 0x00}));
}

TEST_F(TransferShapeTest, EveryCommandLeavesOneTraceLine) {
    startLink();
    auto& commands = device().commands();
    std::vector<uint8_t> buffer(PAGE_ANSWER_LENGTH);
    const auto lc = sequence(LC_BLOCK_LENGTH, 1);
    ASSERT_EQ(commands.readSM(0, 0x20, 1, buffer.data()), 1u);
    ASSERT_EQ(commands.readSMspare(0, 0xABC, 1, buffer.data()), 1u);
    ASSERT_EQ(commands.readID(0, buffer.data()), 1u);
    ASSERT_EQ(commands.getStatus(0, buffer.data()), 1u);
    ASSERT_EQ(commands.eraseBlock(0, 0x40), 1u);
    ASSERT_EQ(commands.writeSM(0, 0x41, 528, buffer.data()), 1u);
    ASSERT_EQ(commands.readLC(0x1234, buffer.data()), 1u);
    ASSERT_EQ(commands.writeLC(0x0040, lc.data()), 1u);

    const auto lines = traceLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_TRUE(isCommandTraceLine(lines[0], "ReadSM: sm=0, adr=00000020, scnt=1\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[1], "ReadSMspare: sm=0, adr=00000ABC, scnt=1\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[2], "ReadID: sm=0\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[3], "GetStatus: sm=0\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[4], "EraseBlock: sm=0, adr=00000040\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[5], "WriteSM: sm=0, adr=00000041, bcnt=528\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[6], "ReadLC: adr=1234\n"));
    EXPECT_TRUE(isCommandTraceLine(lines[7], "WriteLC: adr=0040\n"));
}

}  // namespace
}  // namespace kestrel::usblink::test
