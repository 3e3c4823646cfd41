// The file server's tables of open files and listings, shared by every
// client of the device: their limits, and the reclaiming of slots that
// crashed clients left behind, which must never hand a client another
// client's file or listing.
#include "filex/filex_wire.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "sim/filex_backend.h"
#include "sim/filex_session.h"
#include "sim/filex_slots.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::sim::test {
namespace {

using filex::Direction;
using filex::Opcode;

class SessionSlotsTest : public ::testing::Test {
protected:
    static std::vector<uint8_t> pathData(const std::string& path) {
        std::vector<uint8_t> data(path.begin(), path.end());
        data.push_back(0);
        return data;
    }
    int32_t open(const std::string& path, uint32_t flags) {
        const auto data = pathData(path);
        return session_.execute(filex::makeCommand(Opcode::Open, Direction::ToDevice, static_cast<uint32_t>(data.size()), flags), data).status;
    }
    int32_t opendir(const std::string& path) {
        const auto data = pathData(path);
        return session_.execute(filex::makeCommand(Opcode::Opendir, Direction::ToDevice, static_cast<uint32_t>(data.size())), data).status;
    }
    int32_t call(Opcode opcode, int32_t number, Direction direction = Direction::None, uint32_t length = 0) {
        return session_.execute(filex::makeCommand(opcode, direction, length, static_cast<uint32_t>(number), length), {}).status;
    }
    int32_t write(int32_t fd, const std::string& text) {
        const std::vector<uint8_t> data(text.begin(), text.end());
        const auto length = static_cast<uint32_t>(data.size());
        return session_.execute(filex::makeCommand(Opcode::Write, Direction::ToDevice, length, static_cast<uint32_t>(fd), length), data).status;
    }
    FilexSession::Reply read(int32_t fd, uint32_t length) {
        return session_.execute(filex::makeCommand(Opcode::Read, Direction::FromDevice, length, static_cast<uint32_t>(fd), length), {});
    }
    // Lets every slot become idle past the limit.
    static void idlePastTheLimit() {
        platform::sleepMs(static_cast<uint32_t>(SlotTable<FilexFile>::IDLE_LIMIT_MS) + 200);
    }

    std::unique_ptr<FilexBackend> backend_ = makeMemoryBackend();
    FilexSession session_{*backend_};
};

TEST_F(SessionSlotsTest, ASeventeenthFileOrListingIsRefusedWhileTheOthersAreInUse) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(open("/f" + std::to_string(i), OPEN_WRITE_ONLY | OPEN_CREATE), FilexSession::FIRST_DESCRIPTOR + i);
        EXPECT_EQ(opendir("/"), FilexSession::FIRST_DIRECTORY + i);
    }
    EXPECT_EQ(open("/f16", OPEN_WRITE_ONLY | OPEN_CREATE), -1) << "a seventeenth open file";
    EXPECT_EQ(opendir("/"), 0) << "a seventeenth listing";
    std::unique_ptr<FilexFile> probe;
    EXPECT_EQ(backend_->open("/f16", OPEN_READ_ONLY, probe), -FX_ENOENT) << "the refused open created nothing";

    // A closed slot is free again, under its number.
    EXPECT_EQ(call(Opcode::Close, 7), 0);
    EXPECT_EQ(open("/f16", OPEN_WRITE_ONLY | OPEN_CREATE), 7);
    EXPECT_EQ(call(Opcode::Closedir, 5), 0);
    EXPECT_EQ(opendir("/"), 5);
}

TEST_F(SessionSlotsTest, AFullListingTableReclaimsTheLongestIdleListingOnlyPastTheWatchdogTime) {
    ASSERT_EQ(backend_->mkdir("/Only", 0), 0);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(opendir("/"), FilexSession::FIRST_DIRECTORY + i);
    EXPECT_EQ(opendir("/Only"), 0) << "nothing is idle long enough yet";

    idlePastTheLimit();
    // Every listing but the first is used again: the first is idle longest.
    for (int handle = 2; handle <= 16; ++handle) EXPECT_EQ(call(Opcode::Rewinddir, handle), 0);
    const int32_t fresh = opendir("/Only");
    EXPECT_EQ(fresh, 17) << "a new number, not the reclaimed one";

    // The crashed client's handle fails plainly: no entry, and the close fails.
    const auto stale = session_.execute(filex::makeCommand(Opcode::Readdir, Direction::FromDevice, 300, 1), {});
    EXPECT_EQ(stale.status, 0);
    EXPECT_TRUE(stale.data.empty());
    EXPECT_EQ(call(Opcode::Closedir, 1), -1);

    // The new listing is the new client's own.
    const auto entry = session_.execute(filex::makeCommand(Opcode::Readdir, Direction::FromDevice, 300, static_cast<uint32_t>(fresh)), {});
    ASSERT_EQ(entry.status, 1);
    ASSERT_EQ(entry.data.size(), 300u);
    EXPECT_STREQ(reinterpret_cast<const char*>(entry.data.data() + 8), ".");

    // Once the stale number has been closed it serves again; the others
    // were used too recently to be reclaimed.
    EXPECT_EQ(opendir("/"), 0);
    EXPECT_EQ(call(Opcode::Closedir, fresh), 0);
    EXPECT_EQ(opendir("/"), 1);
}

TEST_F(SessionSlotsTest, AReclaimedFileIsClosedAndItsOldDescriptorReachesNoOtherFile) {
    for (int i = 0; i < 16; ++i) ASSERT_EQ(open("/f" + std::to_string(i), OPEN_READ_WRITE | OPEN_CREATE), 3 + i);
    ASSERT_EQ(write(3, "left behind"), 11);
    idlePastTheLimit();
    for (int fd = 4; fd <= 18; ++fd) EXPECT_EQ(write(fd, "x"), 1);

    const int32_t fresh = open("/secret", OPEN_READ_WRITE | OPEN_CREATE);
    ASSERT_EQ(fresh, 19);
    ASSERT_EQ(write(fresh, "secret"), 6);
    ASSERT_EQ(call(Opcode::Lseek, fresh), 0);

    EXPECT_EQ(read(3, 6).status, -1) << "the reclaimed descriptor reads nothing";
    EXPECT_EQ(write(3, "clobber"), -1);
    EXPECT_EQ(call(Opcode::Fstat, 3, Direction::FromDevice, 72), -1);
    const auto mine = read(fresh, 6);
    EXPECT_EQ(std::string(mine.data.begin(), mine.data.end()), "secret");

    // What the crashed client wrote before is kept (the reclaim closed the file).
    std::unique_ptr<FilexFile> kept;
    ASSERT_EQ(backend_->open("/f0", OPEN_READ_ONLY, kept), 0);
    FileInfo info;
    ASSERT_EQ(kept->stat(info), 0);
    EXPECT_EQ(info.size, 11u);
}

}  // namespace
}  // namespace kestrel::sim::test
