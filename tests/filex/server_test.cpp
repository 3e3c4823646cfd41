// The device side: the in-memory backend's POSIX-like results, and the main
// firmware's handling of the wire when a host does what the client never
// does (foreign packets, oversized phases, abandoned data phases, lengths
// that disagree).
#include "filex/filex_records.h"
#include "filex/filex_wire.h"
#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/filex_backend.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::sim::test {

namespace {

using filex::Direction;
using filex::FilexCommand;
using filex::Opcode;

std::unique_ptr<FilexFile> openOrNull(FilexBackend& backend, const char* path, uint32_t flags) {
    std::unique_ptr<FilexFile> file;
    return backend.open(path, flags, file) == 0 ? std::move(file) : nullptr;
}

}  // namespace

TEST(MemoryBackendTest, PathsResolveLikePosix) {
    std::vector<std::string> parts;
    ASSERT_TRUE(splitPath("//a/./b/../c/", parts));
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "c"}));
    ASSERT_TRUE(splitPath("/../..", parts));
    EXPECT_TRUE(parts.empty()) << "never above the root";
    EXPECT_FALSE(splitPath("", parts));
    EXPECT_FALSE(splitPath("a/b", parts));
    EXPECT_TRUE(sameName("ReadMe.TXT", "readme.txt"));
    EXPECT_FALSE(sameName("a", "ab"));
}

TEST(MemoryBackendTest, ErrorsNameTheirReason) {
    auto backend = makeMemoryBackend();
    std::unique_ptr<FilexFile> file;
    std::unique_ptr<FilexDirectory> dir;
    EXPECT_EQ(backend->open("/x", OPEN_READ_ONLY, file), -FX_ENOENT);
    EXPECT_EQ(backend->open("/x", 3 | OPEN_CREATE, file), -FX_EINVAL);
    EXPECT_EQ(backend->mkdir("/d", 0), 0);
    EXPECT_EQ(backend->mkdir("/D", 0), -FX_EEXIST);
    EXPECT_EQ(backend->mkdir("/", 0), -FX_EEXIST);
    EXPECT_EQ(backend->mkdir("/no/d", 0), -FX_ENOENT);
    EXPECT_EQ(backend->open("/d", OPEN_READ_ONLY, file), -FX_EISDIR);
    ASSERT_EQ(backend->open("/d/f", OPEN_WRITE_ONLY | OPEN_CREATE, file), 0);
    EXPECT_EQ(backend->open("/d/f", OPEN_WRITE_ONLY | OPEN_CREATE | OPEN_EXCLUSIVE, file), -FX_EEXIST);
    EXPECT_EQ(backend->open("/d/f/g", OPEN_READ_ONLY, file), -FX_ENOTDIR);
    EXPECT_EQ(backend->openDirectory("/d/f", dir), -FX_ENOTDIR);
    EXPECT_EQ(backend->open("/" + std::string(256, 'n'), OPEN_WRITE_ONLY | OPEN_CREATE, file), -FX_ENAMETOOLONG);
    EXPECT_EQ(backend->open("/" + std::string(255, 'n'), OPEN_WRITE_ONLY | OPEN_CREATE, file), 0);
    EXPECT_EQ(backend->rmdir("/d"), -FX_ENOTEMPTY);
    EXPECT_EQ(backend->rmdir("/d/f"), -FX_ENOTDIR);
    EXPECT_EQ(backend->rmdir("/"), -FX_EBUSY);
    EXPECT_EQ(backend->unlink("/d"), -FX_EISDIR);
    EXPECT_EQ(backend->unlink("/d/f"), 0);
    EXPECT_EQ(backend->unlink("/d/f"), -FX_ENOENT);
    EXPECT_EQ(backend->rmdir("/d"), 0);
}

TEST(MemoryBackendTest, FilesAppendTruncateAndRunOutOfSpace) {
    auto backend = makeMemoryBackend(100);
    auto file = openOrNull(*backend, "/f", OPEN_READ_WRITE | OPEN_CREATE);
    ASSERT_TRUE(file);
    const std::vector<uint8_t> bytes(80, 'x');
    EXPECT_EQ(file->write(bytes.data(), 80), 80);
    auto other = openOrNull(*backend, "/g", OPEN_WRITE_ONLY | OPEN_CREATE);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->write(bytes.data(), 30), 20) << "a short write where space runs out";
    EXPECT_EQ(other->write(bytes.data(), 1), -FX_ENOSPC);
    uint8_t byte = 0;
    EXPECT_EQ(other->read(&byte, 1), -FX_EBADF);
    other.reset();
    ASSERT_EQ(backend->unlink("/g"), 0);

    auto appender = openOrNull(*backend, "/f", OPEN_WRITE_ONLY | OPEN_APPEND);
    ASSERT_TRUE(appender);
    EXPECT_EQ(appender->seek(0, SEEK_FROM_START), 0);
    EXPECT_EQ(appender->write(bytes.data(), 5), 5);
    FileInfo info;
    ASSERT_EQ(appender->stat(info), 0);
    EXPECT_EQ(info.size, 85u) << "appended at the end whatever the position";
    EXPECT_EQ(appender->write(bytes.data(), 0), 0);

    auto truncating = openOrNull(*backend, "/f", OPEN_WRITE_ONLY | OPEN_TRUNCATE);
    ASSERT_TRUE(truncating);
    ASSERT_EQ(file->stat(info), 0);
    EXPECT_EQ(info.size, 0u);
    EXPECT_EQ(file->read(&byte, 1), 0) << "the other handle sees the emptied file";
}

// The main firmware driven by raw driver requests.
class FilexServerWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = *defaultDeviceConfig(2, MAKER_98);
        config.fileServer = FileServerStore::Memory;
        ASSERT_TRUE(createFolder(folder_.path(), config));
        device_ = openTestDevice(Transport::InProcess, folder_.path());
        ASSERT_TRUE(device_);
        client_ = std::make_unique<DeviceClient>(device_->provider());
        ASSERT_TRUE(client_->open());
        hang_ = std::make_unique<Watchdog>([this] { device_->command("unplug"); });
    }
    void TearDown() override { hang_.reset(); }

    bool send(const FilexCommand& command) {
        std::array<uint8_t, DeviceClient::PACKET> packet{};
        filex::encodeCommand(command, packet.data());
        return client_->sendPacket(packet);
    }
    // The status word, or nullopt when the read fails.
    std::optional<int32_t> status() {
        uint8_t word[filex::STATUS_LENGTH];
        const auto r = client_->bulkRead(driver::PIPE_STATUS, word, sizeof word);
        if (!r.ok || r.bytes != sizeof word) return std::nullopt;
        return static_cast<int32_t>(loadLe32(word));
    }
    bool sendData(const std::string& bytes, uint32_t transfer) {
        std::vector<uint8_t> data(transfer, 0xEE);
        std::memcpy(data.data(), bytes.data(), bytes.size());
        return client_->bulkWrite(driver::PIPE_DATA_OUT, data.data(), transfer).ok;
    }
    int32_t openPath(const std::string& path, uint32_t flags) {
        EXPECT_TRUE(send(filex::makeCommand(Opcode::Open, Direction::ToDevice,
                                            static_cast<uint32_t>(path.size() + 1), flags)));
        EXPECT_TRUE(sendData(path + '\0', static_cast<uint32_t>(filex::roundUpToPacket(path.size() + 1))));
        return status().value_or(-99);
    }

    TempFolder folder_;
    std::unique_ptr<TestDevice> device_;
    std::unique_ptr<DeviceClient> client_;
    std::unique_ptr<Watchdog> hang_;
};

TEST_F(FilexServerWireTest, PaddingIsDroppedAndReadPhasesAreWholePackets) {
    const int32_t fd = openPath("/p.bin", OPEN_READ_WRITE | OPEN_CREATE);
    ASSERT_EQ(fd, 3);
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Write, Direction::ToDevice, 5, 3, 5)));
    ASSERT_TRUE(sendData("hello", 64));  // 59 bytes of 0xEE padding
    EXPECT_EQ(status(), 5);
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Lseek, Direction::None, 0, 3, 0, 0)));
    EXPECT_EQ(status(), 0);

    // A length argument beyond the data phase: never more than dataLength.
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Read, Direction::FromDevice, 3, 3, 1000)));
    std::vector<uint8_t> phase(16384);
    const auto r = client_->bulkRead(driver::PIPE_DATA_IN, phase.data(), 16384);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.bytes, 64u) << "dataLength rounded up to a packet";
    EXPECT_EQ(std::string(phase.begin(), phase.begin() + 3), "hel");
    EXPECT_EQ(std::vector<uint8_t>(phase.begin() + 3, phase.begin() + 64), std::vector<uint8_t>(61, 0));
    EXPECT_EQ(status(), 3);
}

TEST_F(FilexServerWireTest, AWriteTakesNoMoreThanItsDataPhaseCarriedWhateverItsLengthSays) {
    const int32_t fd = openPath("/w.bin", OPEN_READ_WRITE | OPEN_CREATE);
    ASSERT_EQ(fd, 3);
    // The length argument claims 1000 bytes; the data phase carries 5.
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Write, Direction::ToDevice, 5, 3, 1000)));
    ASSERT_TRUE(sendData("hello", 64));
    EXPECT_EQ(status(), 5);
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Fstat, Direction::FromDevice, filex::FilexStat::SIZE, 3)));
    std::vector<uint8_t> record(128);
    const auto r = client_->bulkRead(driver::PIPE_DATA_IN, record.data(), 128);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(loadLe32(record.data() + filex::FilexStat::FILE_SIZE), 5u);
    EXPECT_EQ(status(), 0);
}

TEST_F(FilexServerWireTest, OnlyCommandBlocksRunAndANewPacketAbandonsAnUnfinishedPhase) {
    const uint64_t before = device_->stat("commands");
    std::array<uint8_t, DeviceClient::PACKET> foreign{};
    foreign[0] = 0xA5;
    foreign[1] = 8;  // not a filex block
    ASSERT_TRUE(client_->sendPacket(foreign));
    EXPECT_EQ(device_->stat("commands"), before) << "ignored, not counted";

    // An open whose path never fully arrives, then another command.
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Open, Direction::ToDevice, 100, OPEN_WRITE_ONLY | OPEN_CREATE)));
    ASSERT_TRUE(sendData("/abandoned", 64));
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Sync, Direction::None)));
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(openPath("/abandoned", OPEN_READ_ONLY), -1) << "the abandoned open never ran";
    EXPECT_EQ(device_->stat("commands"), before + 3);

    // A data phase beyond the transfer buffer is not taken.
    ASSERT_TRUE(send(filex::makeCommand(Opcode::Write, Direction::ToDevice, filex::TRANSFER_BUFFER_SIZE + 1, 3, 1)));
    EXPECT_EQ(status(), -1);
    auto bad = filex::makeCommand(Opcode::Sync, Direction::None);
    bad.direction = 9;
    ASSERT_TRUE(send(bad));
    EXPECT_EQ(status(), -1);
    ASSERT_TRUE(send(filex::makeCommand(static_cast<Opcode>(8), Direction::None)));
    EXPECT_EQ(status(), -1) << "opcode 8 is not served";
}

}  // namespace kestrel::sim::test
