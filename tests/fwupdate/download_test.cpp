// DownloadFile on its own against a simulated Kestrel: replacing a file,
// every failing step with its log line and code, host files that end early
// or are too large for the card's file sizes, and the progress arithmetic.
#include "fwupdate/core/update_files.h"
#include "tests/fwupdate/update_fixture.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <filesystem>

namespace kestrel::fwupdate::test {
namespace {

using ::testing::ElementsAre;

// A host file that claims `size` bytes and delivers `delivers` of them.
class ScriptedHostFile final : public HostFile {
public:
    ScriptedHostFile(uint64_t size, uint64_t delivers) : size_(size), left_(delivers) {}
    std::optional<HostFileStatus> status() override { return HostFileStatus{size_, 1000000000}; }
    size_t read(void* buffer, size_t length) override {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(length, left_));
        std::memset(buffer, 0x5A, n);
        left_ -= n;
        return n;
    }
    bool rewind() override { return false; }

private:
    uint64_t size_;
    uint64_t left_;
};

class DownloadTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        startDevice();
        ASSERT_EQ(mt_smInit(), 0u);
        uint32_t bad = 0;
        ASSERT_EQ(mt_smFormatVol("dev0:\\", "", 0, &bad, nullptr), 0u);
    }

    uint32_t download(const std::string& hostName, const char* devicePath) {
        auto file = openHostFile(hostPath(hostName));
        EXPECT_TRUE(file) << hostName;
        return file ? tool().DownloadFile(*file, devicePath, nullptr) : 0xFFFFFFFF;
    }
};

TEST_F(DownloadTest, AnExistingFileIsRemovedBeforeTheNewOneIsWritten) {
    writeHostFile("first", patternBytes(3000, 1));
    writeHostFile("second", patternBytes(1000, 2));
    ASSERT_EQ(download("first", "dev0:\\L1_1.BIN"), 0u);
    ASSERT_EQ(download("second", "dev0:\\L1_1.BIN"), 0u);
    EXPECT_EQ(logText(), asTextFile("dwnl> Creating dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Extending dev0:\\L1_1.BIN to 3000 ... done\n"
                                    "\n"
                                    "dwnl> Deleting previous version of dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Creating dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Extending dev0:\\L1_1.BIN to 1000 ... done\n"
                                    "\n"));
    EXPECT_EQ(cardFileBytes("dev0:\\L1_1.BIN"), hostBytes("second"));
}

TEST_F(DownloadTest, EachFailingStepIsLoggedAndItsCodeReturned) {
    writeHostFile("image", patternBytes(3000, 3));
    struct Case {
        const char* call;
        uint32_t code;
        const char* logTail;
    };
    // The file exists from the second case on, so removal is reached.
    const Case cases[] = {
        {"createFile", ORYX_ROOT_FULL, "dwnl> Creating dev0:\\F.BIN ... error 29\n"},
        {"getListNumDir", ORYX_VOLUME_UNUSABLE, "dwnl> Error 5 smGetListNumDir\n"},
        {"removeFile", ORYX_NOT_FOUND, "dwnl> Deleting previous version of dev0:\\F.BIN ... error 23\n"},
        {"fileExtend", ORYX_DISK_FULL, "dwnl> Extending dev0:\\F.BIN to 3000 ... error 12\n"},
        {"writeFile", 1, "dwnl> Error 1 writing output file\n"},
        {"readStat", ORYX_NOT_FOUND, "\ndwnl> Error 23 getting stat\n"},
        {"writeStat", ORYX_INVALID, "\ndwnl> Error 11 setting stat\n"},
        // Last: a close that fails leaves the file open, whatever the tool does.
        {"closeFile", ORYX_BROKEN_CHAIN, "\ndwnl> Error 24 closing file\n"},
    };
    bool created = false;
    for (const auto& c : cases) {
        if (!created && std::string(c.call) != "createFile") {
            ASSERT_EQ(download("image", "dev0:\\F.BIN"), 0u);
            created = true;
        }
        const size_t logBefore = logText().size();
        spy.failCall(c.call, c.code);
        EXPECT_EQ(download("image", "dev0:\\F.BIN"), c.code) << c.call;
        const std::string added = logText().substr(logBefore);
        const std::string tail = asTextFile(c.logTail);
        ASSERT_GE(added.size(), tail.size()) << c.call;
        EXPECT_EQ(added.substr(added.size() - tail.size()), tail) << c.call;
        if (std::string(c.call) == "closeFile") break;
        // Whatever failed, the library starts again over a card whose file
        // can be replaced (removal finds an intact cluster chain).
        ASSERT_EQ(mt_smInit(), 0u);
        uint32_t size = 0;
        if (created && mt_smGetSizeFile("dev0:\\F.BIN", &size) == 0) {
            EXPECT_EQ(mt_smRemoveFile("dev0:\\F.BIN"), 0u) << "after " << c.call;
        }
        ASSERT_EQ(download("image", "dev0:\\F.BIN"), 0u) << "after " << c.call;
    }
}

TEST_F(DownloadTest, AHostFileEndingEarlyFailsAndLeavesAClosedPartialFile) {
    ScriptedHostFile file(5000, 3000);
    EXPECT_EQ(tool().DownloadFile(file, "dev0:\\L2_1.MI", nullptr), SHORT_HOST_FILE);
    EXPECT_THAT(spy.details("writeFile"), ElementsAre("2048"));
    EXPECT_EQ(logText(), asTextFile("dwnl> Creating dev0:\\L2_1.MI ... done\n"
                                    "dwnl> Extending dev0:\\L2_1.MI to 5000 ... done\n"
                                    "dwnl> Error 19 reading input file\n"));
    uint32_t size = 0;
    EXPECT_EQ(mt_smGetSizeFile("dev0:\\L2_1.MI", &size), 0u);
    EXPECT_EQ(size, 2048u);
    EXPECT_EQ(mt_smRemoveFile("dev0:\\L2_1.MI"), 0u);
}

TEST_F(DownloadTest, AHostFileBeyondFourGigabytesIsRefusedUntouched) {
    // Its size modulo 4 GB would be 10 bytes: written and reported as done.
    ScriptedHostFile file(uint64_t{std::numeric_limits<uint32_t>::max()} + 11, 0);
    EXPECT_EQ(tool().DownloadFile(file, "dev0:\\FPGA.BIR", nullptr), HOST_FILE_TOO_LARGE);
    EXPECT_EQ(logText(), asTextFile("dwnl> Error 12, input file too large\n"));
    EXPECT_TRUE(spy.calls.empty());
}

TEST_F(DownloadTest, AZeroLengthFileLeavesTheDeviceAlone) {
    ScriptedHostFile file(0, 0);
    EXPECT_EQ(tool().DownloadFile(file, "dev0:\\L1_1.BIN", &UpdateTool::DialogProgress), 0u);
    EXPECT_EQ(logText(), "dwnl> Input file is 0 length ... ");
    EXPECT_TRUE(spy.calls.empty());
    EXPECT_TRUE(view.percents.empty());
}

TEST_F(DownloadTest, AHostFileThatCannotBeReadLeavesTheDevicesFileInPlace) {
    writeHostFile("good", patternBytes(3000, 4));
    ASSERT_EQ(download("good", "dev0:\\L1_1.BIN"), 0u);
    // A folder opens for reading on some systems, and cannot be read.
    const std::string folder = hostPath("folder");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    if (auto opened = openHostFile(folder)) {
        spy.calls.clear();
        EXPECT_EQ(tool().DownloadFile(*opened, "dev0:\\L1_1.BIN", nullptr), SHORT_HOST_FILE);
        EXPECT_TRUE(spy.calls.empty()) << spy.calls.front().name;
    }
    // A file that fails at its first piece (a read error) changes nothing either.
    ScriptedHostFile failing(3000, 100);
    spy.calls.clear();
    EXPECT_EQ(tool().DownloadFile(failing, "dev0:\\L1_1.BIN", nullptr), SHORT_HOST_FILE);
    EXPECT_TRUE(spy.calls.empty()) << spy.calls.front().name;
    EXPECT_EQ(cardFileBytes("dev0:\\L1_1.BIN"), hostBytes("good"));
    std::filesystem::remove(folder);
}

using ProgressTest = UpdateTest;

TEST_F(ProgressTest, PercentagesOfLargeFilesDoNotWrapAround) {
    // 50,000,000 x 100 passes 2^32: 32-bit arithmetic would show 7%.
    tool().DialogProgress(100000000, 50000000);
    EXPECT_EQ(view.percent, " 50%");
    EXPECT_EQ(view.progress, 50u);
}

TEST_F(ProgressTest, DialogProgressShowsChangesOnlyButAlwaysPumps) {
    tool().DialogProgress(0, 0);
    tool().DialogProgress(3, 1);
    tool().DialogProgress(3, 1);
    tool().DialogProgress(3, 3);
    EXPECT_THAT(view.percents, ElementsAre(" 33%", "100%"));
    EXPECT_EQ(view.pumps, 4);
}

TEST_F(ProgressTest, LogProgressLogsEachNewPercentageOnce) {
    for (uint32_t block = 0; block < 8; ++block) tool().LogProgress(8, block);
    tool().LogProgress(0, 5);
    EXPECT_EQ(logText(), "0%\r12%\r25%\r37%\r50%\r62%\r75%\r87%\r");
    EXPECT_EQ(view.pumps, 0);
}

}  // namespace
}  // namespace kestrel::fwupdate::test
