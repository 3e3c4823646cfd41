// The boot EEPROM step of the update against a simulated Kestrel: chunk
// addresses, the filled last chunk, the percentages, and the three ways the
// step fails (a write or a read that the device never answers, and a byte
// that reads back differently).
#include "fwupdate/core/update_files.h"
#include "tests/fwupdate/update_fixture.h"

#include <algorithm>

namespace kestrel::fwupdate::test {
namespace {

using ::testing::ElementsAre;

class EepromTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        startDevice();
        view.eeprom = true;
    }

    UpdateOutcome updateWith(const std::vector<uint8_t>& image) {
        writeHostFile("vxb_main.iic", image);
        return tool().RunUpdate();
    }

    // The update has ended: flag cleared, controls usable, device not
    // restarted (still in file-system mode, unless it was pulled out).
    void expectEndedWithoutRestart(bool stillInFileSystemMode = true) {
        EXPECT_FALSE(tool().updating());
        EXPECT_TRUE(view.controlsEnabled);
        EXPECT_TRUE(spy.details("close").empty());
        if (stillInFileSystemMode) {
            EXPECT_EQ(firmware(), "ffs");
        }
    }
};

TEST_F(EepromTest, A100ByteImageGoesInFourChunksTheLastFilledUp) {
    const auto image = patternBytes(100, 7);
    EXPECT_EQ(updateWith(image), UpdateOutcome::Succeeded);
    EXPECT_THAT(spy.details("writeLC"), ElementsAre("0", "32", "64", "96"));
    EXPECT_THAT(spy.details("readLC"), ElementsAre("0", "32", "64", "96"));
    EXPECT_THAT(view.percentsDuring("Updating EEPROM code ..."), ElementsAre("  0%", " 32%", " 64%", " 96%", "100%"));
    EXPECT_THAT(view.percentsDuring("Verifying EEPROM code ..."), ElementsAre("", " 32%", " 64%", " 96%", "100%"));
    const auto eeprom = eepromBytes();
    ASSERT_EQ(eeprom.size(), 65536u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
    EXPECT_TRUE(std::all_of(eeprom.begin() + 100, eeprom.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(stat("eeprom_writes"), 4u);
    EXPECT_EQ(firmware(), "main");
}

TEST_F(EepromTest, A64ByteImageGoesInExactlyTwoChunks) {
    EXPECT_EQ(updateWith(patternBytes(64, 8)), UpdateOutcome::Succeeded);
    EXPECT_THAT(spy.details("writeLC"), ElementsAre("0", "32"));
    EXPECT_EQ(stat("eeprom_writes"), 2u);
}

TEST_F(EepromTest, AnEmptyImageIsRefusedAndTheEepromKeepsItsCode) {
    ASSERT_EQ(updateWith(patternBytes(100, 8)), UpdateOutcome::Succeeded);
    const auto before = eepromBytes();
    spy.calls.clear();
    view.messages.clear();
    EXPECT_EQ(updateWith({}), UpdateOutcome::FileMissing);
    EXPECT_TRUE(spy.calls.empty());
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].text, "The update file 'vxb_main.iic' is empty.\nNothing was changed on the device.");
    EXPECT_EQ(eepromBytes(), before);
}

TEST_F(EepromTest, AWriteThatCannotReachTheDeviceStopsWithTheWriteError) {
    // Pulled out after the second chunk.
    view.onPump = [this](int pumps) {
        if (pumps == 2) simCommand("unplug");
    };
    EXPECT_EQ(updateWith(patternBytes(200, 9)), UpdateOutcome::Failed);
    simCommand("replug");
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1],
              (Message{"EEPROM write error", "ERROR", BoxIcon::Error, BoxButtons::Ok, BoxModality::Plain}));
    EXPECT_THAT(spy.details("writeLC"), ElementsAre("0", "32", "64"));
    EXPECT_TRUE(spy.details("readLC").empty());
    EXPECT_EQ(view.action, "");
    EXPECT_EQ(view.progress, 0u);
    expectEndedWithoutRestart(false);
}

TEST_F(EepromTest, AReadTheDeviceNeverAnswersStopsWithTheReadError) {
    // The device takes the second read and never answers; the library's
    // watchdog ends it.
    view.onAction = [this](const std::string& action) {
        if (action == "Verifying EEPROM code ...") simCommand("stall 2");
    };
    EXPECT_EQ(updateWith(patternBytes(200, 10)), UpdateOutcome::Failed);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1],
              (Message{"EEPROM read error", "ERROR", BoxIcon::Error, BoxButtons::Ok, BoxModality::Plain}));
    EXPECT_THAT(spy.details("readLC"), ElementsAre("0", "32"));
    EXPECT_EQ(view.action, "");
    EXPECT_EQ(view.percent, "");
    EXPECT_EQ(view.progress, 0u);
    expectEndedWithoutRestart();
}

TEST_F(EepromTest, ADifferentByteStopsWithTheVerifyErrorAndUpdateStaysUsable) {
    // Between writing and verifying, one byte of the second chunk changes.
    view.onAction = [](const std::string& action) {
        if (action != "Verifying EEPROM code ...") return;
        uint8_t other[32];
        EXPECT_EQ(usbcReadLC(32, other), 1u);
        other[5] ^= 0x01;
        EXPECT_EQ(usbcWriteLC(32, other), 1u);
    };
    EXPECT_EQ(updateWith(patternBytes(200, 11)), UpdateOutcome::Failed);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1], (Message{"Verify error!\nPlease try again.", "Error", BoxIcon::Error, BoxButtons::Ok,
                                         BoxModality::TaskModal}));
    EXPECT_THAT(spy.details("readLC"), ElementsAre("0", "32"));
    expectEndedWithoutRestart();

    // Trying again rewrites the image and succeeds.
    view.onAction = nullptr;
    EXPECT_EQ(tool().RunUpdate(), UpdateOutcome::Succeeded);
    const auto image = hostBytes("vxb_main.iic");
    const auto eeprom = eepromBytes();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
}

TEST_F(EepromTest, TheVerifyComparesEveryBytePositionOfEveryChunk) {
    // 70 bytes: two whole chunks and a last one of 6 image bytes.
    const auto bytes = patternBytes(70, 21);
    writeHostFile("vxb_main.iic", bytes);
    auto image = openHostFile(hostPath("vxb_main.iic"));
    ASSERT_TRUE(image);
    ASSERT_EQ(mt_smInit(), 0u);
    ASSERT_TRUE(tool().WriteBootEeprom(*image));
    ASSERT_TRUE(tool().VerifyBootEeprom(*image));
    std::vector<size_t> positions;
#ifdef _WIN32
    positions = {0, 1, 30, 31, 32, 45, 63, 64, 69};  // each request costs more through wine
#else
    for (size_t p = 0; p < bytes.size(); ++p) positions.push_back(p);
#endif
    for (const size_t p : positions) {
        SCOPED_TRACE(p);
        const auto chunk = static_cast<uint16_t>(p / 32 * 32);
        uint8_t stored[32];
        ASSERT_EQ(usbcReadLC(chunk, stored), 1u);
        stored[p % 32] ^= 0x10;
        ASSERT_EQ(usbcWriteLC(chunk, stored), 1u);
        view.messages.clear();
        EXPECT_FALSE(tool().VerifyBootEeprom(*image));
        EXPECT_EQ(view.messages.size(), 1u);
        stored[p % 32] ^= 0x10;
        ASSERT_EQ(usbcWriteLC(chunk, stored), 1u);
    }
    view.messages.clear();
    EXPECT_TRUE(tool().VerifyBootEeprom(*image)) << "every byte put back";
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(EepromTest, TheAnchorCommandRefusesAnOversizedImageAndWritesNothing) {
    writeHostFile("big.iic", patternBytes(70000, 12));
    EXPECT_EQ(tool().CommandLineEeprom(hostPath("big.iic")), 1u);
    EXPECT_FALSE(tool().lastCommandSucceeded());
    EXPECT_TRUE(spy.details("writeLC").empty());
    EXPECT_NE(logText().find(asTextFile("dwnl> *** Boot EEPROM not updated\n")), std::string::npos) << logText();
    const auto eeprom = eepromBytes();
    EXPECT_TRUE(std::all_of(eeprom.begin(), eeprom.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(firmware(), "main");
}

TEST_F(EepromTest, TheAnchorCommandWritesAndVerifiesTheImage) {
    const auto image = patternBytes(300, 13);
    writeHostFile("boot.iic", image);
    EXPECT_EQ(tool().CommandLineEeprom(hostPath("boot.iic")), 1u);
    EXPECT_TRUE(tool().lastCommandSucceeded());
    EXPECT_EQ(logText(), asTextFile("\ndwnl> Initilalizing SM file system ... done\n"
                                    "dwnl> Downloading EEPROM code from '" + hostPath("boot.iic") + "'\n"
                                    "dwnl> Download complete \n"
                                    "done\n"));
    const auto eeprom = eepromBytes();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
    EXPECT_EQ(firmware(), "main");
}

}  // namespace
}  // namespace kestrel::fwupdate::test
