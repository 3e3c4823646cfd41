// The process-wide facade: the operations under their own names (the C
// runtime's headers included around them), the real mutex names, and the
// transport entry points.
#include <fstream>  // before and after: the runtime's _fstat macro must not bend hflx::_fstat

#include "filex/hflx.h"

#include <sys/stat.h>

#include "tests/filex/filex_fixture.h"

namespace kestrel::filex::test {

TEST(HflxTest, OperationsThroughTheProcessWideClient) {
    Bench bench(Transport::InProcess);
    ASSERT_TRUE(bench.ready());
    EXPECT_EQ(hflx::client().link().names().fileMutex, "zidOrozUMutex");
    EXPECT_EQ(hflx::client().link().names().execMutex, "qlxExecMutex");
    EXPECT_EQ(hflx::client().trace().enabled(), debugConfiguration());

    EXPECT_EQ(hflx::OpenUSB(), 1);
    ASSERT_EQ(hflx::_mkdir("/h", 0), 0);
    const int32_t fd = hflx::_open("/h/f.txt", OPEN_REPLACE);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(hflx::_write(fd, "facade", 6), 6);
    EXPECT_EQ(hflx::_fsync(fd), 0);
    EXPECT_EQ(hflx::_close(fd), 0);
    const int32_t in = hflx::_open("/h/f.txt", OPEN_READ);
    FilexStat stat;
    EXPECT_EQ(hflx::_fstat(in, &stat), 0);
    EXPECT_EQ(stat.fileSize(), 6u);
    EXPECT_EQ(hflx::_lseek(in, 2, 0), 2);
    char text[4] = {};
    EXPECT_EQ(hflx::_read(in, text, 4), 4);
    EXPECT_EQ(std::string(text, 4), "cade");
    EXPECT_EQ(hflx::_close(in), 0);
    const int32_t dir = hflx::_opendir("/h");
    FilexDirEntry entry;
    EXPECT_EQ(hflx::_readdir(dir, &entry), 1);
    EXPECT_EQ(hflx::_rewinddir(dir), 0);
    EXPECT_EQ(hflx::_closedir(dir), 0);
    EXPECT_EQ(hflx::_unlink("/h/f.txt"), 0);
    EXPECT_EQ(hflx::_rmdir("/h"), 0);
    EXPECT_EQ(hflx::_sync(), 0);

    EXPECT_EQ(hflx::RunFilexOperation(makeCommand(Opcode::Sync, Direction::None)), 0);
    EXPECT_EQ(hflx::ExecuteFilex(makeCommand(Opcode::Closedir, Direction::None, 0, 77)), -1) << "the device's -1";
    auto bad = makeCommand(Opcode::Sync, Direction::None);
    bad.direction = 4;
    EXPECT_EQ(hflx::ExecuteFilex(bad), -1);

    hflx::StopLink();
    EXPECT_FALSE(hflx::client().link().running());
    EXPECT_EQ(hflx::_sync(), 0) << "the next operation starts the link again";
    hflx::StopLink();
}

TEST(HflxTest, DebugTraceCountsWhatItWrites) {
    EXPECT_EQ(hflx::DebugTrace("abc %d\n", 12345), 10);
    const std::string huge(40000, 'x');
    EXPECT_EQ(hflx::DebugTrace("%s", huge.c_str()), 32767) << "cut at the 32,768-byte block";
}

}  // namespace kestrel::filex::test
