// The command words: their log lines byte for byte, the device they leave
// behind, and ParseCommandLine choosing and carrying them out.
#include "fwupdate/core/command_line.h"
#include "fwupdate/core/update_files.h"
#include "tests/fwupdate/update_fixture.h"

namespace kestrel::fwupdate::test {
namespace {

using ::testing::ElementsAre;

// The format's progress as LogProgress logs it for a card of `blocks`.
std::string percentLines(uint32_t blocks) {
    std::string text;
    int last = -1;
    for (uint32_t block = 0; block < blocks; ++block) {
        const int percent = static_cast<int>(uint64_t{block} * 100 / blocks);
        if (percent != last) text += std::to_string(percent) + "%\r";
        last = percent;
    }
    return text;
}

class CommandTest : public UpdateTest {};

TEST_F(CommandTest, RescueFormatThenL1DownloadLogTheirLinesAndRestartTheDevice) {
    startDevice();
#ifndef _WIN32
    spy.quickFormats = false;  // a real one natively; the log is the same
#endif
    writeSmallUpdateFiles({"L1_1.BIN"});
    EXPECT_EQ(tool().CommandLineFormat(true), 0u);
    EXPECT_TRUE(tool().lastCommandSucceeded());
    EXPECT_EQ(firmware(), "main");
    EXPECT_EQ(tool().CommandLineDownload(hostPath("L1_1.BIN")), 1u);
    EXPECT_TRUE(tool().lastCommandSucceeded());
    EXPECT_EQ(firmware(), "main");
    EXPECT_EQ(logText(), asTextFile("\nfmt> Initilalizing SM file system ... done\n" + percentLines(cardBlocks()) +
                                    "done, 0 bad blocks\n"
                                    "fmt> Format complete, restarting VXB ... done\n"
                                    "\ndwnl> Initilalizing SM file system ... done\n"
                                    "dwnl> Downloading L1 boot code from '" + hostPath("L1_1.BIN") + "'\n"
                                    "dwnl> Creating dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Extending dev0:\\L1_1.BIN to 3000 ... done\n"
                                    "\n"
                                    "dwnl> Download complete \n"
                                    "done\n"));
    EXPECT_EQ(cardFileBytes("dev0:\\L1_1.BIN"), hostBytes("L1_1.BIN"));
}

TEST_F(CommandTest, ANormalFormatOfAnUnreadableCardLeavesItAlone) {
    startDevice();
    EXPECT_EQ(tool().CommandLineFormat(false), ORYX_VOLUME_UNUSABLE);
    EXPECT_FALSE(tool().lastCommandSucceeded());
    EXPECT_EQ(logText(), asTextFile("\nfmt> Initilalizing SM file system ... done\n"
                                    "fmt> Error 5 smGetListNumDir\n"));
    EXPECT_TRUE(spy.details("close").empty());
    EXPECT_TRUE(spy.details("formatVol").empty());
    EXPECT_EQ(stat("block_erases"), 0u);
    // A rescue format skips the check and formats it.
    EXPECT_EQ(tool().CommandLineFormat(true), 0u);
    EXPECT_TRUE(tool().lastCommandSucceeded());
    EXPECT_THAT(spy.details("formatVol"), ElementsAre("dev0:\\ mode 1"));
    EXPECT_TRUE(cardFiles().empty());
}

TEST_F(CommandTest, ANormalFormatOfAReadableCardFormatsIt) {
    startDevice();
    ASSERT_EQ(mt_smInit(), 0u);
    uint32_t bad = 0;
    ASSERT_EQ(mt_smFormatVol("dev0:\\", "", 0, &bad, nullptr), 0u);
    oryx_handle handle = 0;
    ASSERT_EQ(mt_smCreateFile("dev0:\\OLD.TXT", 0, &handle), 0u);
    ASSERT_EQ(mt_smCloseFile(handle), 0u);
    EXPECT_EQ(tool().CommandLineFormat(false), 0u);
    EXPECT_TRUE(tool().lastCommandSucceeded());
    EXPECT_THAT(spy.details("formatVol"), ElementsAre("dev0:\\ mode 0"));
    EXPECT_TRUE(cardFiles().empty());
}

TEST_F(CommandTest, AFailedInitialisationStillEndsTheFormatWithARestart) {
    spy.failCall("init", ORYX_DEVICE_FAILED);
    EXPECT_EQ(tool().CommandLineFormat(true), 0u);
    EXPECT_FALSE(tool().lastCommandSucceeded());
    EXPECT_EQ(logText(), asTextFile("\nfmt> Initilalizing SM file system ... Error 33, exiting\n"
                                    "fmt> Format complete, restarting VXB ... done\n"));
    EXPECT_THAT(spy.names(), ElementsAre("init", "close"));
    EXPECT_EQ(view.waitCursors, 0);
}

TEST_F(CommandTest, AFailedInitialisationEndsTheDownloadAtOnce) {
    spy.failCall("init", ORYX_DEVICE_FAILED);
    EXPECT_EQ(tool().CommandLineDownload("L1_1.BIN"), ORYX_DEVICE_FAILED);
    EXPECT_EQ(logText(), asTextFile("\ndwnl> Initilalizing SM file system ... Error 33, exiting\n"));
    EXPECT_THAT(spy.names(), ElementsAre("init"));
}

TEST_F(CommandTest, AMissingFileIsLoggedAndTheDeviceRestartedAllTheSame) {
    startDevice();
    ASSERT_EQ(tool().CommandLineFormat(true), 0u);
    const std::string missing = hostPath("NOPE.BIN");
    EXPECT_EQ(tool().CommandLineDownload(missing), 1u);
    EXPECT_FALSE(tool().lastCommandSucceeded());
    EXPECT_NE(logText().find(asTextFile("dwnl> *** File '" + missing + "' not found\n"
                                        "dwnl> Download complete \n"
                                        "done\n")),
              std::string::npos)
        << logText();
    EXPECT_EQ(firmware(), "main");
}

TEST_F(CommandTest, EachDownloadWordWritesItsTarget) {
    startDevice();
    writeSmallUpdateFiles({"L2_1.MI", "FPGA.BIR"});
    writeHostFile("notes.txt", patternBytes(700, 4));
    ASSERT_EQ(tool().CommandLineFormat(true), 0u);
    const std::pair<Command, std::string> runs[] = {
        {Command::DownloadL2, hostPath("L2_1.MI")},
        {Command::DownloadFpga, hostPath("FPGA.BIR")},
        {Command::DownloadRemote, hostPath("notes.txt")},
    };
    for (const auto& [command, file] : runs) EXPECT_TRUE(runCommand(tool(), command, file)) << file;
    const std::string log = logText();
    EXPECT_NE(log.find("dwnl> Downloading L2 code from '" + hostPath("L2_1.MI") + "'"), std::string::npos);
    EXPECT_NE(log.find("dwnl> Downloading FPGA code from '" + hostPath("FPGA.BIR") + "'"), std::string::npos);
    EXPECT_NE(log.find("dwnl> Downloading notes.txt from '" + hostPath("notes.txt") + "'"), std::string::npos);
    const auto files = cardFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "L2_1.MI");
    EXPECT_EQ(files[1].name, "FPGA.BIR");
    EXPECT_EQ(files[2].name, "NOTES.TXT");
    EXPECT_EQ(cardFileBytes("dev0:\\L2_1.MI"), hostBytes("L2_1.MI"));
    EXPECT_EQ(cardFileBytes("dev0:\\NOTES.TXT"), hostBytes("notes.txt"));
}

// ParseCommandLine with a library that cannot start the device: the log
// shows which command ran, without a device.
class ParseTest : public UpdateTest {
protected:
    int parse(const std::string& line) {
        spy.failCall("init", ORYX_DEVICE_FAILED);
        return ParseCommandLine(tool(), line);
    }
};

TEST_F(ParseTest, WordOneChoosesTheModeAndWordsTwoAndThreeTheCommand) {
    EXPECT_EQ(parse(""), MODE_DIALOG);
    EXPECT_EQ(parse("C"), MODE_END);
    EXPECT_EQ(parse("c"), MODE_DIALOG);
    EXPECT_EQ(logText(), "");
    EXPECT_TRUE(spy.calls.empty());

    EXPECT_EQ(parse("x smartmedia format"), MODE_DIALOG);
    EXPECT_EQ(logText(), asTextFile("\nfmt> Initilalizing SM file system ... Error 33, exiting\n"
                                    "fmt> Format complete, restarting VXB ... done\n"));
    EXPECT_EQ(parse("C smartmedia rescueformat"), MODE_END);
    EXPECT_EQ(spy.names(), (std::vector<std::string>{"init", "close", "init", "close"}));
}

TEST_F(ParseTest, OtherCaseIsNoCommand) {
    EXPECT_EQ(parse("x Download l1 file"), MODE_DIALOG);
    EXPECT_EQ(parse("x SmartMedia format"), MODE_DIALOG);
    EXPECT_EQ(parse("x smartmedia FORMAT"), MODE_DIALOG);
    EXPECT_TRUE(spy.calls.empty());
    EXPECT_EQ(logText(), "");
}

TEST_F(ParseTest, ALeadingSpaceMakesTheFirstWordWordTwo) {
    EXPECT_EQ(parse(" download l1 file"), MODE_DIALOG);
    EXPECT_EQ(logText(), asTextFile("\ndwnl> Initilalizing SM file system ... Error 33, exiting\n"));
}

}  // namespace
}  // namespace kestrel::fwupdate::test
