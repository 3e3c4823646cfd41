// The remote file operations end to end against the simulated device's file
// server: files, seeking, folders and listings, the results the callers rely
// on, the client-side refusals, the traces, and a device that goes away.
#include "tests/filex/filex_fixture.h"

#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace kestrel::filex::test {

namespace {

// Polls `operation` until it returns `expected` (a device coming back on
// the bus); the last result.
template <typename Operation>
int32_t settle(Operation operation, int32_t expected) {
    int32_t result = operation();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(sim::test::PATIENCE_MS);
    while (result != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        result = operation();
    }
    return result;
}

}  // namespace

using FilexOperationsTest = FilexTest;

TEST_F(FilexOperationsTest, FilesRoundTripInTheExtensionsBlockSizes) {
    const auto data = sim::test::pattern(150000, 1);
    ASSERT_TRUE(putFile(client(), "/big.bin", data));
    EXPECT_EQ(getFile(client(), "/big.bin"), data);

    const int32_t fd = client().open("/big.bin", OPEN_STREAM);
    ASSERT_NE(fd, 0);
    ASSERT_NE(fd, -1);
    FilexStat stat;
    stat.bytes.fill(0xEE);
    EXPECT_EQ(client().fstat(fd, &stat), 0);
    EXPECT_EQ(stat.fileSize(), 150000u);
    std::vector<uint8_t> tail(100, 0xEE);
    ASSERT_EQ(client().lseek(fd, -40, 2), 149960);
    EXPECT_EQ(client().read(fd, tail.data(), 100), 40) << "fewer than asked at the end of the file";
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 40, data.end() - 40));
    EXPECT_EQ(std::vector<uint8_t>(tail.begin() + 40, tail.end()), std::vector<uint8_t>(60, 0))
        << "what the device did not deliver reads as 0";
    EXPECT_EQ(client().read(fd, tail.data(), 100), 0);
    EXPECT_EQ(client().close(fd), 0);
    EXPECT_EQ(client().close(fd), -1) << "closed already";
}

TEST_F(FilexOperationsTest, OpenFlagsAndDescriptors) {
    EXPECT_EQ(client().open("/none.txt", OPEN_READ), -1);
    const int32_t a = client().open("/a.txt", OPEN_CREATE_WRITE);
    const int32_t b = client().open("/b.txt", OPEN_CREATE_WRITE);
    EXPECT_EQ(a, 3) << "descriptors are never 0 or -1";
    EXPECT_EQ(b, 4);
    EXPECT_EQ(client().write(a, "0123456789", 10), 10);
    EXPECT_EQ(client().close(a), 0);
    EXPECT_EQ(client().close(b), 0);

    // 0x201, the extension's copy onto the device, replaces the contents:
    // a long file written again short is the short one.
    ASSERT_TRUE(putFile(client(), "/a.txt", {'a', 'b'}, OPEN_CREATE_WRITE));
    EXPECT_EQ(getFile(client(), "/a.txt"), (std::vector<uint8_t>{'a', 'b'}));
    // Read and write with create keeps the tail; so does append.
    ASSERT_TRUE(putFile(client(), "/a.txt", {'c'}, 0x202));
    EXPECT_EQ(getFile(client(), "/a.txt"), (std::vector<uint8_t>{'c', 'b'}));
    ASSERT_TRUE(putFile(client(), "/a.txt", {'d'}, 0x209));
    EXPECT_EQ(getFile(client(), "/a.txt"), (std::vector<uint8_t>{'c', 'b', 'd'}));
    ASSERT_TRUE(putFile(client(), "/a.txt", {'z'}, OPEN_REPLACE));
    EXPECT_EQ(getFile(client(), "/A.TXT"), std::vector<uint8_t>{'z'}) << "names compare without case";

    const int32_t reader = client().open("/a.txt", OPEN_READ);
    ASSERT_GT(reader, 0);
    EXPECT_EQ(client().write(reader, "x", 1), -1) << "opened for reading";
    EXPECT_EQ(client().close(reader), 0);
    EXPECT_EQ(client().open("/a.txt", 0x0A01), -1) << "exclusive create of an existing file";
    EXPECT_EQ(client().open("/", OPEN_READ), -1);
    EXPECT_EQ(client().open("/missing/x.txt", OPEN_CREATE_WRITE), -1);
    EXPECT_EQ(client().open("relative.txt", OPEN_READ), -1);
}

TEST_F(FilexOperationsTest, SeekingFromEachOrigin) {
    ASSERT_TRUE(putFile(client(), "/s.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    const int32_t fd = client().open("/s.bin", 2);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(client().lseek(fd, 4, 0), 4);
    EXPECT_EQ(client().lseek(fd, 3, 1), 7);
    EXPECT_EQ(client().lseek(fd, -1, 2), 9);
    EXPECT_EQ(client().lseek(fd, -11, 2), -1) << "before the start";
    EXPECT_EQ(client().lseek(fd, 0, 1), 9) << "a failed seek leaves the position";
    EXPECT_EQ(client().lseek(fd, 0, 3), -1) << "no such origin";
    EXPECT_EQ(client().lseek(fd, 0x7FFFFFFF, 0), 0x7FFFFFFF);
    EXPECT_EQ(client().lseek(fd, 1, 1), -1) << "a position the result cannot carry";
    EXPECT_EQ(client().lseek(99, 0, 0), -1) << "no such descriptor";
    EXPECT_EQ(client().lseek(fd, 12, 0), 12);
    EXPECT_EQ(client().write(fd, "\xAB", 1), 1);
    EXPECT_EQ(client().close(fd), 0);
    EXPECT_EQ(getFile(client(), "/s.bin"), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0xAB}))
        << "a write past the end fills the gap with zeros";
}

TEST_F(FilexOperationsTest, FoldersAndListings) {
    ASSERT_EQ(client().mkdir("/Music", 0), 0);
    EXPECT_EQ(client().mkdir("/music", 0), -1) << "exists already";
    ASSERT_EQ(client().mkdir("/Music/Live", 0), 0);
    ASSERT_TRUE(putFile(client(), "/Music/b.txt", std::vector<uint8_t>(1234, 'b')));
    ASSERT_TRUE(putFile(client(), "/a.txt", {}));

    const auto root = listFolder(client(), "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"Music", "a.txt"})) << "the root has no . and ..";
    EXPECT_EQ((*root)[0].attributes & ATTR_DIRECTORY, ATTR_DIRECTORY);
    EXPECT_EQ((*root)[1].attributes & ATTR_DIRECTORY, 0);
    for (const auto& entry : *root) {
        SCOPED_TRACE(entry.name);
        const unsigned month = (entry.dosDate >> 5) & 15;
        const unsigned day = entry.dosDate & 31;
        EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << "an MS-DOS date";
        EXPECT_LT(entry.dosTime >> 11, 24u);
    }
    const auto music = listFolder(client(), "/Music/");
    ASSERT_TRUE(music);
    EXPECT_EQ(namesOf(*music), (std::vector<std::string>{".", "..", "Live", "b.txt"}));
    EXPECT_EQ((*music)[3].size, 1234u);

    const int32_t dir = client().opendir("/Music");
    ASSERT_NE(dir, 0);
    FilexDirEntry entry;
    for (int i = 0; i < 4; ++i) ASSERT_EQ(client().readdir(dir, &entry), 1);
    EXPECT_EQ(client().readdir(dir, &entry), 0) << "the end";
    EXPECT_EQ(client().readdir(dir, &entry), 0) << "and it stays at the end";
    EXPECT_EQ(client().rewinddir(dir), 0);
    ASSERT_EQ(client().readdir(dir, &entry), 1);
    EXPECT_EQ(entry.name(), ".");
    EXPECT_EQ(client().closedir(dir), 0);
    EXPECT_EQ(client().readdir(dir, &entry), 0) << "a closed handle delivers nothing";
    EXPECT_EQ(client().closedir(dir), -1);

    EXPECT_EQ(client().opendir("/a.txt"), 0) << "not a folder";
    EXPECT_EQ(client().opendir("/nowhere"), 0);
    EXPECT_EQ(client().rmdir("/Music"), -1) << "not empty";
    EXPECT_EQ(client().unlink("/Music/Live"), -1) << "a folder is not unlinked";
    EXPECT_EQ(client().rmdir("/Music/b.txt"), -1) << "a file is not a folder";
    EXPECT_EQ(client().rmdir("/"), -1);
    EXPECT_EQ(client().unlink("/Music/b.txt"), 0);
    EXPECT_EQ(client().unlink("/Music/b.txt"), -1) << "gone already";
    EXPECT_EQ(client().rmdir("/Music/Live"), 0);
    EXPECT_EQ(client().rmdir("/Music"), 0);
    EXPECT_EQ(namesOf(*listFolder(client(), "/")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(client().fsync(99), -1);
    EXPECT_EQ(client().sync(), 0);
}

TEST_F(FilexOperationsTest, RefusalsMakeNoExchange) {
    uint8_t buffer[8];
    EXPECT_EQ(client().open(nullptr, 0), -1);
    EXPECT_EQ(client().unlink(nullptr), -1);
    EXPECT_EQ(client().mkdir(nullptr, 0), -1);
    EXPECT_EQ(client().rmdir(nullptr), -1);
    EXPECT_EQ(client().fstat(3, nullptr), -1);
    EXPECT_EQ(client().read(3, nullptr, 8), 0);
    EXPECT_EQ(client().write(3, nullptr, 8), 0);
    EXPECT_EQ(client().read(3, buffer, MAX_READ_WRITE + 1), 0);
    EXPECT_EQ(client().write(3, buffer, MAX_READ_WRITE + 1), 0);
    EXPECT_EQ(client().opendir(nullptr), 0);
    EXPECT_EQ(client().readdir(1, nullptr), 0);
    EXPECT_TRUE(probe().requests().empty());
    EXPECT_TRUE(probe().opens().empty()) << "the link is not even started";
    EXPECT_TRUE(traceLines().empty());
}

TEST_F(FilexOperationsTest, EachOperationTracesOneLine) {
    const int32_t fd = client().open("/t.txt", OPEN_UPDATE);
    ASSERT_EQ(fd, 3);
    ASSERT_EQ(client().write(fd, "hello", 5), 5);
    ASSERT_EQ(client().lseek(fd, -9, 0), -1);
    ASSERT_EQ(client().close(fd), 0);
    ASSERT_EQ(client().mkdir("/m", 0), 0);
    const auto lines = traceLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "hflx:_open('/t.txt',602)->3\n");
    EXPECT_EQ(lines[1].rfind("hflx:_write(3,", 0), 0u);
    EXPECT_NE(lines[1].find(",5)->5\n"), std::string::npos);
    EXPECT_EQ(lines[2], "hflx:_lseek(3,-9,0)->FFFFFFFF\n");
    EXPECT_EQ(lines[3], "hflx:_close(3)->0\n");
    EXPECT_EQ(lines[4], "hflx:_mkdir('/m',0)->0\n");

    // A client built for release writes nothing, not even transport lines.
    FilexClient quiet(uniqueNames(), false);
    std::vector<std::string> quietLines;
    quiet.trace().setListener([&](const std::string& line) { quietLines.push_back(line); });
    EXPECT_EQ(quiet.sync(), 0);
    ASSERT_EQ(device().command("unplug"), "ok");
    EXPECT_EQ(quiet.sync(), -1);
    EXPECT_TRUE(quietLines.empty());
}

TEST_F(FilexOperationsTest, FilesOutliveARestartButDescriptorsDoNot) {
    ASSERT_TRUE(putFile(client(), "/keep.txt", {'k'}));
    const int32_t fd = client().open("/keep.txt", OPEN_READ);
    ASSERT_GT(fd, 0);
    ASSERT_EQ(device().command("reset"), "ok");
    EXPECT_EQ(settle([&] { return client().sync(); }, 0), 0);
    EXPECT_EQ(client().close(fd), -1) << "the restarted firmware knows no descriptor";
    EXPECT_EQ(getFile(client(), "/keep.txt"), std::vector<uint8_t>{'k'});
}

TEST_F(FilexOperationsTest, UnpluggedDeviceFailsEachOperationUntilItIsBack) {
    ASSERT_TRUE(putFile(client(), "/u.txt", {'u'}));
    ASSERT_EQ(device().command("unplug"), "ok");
    clearTrace();
    EXPECT_EQ(client().open("/u.txt", OPEN_READ), -1);
    EXPECT_EQ(client().unlink("/u.txt"), -1);
    EXPECT_EQ(client().opendir("/"), 0);
    EXPECT_EQ(client().sync(), -1);
    const auto lines = traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** ExecFlex initpipe failed\n"), 4);
    ASSERT_EQ(device().command("replug"), "ok");
    EXPECT_EQ(getFile(client(), "/u.txt"), std::vector<uint8_t>{'u'});
    EXPECT_EQ(probe().liveConnections(), 0u);
}

TEST_F(FilexOperationsTest, AbsentDeviceLeavesTheLinkDownUntilItAppears) {
    ASSERT_EQ(device().command("unplug"), "ok");
    EXPECT_EQ(client().sync(), -1) << "not 0: nothing was done";
    EXPECT_EQ(client().opendir("/"), 0);
    EXPECT_FALSE(client().link().running());
    const auto lines = traceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "*** OpenUSB initpipe failed\n"), lines.end());
    ASSERT_EQ(device().command("replug"), "ok");
    EXPECT_EQ(client().sync(), 0);
    EXPECT_TRUE(client().link().running());
}

// The smoke subset over KSIM: one kestrel-simd for the whole suite.
class FilexKsimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bench() = std::make_unique<Bench>(Transport::Ksim); }
    static void TearDownTestSuite() { bench().reset(); }
    void SetUp() override {
        ASSERT_TRUE(bench() && bench()->ready());
        client_ = std::make_unique<FilexClient>(uniqueNames(), false);
        hang_ = std::make_unique<sim::test::Watchdog>([] { bench()->device().command("unplug"); });
    }
    void TearDown() override { hang_.reset(); }
    static std::unique_ptr<Bench>& bench() {
        static std::unique_ptr<Bench> instance;
        return instance;
    }
    std::unique_ptr<FilexClient> client_;
    std::unique_ptr<sim::test::Watchdog> hang_;
};

TEST_F(FilexKsimTest, FilesAndFoldersOverTheSocket) {
    ASSERT_EQ(client_->mkdir("/k", 0), 0);
    const auto data = sim::test::pattern(70000, 5);
    ASSERT_TRUE(putFile(*client_, "/k/file.bin", data));
    EXPECT_EQ(getFile(*client_, "/k/file.bin"), data);
    const auto listing = listFolder(*client_, "/k");
    ASSERT_TRUE(listing);
    EXPECT_EQ(namesOf(*listing), (std::vector<std::string>{".", "..", "file.bin"}));
    EXPECT_EQ((*listing)[2].size, 70000u);
    EXPECT_EQ(client_->unlink("/k/file.bin"), 0);
    EXPECT_EQ(client_->rmdir("/k"), 0);
}

TEST_F(FilexKsimTest, StalledExchangeIsAbortedOverTheSocket) {
    ASSERT_EQ(client_->sync(), 0);
    ASSERT_EQ(bench()->device().command("stall 1"), "ok");
    EXPECT_EQ(client_->sync(), -1);
    EXPECT_EQ(client_->link().watchdogAborts(), 3u);
    EXPECT_EQ(client_->sync(), 0) << "the next exchange starts clean";
}

}  // namespace kestrel::filex::test
