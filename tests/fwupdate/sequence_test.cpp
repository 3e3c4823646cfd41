// RunUpdate against a simulated Kestrel: what the user is asked and shown,
// which library calls the sequence makes in which order, and what the device
// holds afterwards.
#include "fwupdate/core/messages.h"
#include "platform/environment.h"
#include "tests/fwupdate/card_image.h"
#include "tests/fwupdate/update_fixture.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstdlib>

namespace kestrel::fwupdate::test {
namespace {

using ::testing::ElementsAre;

// The non-empty action texts in the order they first appeared.
std::vector<std::string> actionSteps(const RecordingView& view) {
    std::vector<std::string> steps;
    for (const auto& action : view.actions)
        if (!action.empty() && (steps.empty() || steps.back() != action)) steps.push_back(action);
    return steps;
}

// The calls other than the EEPROM chunks and the file pieces.
std::vector<std::string> mainCalls(const OryxSpy& spy) {
    std::vector<std::string> names;
    for (const auto& call : spy.calls) {
        if (call.name == "writeLC" || call.name == "readLC" || call.name == "writeFile") continue;
        if (call.name == "getSizeFile" || call.name == "readStat" || call.name == "writeStat") continue;
        names.push_back(call.name);
    }
    return names;
}

class SequenceTest : public UpdateTest {};

TEST_F(SequenceTest, NothingSelectedAsksToSelectAndTouchesNothing) {
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::NothingSelected);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], (Message{"Please select what to update.", "Update", BoxIcon::Warning, BoxButtons::Ok,
                                         BoxModality::TaskModal}));
    EXPECT_TRUE(spy.calls.empty());
    EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "disable"), 0);
}

TEST_F(SequenceTest, EachSelectionAsksItsOwnConfirmationAndNoChangesNothing) {
    copySamples();
    const std::pair<std::pair<bool, bool>, const char*> cases[] = {
        {{true, false}, "Are you SURE you want to update EEPROM code?"},
        {{false, true}, "Are you SURE you want to update MAIN code?"},
        {{true, true}, "Are you SURE you want to update EEPROM and MAIN code?"},
    };
    for (const auto& [boxes, question] : cases) {
        view.messages.clear();
        view.eeprom = boxes.first;
        view.main = boxes.second;
        view.answers = {Answer::No};
        EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Declined) << question;
        ASSERT_EQ(view.messages.size(), 1u) << question;
        EXPECT_EQ(view.messages[0], (Message{question, "Update", BoxIcon::Question, BoxButtons::YesNoDefaultNo,
                                             BoxModality::TaskModal}));
    }
    EXPECT_TRUE(spy.calls.empty());
    EXPECT_TRUE(view.actions.empty());
    EXPECT_TRUE(view.controlsEnabled);
}

TEST_F(SequenceTest, AMissingFileIsNamedBeforeAnythingIsDone) {
    struct Case {
        bool eeprom, main;
        std::vector<std::string> present;
        const char* named;
    };
    const Case cases[] = {
        {true, false, {"L1_1.BIN", "L2_1.MI", "FPGA.BIR"}, "vxb_main.iic"},
        {true, true, {}, "vxb_main.iic"},  // the image is looked for first
        {false, true, {"vxb_main.iic"}, "L1_1.BIN"},
        // A later MAIN image missing is found before the card is formatted,
        // not after the L1 code has been written to a fresh card.
        {false, true, {"L1_1.BIN", "FPGA.BIR"}, "L2_1.MI"},
        {true, true, {"vxb_main.iic", "L1_1.BIN", "L2_1.MI"}, "FPGA.BIR"},
    };
    for (const auto& c : cases) {
        for (const auto& name : SAMPLE_FILES) std::remove(hostPath(name).c_str());
        copySamples(c.present);
        view.messages.clear();
        view.eeprom = c.eeprom;
        view.main = c.main;
        EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::FileMissing) << c.named;
        ASSERT_EQ(view.messages.size(), 2u) << c.named;
        EXPECT_EQ(view.messages[1],
                  (Message{std::string("Unable to open file '") + c.named +
                               "'\nCheck if this file is in current working directory.",
                           "Error", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal}));
    }
    EXPECT_TRUE(spy.calls.empty());
    EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "disable"), 0);
}

TEST_F(SequenceTest, AnEmptyOrUnreadableUpdateFileIsNamedBeforeAnythingIsWritten) {
    // Written as they were, each would leave the device without that code
    // after a format, and the update would still report success.
    for (const auto& name : SAMPLE_FILES) {
        SCOPED_TRACE(name);
        copySamples();
        writeHostFile(name, {});
        view.messages.clear();
        view.eeprom = view.main = true;
        EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::FileMissing);
        ASSERT_EQ(view.messages.size(), 2u);
        EXPECT_EQ(view.messages[1], (Message{"The update file '" + name + "' is empty.\nNothing was changed on the device.",
                                             "Error", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal}));
    }
    // A folder in a file's place.
    copySamples();
    std::filesystem::remove(hostPath("FPGA.BIR"));
    ASSERT_TRUE(std::filesystem::create_directory(hostPath("FPGA.BIR")));
    view.messages.clear();
    view.eeprom = false;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::FileMissing);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_NE(view.messages[1].text.find("'FPGA.BIR'"), std::string::npos) << view.messages[1].text;
    std::filesystem::remove(hostPath("FPGA.BIR"));
    EXPECT_TRUE(spy.calls.empty());
}

TEST_F(SequenceTest, AnEepromImageBeyondTheChipIsRefusedBeforeTheDeviceIsTouched) {
    writeHostFile("vxb_main.iic", patternBytes(65537, 1));
    view.eeprom = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::ImageTooLarge);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].caption, "Error");
    EXPECT_NE(view.messages[1].text.find("65537"), std::string::npos) << view.messages[1].text;
    EXPECT_TRUE(spy.calls.empty());
}

#ifndef _WIN32
// 4096 device commands: quick natively, too slow through wine's sockets.
TEST_F(SequenceTest, AnImageOfExactlyTheChipsSizeFillsIt) {
    startDevice();
    const auto image = patternBytes(65536, 2);
    writeHostFile("vxb_main.iic", image);
    view.eeprom = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);
    EXPECT_EQ(spy.details("writeLC").size(), 2048u);
    EXPECT_EQ(spy.details("writeLC").back(), "65504");
    EXPECT_EQ(eepromBytes(), image);  // no chunk wrapped onto the start
}
#endif

TEST_F(SequenceTest, FailingInitialisationClearsTheActionAndEndsTheUpdate) {
    copySamples();
    view.eeprom = view.main = true;
    spy.failCall("init", ORYX_DEVICE_FAILED);
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Failed);
    EXPECT_THAT(view.actions, ElementsAre("Initializing device ...", ""));
    EXPECT_THAT(spy.names(), ElementsAre("init"));
    EXPECT_FALSE(tool().updating());
    EXPECT_TRUE(view.controlsEnabled);
    EXPECT_EQ(view.messages.size(), 1u);  // the confirmation only
}

#ifndef _WIN32
// Without the spy: the library cannot find the device at all (on Windows it
// would say so in a real message box).
TEST_F(SequenceTest, NoDeviceAtAllEndsTheUpdateAfterInitialising) {
    copySamples({"vxb_main.iic"});
    platform::setEnv("KESTREL_SIM", "tcp:127.0.0.1:1");
    view.eeprom = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Failed);
    EXPECT_THAT(view.actions, ElementsAre("Initializing device ...", ""));
    EXPECT_TRUE(view.controlsEnabled);
}
#endif

TEST_F(SequenceTest, FullUpdateWritesEepromAndMainAndRestartsTheDevice) {
    // The sample files; natively with a real rescue format of a 16 MB card,
    // under wine (whose sockets make every device command dearer) on the
    // smallest card with a quick one.
#ifdef _WIN32
    startDevice(1);
#else
    startDevice(16);
    spy.quickFormats = false;
#endif
    copySamples();
    view.eeprom = view.main = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);

    EXPECT_THAT(actionSteps(view),
                ElementsAre("Initializing device ...", "Updating EEPROM code ...", "Verifying EEPROM code ...",
                            "Formatting System, please wait ...", "Initializing device ...", "Updating L1 code ...",
                            "Updating L2 code ...", "Updating FPGA code ...", "Restarting device, please wait ...",
                            "Device update was successful."));
    EXPECT_EQ(view.action, "Device update was successful.");
    EXPECT_EQ(view.percent, "");
    EXPECT_EQ(view.events.front(), "box:Update:Are you SURE you want to update EEPROM and MAIN code?");
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.controlsEnabled);
    EXPECT_FALSE(tool().updating());
    EXPECT_EQ(view.waitCursors, 0);
    EXPECT_THAT(mainCalls(spy), ElementsAre("init", "formatVol", "getListNumDir", "createFile", "fileExtend",
                                            "closeFile", "getListNumDir", "createFile", "fileExtend", "closeFile",
                                            "getListNumDir", "createFile", "fileExtend", "closeFile", "close"));
    EXPECT_EQ(spy.details("formatVol"), std::vector<std::string>{"dev0:\\ mode 1"});

    EXPECT_EQ(firmware(), "main");
    const auto image = hostBytes("vxb_main.iic");
    const auto eeprom = eepromBytes();
    ASSERT_EQ(eeprom.size(), 65536u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));

    const auto files = cardFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "L1_1.BIN");
    EXPECT_EQ(files[1].name, "L2_1.MI");
    EXPECT_EQ(files[2].name, "FPGA.BIR");
    for (const auto& [card, host] : {std::pair{"dev0:\\L1_1.BIN", "L1_1.BIN"}, std::pair{"dev0:\\L2_1.MI", "L2_1.MI"},
                                     std::pair{"dev0:\\FPGA.BIR", "FPGA.BIR"}})
        EXPECT_EQ(cardFileBytes(card), hostBytes(host)) << card;

#ifndef _WIN32
    // The card's file system as FAT tools see it.
    stopDevice();
    ASSERT_TRUE(exportPartition(deviceFolder(), scratchPath("card.img")));
    EXPECT_TRUE(fsckClean(scratchPath("card.img")));
#endif
}

class RestartTest : public UpdateTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(RestartTest, OnlyTheNtFamilyRestartsTheDeviceBetweenFormatAndDownloads) {
    const bool nt = GetParam() == PLATFORM_NT;
    platformId = GetParam();
    startDevice();
    writeSmallUpdateFiles();
    view.main = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);

    const auto calls = mainCalls(spy);
    const auto format = std::find(calls.begin(), calls.end(), "formatVol");
    ASSERT_NE(format, calls.end());
    const std::vector<std::string> afterFormat(format + 1, format + 3);
    if (nt) {
        EXPECT_THAT(afterFormat, ElementsAre("close", "init"));
        ASSERT_EQ(view.messages.size(), 2u);
        EXPECT_EQ(view.messages[1], (Message{"Don't turn off the device while system is updating!!!\n",
                                             "Rescue Update", BoxIcon::Information, BoxButtons::Ok,
                                             BoxModality::TaskModal}));
    } else {
        EXPECT_THAT(afterFormat, ElementsAre("getListNumDir", "createFile"));
        EXPECT_EQ(view.messages.size(), 1u);
    }
    EXPECT_EQ(calls.back(), "close");
    EXPECT_EQ(firmware(), "main");
    EXPECT_EQ(cardFiles().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(PlatformIds, RestartTest, ::testing::Values(1u, PLATFORM_NT),
                         [](const auto& info) { return info.param == PLATFORM_NT ? "Nt" : "Windows9x"; });

TEST_F(SequenceTest, EepromOnlyRestartsTheDeviceWithoutTouchingTheCard) {
    startDevice();
    writeSmallUpdateFiles();
    view.eeprom = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);
    EXPECT_THAT(mainCalls(spy), ElementsAre("init", "close"));
    EXPECT_EQ(firmware(), "main");
    EXPECT_EQ(stat("block_erases"), 0u);
    EXPECT_EQ(stat("page_programs"), 0u);
    EXPECT_EQ(view.action, "Device update was successful.");
}

TEST_F(SequenceTest, MainOnlyLeavesTheEepromAloneAndGivesFilesTheHostTimes) {
    startDevice();
    writeSmallUpdateFiles();
    // Odd seconds, so that the card's two-second resolution shows.
    ageHostFile("L1_1.BIN", 400LL * 86400 + 7);
    ageHostFile("L2_1.MI", 3LL * 86400 + 3601);
    ageHostFile("FPGA.BIR", 11);
    view.main = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);
    EXPECT_TRUE(spy.details("writeLC").empty());
    EXPECT_TRUE(spy.details("readLC").empty());
    const auto eeprom = eepromBytes();
    EXPECT_TRUE(std::all_of(eeprom.begin(), eeprom.end(), [](uint8_t b) { return b == 0xFF; }));

    const auto files = cardFiles();
    ASSERT_EQ(files.size(), 3u);
    for (const auto& file : files) {
        std::tm parts{};
        parts.tm_year = file.stat.year - 1900;
        parts.tm_mon = file.stat.month - 1;
        parts.tm_mday = file.stat.day;
        parts.tm_hour = file.stat.hour;
        parts.tm_min = file.stat.minute;
        parts.tm_sec = file.stat.second * 2;  // read back as a two-second count
        parts.tm_isdst = -1;
        const std::time_t onCard = std::mktime(&parts);
        const std::time_t onHost = hostModified(file.name);
        EXPECT_LE(std::llabs(static_cast<long long>(onHost - onCard)), 2) << file.name;
    }
}

TEST_F(SequenceTest, AFailedDownloadEndsTheUpdateWithoutRestartingTheDevice) {
    startDevice();
    writeSmallUpdateFiles();
    view.main = true;
    spy.failCall("fileExtend", ORYX_DISK_FULL, 2);  // the L2 code
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Failed);

    // The device file is closed after the failure; nothing follows.
    const auto calls = mainCalls(spy);
    EXPECT_THAT(std::vector<std::string>(calls.end() - 2, calls.end()), ElementsAre("fileExtend", "closeFile"));
    EXPECT_EQ(view.action, "Updating L2 code ...");
    EXPECT_TRUE(view.controlsEnabled);
    EXPECT_FALSE(tool().updating());
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].text,
              "Unable to write 'L2_1.MI' to the device (error 12).\nThe device was not restarted; see log.txt.");
    EXPECT_EQ(firmware(), "ffs");
    EXPECT_EQ(logText(), asTextFile("dwnl> Creating dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Extending dev0:\\L1_1.BIN to 3000 ... done\n"
                                    "\n"
                                    "dwnl> Creating dev0:\\L2_1.MI ... done\n"
                                    "dwnl> Extending dev0:\\L2_1.MI to 5000 ... error 12\n"));
    const auto files = cardFiles();
    ASSERT_GE(files.size(), 1u);
    EXPECT_EQ(files[0].name, "L1_1.BIN");
    for (const auto& file : files) EXPECT_NE(file.name, "FPGA.BIR");
}

TEST_F(SequenceTest, AFailedFormatSaysSoWithTheNormalCursorBack) {
    startDevice();
    writeSmallUpdateFiles();
    view.main = true;
    spy.failCall("formatVol", 1);
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Failed);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1], (Message{"Unable to format System.\n", "Update", BoxIcon::Information, BoxButtons::Ok,
                                         BoxModality::TaskModal}));
    const auto box = std::find(view.events.begin(), view.events.end(), "box:Update:Unable to format System.\n");
    ASSERT_NE(box, view.events.end());
    EXPECT_EQ(*(box - 1), "cursor:back");
    EXPECT_EQ(view.waitCursors, 0);
    EXPECT_EQ(mainCalls(spy).back(), "formatVol");
}

TEST_F(SequenceTest, AnEmptyMainImageIsRefusedAndTheCardKeepsItsCode) {
    startDevice();
    writeSmallUpdateFiles({"L1_1.BIN", "L2_1.MI", "FPGA.BIR"});
    view.main = true;
    ASSERT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);
    const auto before = cardFileBytes("dev0:\\L2_1.MI");
    ASSERT_EQ(before.size(), 5000u);

    writeHostFile("L2_1.MI", {});
    spy.calls.clear();
    view.messages.clear();
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::FileMissing);
    EXPECT_TRUE(spy.calls.empty()) << "neither formatted nor written";
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_NE(view.messages[1].text.find("'L2_1.MI'"), std::string::npos) << view.messages[1].text;
    const auto files = cardFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(cardFileBytes("dev0:\\L2_1.MI"), before);
}

TEST_F(SequenceTest, A5000ByteImageGoesInThreePiecesWithItsPercentagesAndLogLines) {
    startDevice();
    writeSmallUpdateFiles({"L2_1.MI", "FPGA.BIR"});
    writeHostFile("L1_1.BIN", patternBytes(5000, 3));
    view.main = true;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);

    const auto pieces = spy.details("writeFile");
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(pieces.begin(), pieces.begin() + 3), ElementsAre("2048", "2048", "904"));
    EXPECT_THAT(view.percentsDuring("Updating L1 code ..."), ElementsAre("", "  0%", " 40%", " 81%", "100%"));
    EXPECT_EQ(logText(), asTextFile("dwnl> Creating dev0:\\L1_1.BIN ... done\n"
                                    "dwnl> Extending dev0:\\L1_1.BIN to 5000 ... done\n"
                                    "\n"
                                    "dwnl> Creating dev0:\\L2_1.MI ... done\n"
                                    "dwnl> Extending dev0:\\L2_1.MI to 5000 ... done\n"
                                    "\n"
                                    "dwnl> Creating dev0:\\FPGA.BIR ... done\n"
                                    "dwnl> Extending dev0:\\FPGA.BIR to 2000 ... done\n"
                                    "\n"));
    EXPECT_EQ(cardFileBytes("dev0:\\L1_1.BIN"), hostBytes("L1_1.BIN"));
}

}  // namespace
}  // namespace kestrel::fwupdate::test
