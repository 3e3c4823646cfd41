// The filex wire as the client drives it: command blocks, the shape of the
// data phases, the status word, retries, and what the client does with
// lengths and records that come from the device.
#include "tests/filex/filex_fixture.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <cstring>

namespace kestrel::filex::test {

namespace {

using driver::CTL_BULK_READ;
using driver::CTL_BULK_WRITE;
using driver::PIPE_COMMAND;
using driver::PIPE_DATA_IN;
using driver::PIPE_DATA_OUT;
using driver::PIPE_STATUS;

constexpr uint32_t ERR_GEN_FAILURE = 31;

std::vector<uint32_t> lengths(const std::vector<Request>& requests) {
    std::vector<uint32_t> result;
    for (const auto& r : requests) result.push_back(r.outLength);
    return result;
}

// The bulk requests of the exchanges, in order, as "W3:64" / "R5:4".
std::vector<std::string> shape(const std::vector<Request>& requests) {
    std::vector<std::string> result;
    for (const auto& r : requests) {
        if (r.code != CTL_BULK_READ && r.code != CTL_BULK_WRITE) continue;
        result.push_back((r.code == CTL_BULK_READ ? "R" : "W") + std::to_string(r.pipe) + ":" +
                         std::to_string(r.outLength));
    }
    return result;
}

platform::ControlResult failed() { return {false, ERR_GEN_FAILURE, 0}; }

bool isCall(const PendingCall& call, uint32_t code, uint32_t pipe) { return call.code == code && call.pipe == pipe; }

}  // namespace

TEST(FilexRecordsTest, CommandBlockIsLaidOutLittleEndian) {
    uint8_t bytes[COMMAND_LENGTH];
    const auto command = makeCommand(Opcode::Lseek, Direction::None, 0x01020304, 7, static_cast<uint32_t>(-5), 2);
    encodeCommand(command, bytes);
    const uint8_t expected[COMMAND_LENGTH] = {0xA5, 0x14, 0x02, 0x04, 0x04, 0x03, 0x02, 0x01, 7, 0,
                                              0,    0,    0xFB, 0xFF, 0xFF, 0xFF, 2,    0,    0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 20), std::vector<uint8_t>(expected, expected + 20));
    const auto back = decodeCommand(bytes);
    EXPECT_EQ(back.opcode, 4);
    EXPECT_EQ(back.dataLength, 0x01020304u);
    EXPECT_EQ(static_cast<int32_t>(back.argB), -5);
    EXPECT_TRUE(isCommandBlock(bytes, 20));
    bytes[1] = 8;
    EXPECT_FALSE(isCommandBlock(bytes, 20)) << "a block of another length is no filex command";
}

TEST(FilexRecordsTest, RecordFieldsAreReadAtTheirOffsets) {
    FilexDirEntry entry;
    std::memcpy(entry.bytes.data() + 8, "NOTES.TXT", 10);
    storeLe32(entry.bytes.data() + 284, 0xFFFFFF31);  // only the low byte counts
    storeLe32(entry.bytes.data() + 288, dosTime(13, 45, 58));
    storeLe32(entry.bytes.data() + 292, dosDate(2004, 7, 9));
    storeLe32(entry.bytes.data() + 296, 123456);
    EXPECT_EQ(entry.name(), "NOTES.TXT");
    EXPECT_EQ(entry.attributes(), 0x31);
    EXPECT_TRUE(entry.isDirectory());
    EXPECT_EQ(entry.dosTime(), 13 * 2048 + 45 * 32 + 29);
    EXPECT_EQ(entry.dosDate(), 24 * 512 + 7 * 32 + 9);
    EXPECT_EQ(entry.fileSize(), 123456u);

    std::memset(entry.bytes.data() + 8, 'A', FilexDirEntry::NAME_FIELD);
    EXPECT_EQ(entry.name().size(), FilexDirEntry::NAME_FIELD) << "never read past the name field";
    entry.terminateName();
    EXPECT_EQ(std::strlen(entry.nameText()), FilexDirEntry::NAME_FIELD - 1);

    FilexStat stat;
    storeLe32(stat.bytes.data() + 28, 0xCAFE);
    EXPECT_EQ(stat.fileSize(), 0xCAFEu);
}

using FilexWireTest = FilexTest;

TEST_F(FilexWireTest, EveryOperationSendsItsCommandBlock) {
    ASSERT_EQ(client().mkdir("/d", 0), 0);
    const int32_t fd = client().open("/d/f", OPEN_CREATE_WRITE);
    ASSERT_GT(fd, 0);
    uint8_t buffer[16] = {};
    FilexStat stat;
    FilexDirEntry entry;
    EXPECT_EQ(client().write(fd, "hello", 5), 5);
    EXPECT_EQ(client().lseek(fd, -2, 2), 3);
    EXPECT_EQ(client().fstat(fd, &stat), 0);
    EXPECT_EQ(client().fsync(fd), 0);
    EXPECT_EQ(client().read(fd, buffer, 10), -1) << "opened for writing only";
    EXPECT_EQ(client().close(fd), 0);
    EXPECT_EQ(client().sync(), 0);
    const int32_t dir = client().opendir("/d");
    ASSERT_NE(dir, 0);
    EXPECT_EQ(client().readdir(dir, &entry), 1);
    EXPECT_EQ(client().rewinddir(dir), 0);
    EXPECT_EQ(client().closedir(dir), 0);
    EXPECT_EQ(client().unlink("/d/f"), 0);
    EXPECT_EQ(client().rmdir("/d"), 0);

    struct Expected {
        Opcode opcode;
        Direction direction;
        uint32_t dataLength, argA, argB, argC;
    };
    const auto ufd = static_cast<uint32_t>(fd);
    const auto udir = static_cast<uint32_t>(dir);
    const Expected expected[] = {
        {Opcode::Mkdir, Direction::ToDevice, 3, 0, 0, 0},
        {Opcode::Open, Direction::ToDevice, 5, OPEN_CREATE_WRITE, 0, 0},
        {Opcode::Write, Direction::ToDevice, 5, ufd, 5, 0},
        {Opcode::Lseek, Direction::None, 0, ufd, static_cast<uint32_t>(-2), 2},
        {Opcode::Fstat, Direction::FromDevice, 72, ufd, 0, 0},
        {Opcode::Fsync, Direction::None, 0, ufd, 0, 0},
        {Opcode::Read, Direction::FromDevice, 10, ufd, 10, 0},
        {Opcode::Close, Direction::None, 0, ufd, 0, 0},
        {Opcode::Sync, Direction::None, 0, 0, 0, 0},
        {Opcode::Opendir, Direction::ToDevice, 3, 0, 0, 0},
        {Opcode::Readdir, Direction::FromDevice, 300, udir, 0, 0},
        {Opcode::Rewinddir, Direction::None, 0, udir, 0, 0},
        {Opcode::Closedir, Direction::None, 0, udir, 0, 0},
        {Opcode::Unlink, Direction::ToDevice, 5, 0, 0, 0},
        {Opcode::Rmdir, Direction::ToDevice, 3, 0, 0, 0},
    };
    const auto blocks = probe().requests(CTL_BULK_WRITE, PIPE_COMMAND);
    ASSERT_EQ(blocks.size(), std::size(expected));
    for (size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(blocks[i].sent.size(), 64u);
        const auto c = decodeCommand(blocks[i].sent.data());
        EXPECT_EQ(c.magic, 0xA5);
        EXPECT_EQ(c.blockLength, 20);
        EXPECT_EQ(c.opcode, static_cast<uint8_t>(expected[i].opcode));
        EXPECT_EQ(c.direction, static_cast<uint8_t>(expected[i].direction));
        EXPECT_EQ(c.dataLength, expected[i].dataLength);
        if (expected[i].argA) {
            EXPECT_EQ(c.argA, expected[i].argA);
        }
        if (expected[i].argB) {
            EXPECT_EQ(c.argB, expected[i].argB);
        }
        if (expected[i].argC) {
            EXPECT_EQ(c.argC, expected[i].argC);
        }
    }
    EXPECT_EQ(probe().liveConnections(), 0u) << "every exchange closes its handle";
}

TEST_F(FilexWireTest, FirstOperationChecksThePipesThenEveryExchangeOpensTheDeviceAnew) {
    EXPECT_EQ(client().sync(), 0);
    const auto first = probe().requests();
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[0].code, driver::CTL_GET_PIPE_INFO);
    EXPECT_EQ(first[0].connection, 1u);
    EXPECT_EQ(probe().requests(driver::CTL_RESET_PIPE).size(), 0u) << "the filex link resets no pipe";
    EXPECT_EQ(first[1].connection, 2u);
    EXPECT_TRUE(client().link().running());

    probe().clear();
    EXPECT_EQ(client().sync(), 0);
    EXPECT_EQ(shape(probe().requests()), (std::vector<std::string>{"W3:64", "R5:4"}));
    const auto opens = probe().opens();
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].access, driver::ACCESS_READ | driver::ACCESS_WRITE);
    EXPECT_EQ(opens[0].share, driver::SHARE_READ | driver::SHARE_WRITE);
    EXPECT_EQ(probe().liveConnections(), 0u);
}

TEST_F(FilexWireTest, LinkStartsOnlyOnADeviceWithSixPipes) {
    probe().intercept([](const PendingCall& call, const Forward& forward) {
        const auto result = forward(call.outLength);
        if (call.code == driver::CTL_GET_PIPE_INFO && result.ok)
            storeLe32(static_cast<uint8_t*>(call.out) + driver::PIPE_INFO_COUNT_OFFSET, 4);
        return result;
    });
    EXPECT_EQ(client().sync(), -1);
    EXPECT_FALSE(client().link().running());
    EXPECT_EQ(shape(probe().requests()), std::vector<std::string>{}) << "no exchange";
    probe().intercept(nullptr);
    EXPECT_EQ(client().sync(), 0) << "the next operation tries again";
}

TEST_F(FilexWireTest, DataPhasesAreRoundedTo64AndSplitAt16384) {
    const int32_t fd = client().open("/data.bin", OPEN_UPDATE);
    ASSERT_GT(fd, 0);
    const auto data = sim::test::pattern(65408, 7);
    std::vector<uint8_t> back(65409);

    struct Case {
        const char* what;
        std::function<int32_t()> run;
        int32_t result;
        std::vector<std::string> shape;
    };
    const Case cases[] = {
        {"write 1", [&] { return client().write(fd, data.data(), 1); }, 1, {"W3:64", "W0:64", "R5:4"}},
        {"write 20000", [&] { return client().write(fd, data.data(), 20000); }, 20000,
         {"W3:64", "W0:16384", "W0:3648", "R5:4"}},
        {"read 0", [&] { return client().read(fd, back.data(), 0); }, 0, {"W3:64", "R5:4"}},
        {"seek", [&] { return client().lseek(fd, 0, 0); }, 0, {"W3:64", "R5:4"}},
        {"read 20000", [&] { return client().read(fd, back.data(), 20000); }, 20000,
         {"W3:64", "R1:16384", "R1:3648", "R5:4"}},
        {"read 65408", [&] { return client().read(fd, back.data(), 65408); }, 1,
         {"W3:64", "R1:16384", "R1:16384", "R1:16384", "R1:16256", "R5:4"}},
        {"read 65409", [&] { return client().read(fd, back.data(), 65409); }, 0, {}},
        {"write 65409", [&] { return client().write(fd, data.data(), 65409); }, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        probe().clear();
        EXPECT_EQ(c.run(), c.result);
        EXPECT_EQ(shape(probe().requests()), c.shape);
    }
    EXPECT_EQ(client().close(fd), 0);
}

TEST_F(FilexWireTest, WrittenDataIsPaddedWithZerosAndPathsTravelWithTheirZero) {
    const int32_t fd = client().open("/pad.bin", OPEN_REPLACE);
    ASSERT_GT(fd, 0);
    const auto big = sim::test::pattern(4096, 3);
    ASSERT_EQ(client().write(fd, big.data(), 4096), 4096);  // leaves pattern bytes in the buffer
    probe().clear();
    ASSERT_EQ(client().write(fd, "x", 1), 1);
    const auto out = probe().requests(CTL_BULK_WRITE, PIPE_DATA_OUT);
    ASSERT_EQ(out.size(), 1u);
    std::vector<uint8_t> expected(64, 0);
    expected[0] = 'x';
    EXPECT_EQ(out[0].sent, expected);
    ASSERT_EQ(client().close(fd), 0);

    const std::string path = "/" + std::string(258, 'p');  // 259 characters
    probe().clear();
    EXPECT_EQ(client().open(path.c_str(), OPEN_READ), -1) << "no such file (the name is too long, too)";
    const auto blocks = probe().requests(CTL_BULK_WRITE, PIPE_COMMAND);
    const auto phase = probe().requests(CTL_BULK_WRITE, PIPE_DATA_OUT);
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(phase.size(), 1u);
    EXPECT_EQ(decodeCommand(blocks[0].sent.data()).dataLength, 260u);
    ASSERT_EQ(phase[0].sent.size(), 320u);
    EXPECT_EQ(std::string(phase[0].sent.begin(), phase[0].sent.begin() + 259), path);
    EXPECT_EQ(std::vector<uint8_t>(phase[0].sent.begin() + 259, phase[0].sent.end()), std::vector<uint8_t>(61, 0));
}

TEST_F(FilexWireTest, PathsBeyondTheTransferBufferAreRefusedWithoutExchange) {
    const std::string fits = "/" + std::string(65534, 'a');  // 65,536 bytes with its zero
    const std::string tooLong = fits + "a";
    EXPECT_EQ(client().unlink(fits.c_str()), -1);
    EXPECT_EQ(lengths(probe().requests(CTL_BULK_WRITE, PIPE_DATA_OUT)),
              (std::vector<uint32_t>{16384, 16384, 16384, 16384}));
    probe().clear();
    EXPECT_EQ(client().unlink(tooLong.c_str()), -1);
    EXPECT_EQ(client().opendir(tooLong.c_str()), 0);
    EXPECT_TRUE(probe().requests().empty());
}

TEST_F(FilexWireTest, ShortReadIsFollowedByARequestForTheRemainder) {
    const auto data = sim::test::pattern(20000, 11);
    ASSERT_TRUE(putFile(client(), "/short.bin", data));
    const int32_t fd = client().open("/short.bin", OPEN_READ);
    ASSERT_GT(fd, 0);
    bool shortened = false;
    probe().intercept([&](const PendingCall& call, const Forward& forward) {
        if (isCall(call, CTL_BULK_READ, PIPE_DATA_IN) && !shortened) {
            shortened = true;
            return forward(1000);
        }
        return forward(call.outLength);
    });
    probe().clear();
    std::vector<uint8_t> back(20000);
    EXPECT_EQ(client().read(fd, back.data(), 20000), 20000);
    EXPECT_EQ(back, data);
    // 20,032 bytes: 1,000 delivered, then 16,384, then the 2,648 left
    // asked for in whole packets.
    EXPECT_EQ(lengths(probe().requests(CTL_BULK_READ, PIPE_DATA_IN)), (std::vector<uint32_t>{16384, 16384, 2688}));
    EXPECT_EQ(client().close(fd), 0);
}

TEST_F(FilexWireTest, EachTransferHasThreeAttempts) {
    ASSERT_TRUE(putFile(client(), "/r.bin", {1, 2, 3, 4}));
    int failures = 0;
    auto failFirst = [&](uint32_t code, uint32_t pipe, int count) {
        failures = count;
        probe().intercept([&, code, pipe](const PendingCall& call, const Forward& forward) {
            if (isCall(call, code, pipe) && failures > 0) {
                --failures;
                return failed();
            }
            return forward(call.outLength);
        });
        probe().clear();
        clearTrace();
    };

    failFirst(CTL_BULK_WRITE, PIPE_COMMAND, 2);
    auto listing = listFolder(client(), "/");
    ASSERT_TRUE(listing);
    EXPECT_EQ(namesOf(*listing), std::vector<std::string>{"r.bin"});
    EXPECT_EQ(probe().requests(CTL_BULK_WRITE, PIPE_COMMAND).size(), 6u) << "opendir needed three attempts";
    const auto lines = traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** CMD send (BULK_WRITE) failed 0000001F\n"), 2);

    failFirst(CTL_BULK_WRITE, PIPE_COMMAND, 3);
    EXPECT_EQ(client().opendir("/"), 0);
    EXPECT_EQ(shape(probe().requests()), (std::vector<std::string>{"W3:64", "W3:64", "W3:64"}))
        << "no data phase and no status after the command failed";
    failFirst(CTL_BULK_WRITE, PIPE_COMMAND, 3);
    EXPECT_EQ(client().sync(), -1) << "not 0: the status was never read";

    failFirst(CTL_BULK_READ, PIPE_DATA_IN, 1);
    EXPECT_EQ(getFile(client(), "/r.bin"), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(lengths(probe().requests(CTL_BULK_READ, PIPE_DATA_IN)), (std::vector<uint32_t>{16384, 16384, 16384}))
        << "the failed request again, then the read that finds the end";

    failFirst(CTL_BULK_READ, PIPE_STATUS, 3);
    EXPECT_EQ(client().unlink("/r.bin"), -1) << "without its status the removal is not reported as done";
    EXPECT_EQ(probe().requests(CTL_BULK_READ, PIPE_STATUS).size(), 3u);
    probe().intercept(nullptr);
    EXPECT_EQ(client().open("/r.bin", OPEN_READ), -1) << "although the device did remove it";
    EXPECT_EQ(probe().liveConnections(), 0u);
}

TEST_F(FilexWireTest, TransfersThatMoveNothingOrReturnAShortStatusCountAsFailures) {
    ASSERT_TRUE(putFile(client(), "/z.bin", {9, 9}));
    const int32_t fd = client().open("/z.bin", OPEN_READ);
    ASSERT_GT(fd, 0);
    probe().intercept([](const PendingCall& call, const Forward& forward) {
        if (isCall(call, CTL_BULK_READ, PIPE_DATA_IN)) return platform::ControlResult{true, 0, 0};
        return forward(call.outLength);
    });
    clearTrace();
    uint8_t buffer[2];
    EXPECT_EQ(client().read(fd, buffer, 2), -1) << "a phase that stops advancing ends";
    const auto lines = traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** DATA send (BULK_READ) failed err=00000000, nBytes=0\n"), 3);

    probe().intercept([](const PendingCall& call, const Forward& forward) {
        return forward(isCall(call, CTL_BULK_READ, PIPE_STATUS) ? 2 : call.outLength);
    });
    EXPECT_EQ(client().close(fd), -1) << "half a status word is no status";
}

TEST_F(FilexWireTest, CountsAndNamesFromTheDeviceAreChecked) {
    const int32_t fd = client().open("/c.bin", OPEN_UPDATE);
    ASSERT_GT(fd, 0);
    // The device claims one byte more than it was asked for.
    probe().intercept([](const PendingCall& call, const Forward& forward) {
        const auto result = forward(call.outLength);
        if (isCall(call, CTL_BULK_READ, PIPE_STATUS) && result.ok)
            storeLe32(call.out, loadLe32(call.out) + 1);
        return result;
    });
    EXPECT_EQ(client().write(fd, "abcde", 5), -1);
    EXPECT_EQ(client().lseek(fd, 0, 0), 1) << "other results pass unchanged";
    uint8_t buffer[5];
    EXPECT_EQ(client().read(fd, buffer, 5), -1);

    // A directory entry whose name fills the whole field without a zero.
    probe().intercept([](const PendingCall& call, const Forward& forward) {
        const auto result = forward(call.outLength);
        if (isCall(call, CTL_BULK_READ, PIPE_DATA_IN) && result.ok) std::memset(call.out, 'N', result.bytes);
        return result;
    });
    const int32_t dir = client().opendir("/");
    ASSERT_NE(dir, 0);
    clearTrace();
    FilexDirEntry entry;
    EXPECT_EQ(client().readdir(dir, &entry), 1);
    EXPECT_EQ(entry.name(), std::string(275, 'N'));
    const auto lines = traceLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "hflx:_readdir(" + std::to_string(dir) + ")->1 '" + std::string(275, 'N') + "'\n");
    probe().intercept(nullptr);
    EXPECT_EQ(client().closedir(dir), 0);
    EXPECT_EQ(client().close(fd), 0);
}

TEST_F(FilexWireTest, CommandsTheTransportCannotCarryAreRefused) {
    ASSERT_EQ(client().sync(), 0);
    probe().clear();
    auto command = makeCommand(Opcode::Sync, Direction::None);
    command.direction = 3;
    auto result = client().link().RunFilexOperation(command);
    EXPECT_EQ(result.outcome, ExchangeOutcome::Refused);
    EXPECT_EQ(result.word, -1);
    command = makeCommand(Opcode::Read, Direction::FromDevice, TRANSFER_BUFFER_SIZE + 1, 3, 1);
    result = client().link().RunFilexOperation(command);
    EXPECT_EQ(result.outcome, ExchangeOutcome::Refused);
    EXPECT_TRUE(probe().requests().empty()) << "nothing reaches the device";

    command = makeCommand(Opcode::Sync, Direction::None);
    result = client().link().RunFilexOperation(command);
    EXPECT_TRUE(result.completed());
    EXPECT_EQ(result.word, 0);
    EXPECT_EQ(client().link().lastStatus(), 0);
}

}  // namespace kestrel::filex::test
