// The kestrel program end to end against a simulated device: format and
// info, disk images, the boot EEPROM, and the choice of the device.
#include "tests/tools/cli_fixture.h"

#include "platform/environment.h"
#include "sim/device_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }


// --- card -----------------------------------------------------------------

// A blank card with a factory-bad block.
class BlankCardTest : public CliTest {
protected:
    sim::DeviceConfig deviceConfig() override {
        auto config = *sim::defaultDeviceConfig(CARD_MB, 0xEC);
        config.badBlocks = {7};
        return config;
    }
    bool startsFormatted() override { return false; }
};

TEST_F(BlankCardTest, InfoShowsTheCardAndTheVolumeBeforeAndAfterAFormat) {
    // A blank card holds no volume for the file commands.
    const std::string host = scratch("A.BIN");
    writePatternFile(host, 10, 1);
    Outcome run = kestrel({"put", host});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "kestrel put: cannot list /: ORYX result 5 (volume not usable")) << run.err;

    run = ok({"info"});
    EXPECT_TRUE(contains(run.out, "maker 0xEC, device 0x6E, 1 MB")) << run.out;
    EXPECT_TRUE(contains(run.out, "125 cylinders, 4 heads, 4 sectors per track")) << run.out;
    EXPECT_TRUE(contains(run.out, "2000 of 512 bytes")) << run.out;
    EXPECT_TRUE(contains(run.out, "256 physical, 250 logical, 8 sectors (16 pages of 256 bytes)")) << run.out;
    EXPECT_TRUE(contains(run.out, "bad blocks:         1 (7)")) << run.out;
    EXPECT_TRUE(contains(run.out, "volume:             none, ORYX result 5")) << run.out;

    run = ok({"format", "--label", "Travel"});
    // The format counts the blocks it found bad; block 0 it marks itself.
    EXPECT_TRUE(contains(run.out, "bad blocks: 1\n")) << run.out;
    run = ok({"info"});
    EXPECT_TRUE(contains(run.out, "bad blocks:         2 (0, 7)")) << run.out;
    EXPECT_TRUE(contains(run.out, "FAT12, label \"TRAVEL\"")) << run.out;
    EXPECT_TRUE(contains(run.out, "clusters:           4096 bytes (8 sectors of 512 bytes), 0 bad")) << run.out;
}

TEST_F(BlankCardTest, FormatDrawsItsProgressOnlyWhenAskedAndErasesTheFiles) {
    Outcome run = ok({"--progress", "format"});
    EXPECT_TRUE(contains(run.err, "format [")) << run.err;
    EXPECT_TRUE(contains(run.err, "] 100%\n")) << run.err;
    const std::string host = scratch("F.TXT");
    writePatternFile(host, 10, 1);
    ok({"put", host});
    const uint64_t programs = counter("page_programs");
    run = ok({"format"});
    EXPECT_TRUE(run.err.empty()) << run.err;  // not a terminal
    EXPECT_EQ(ok({"ls"}).out, "");
    // A quick format programs only the volume's first sectors.
    EXPECT_LT(counter("page_programs") - programs, 256u);
    const Outcome info = ok({"info"});
    EXPECT_TRUE(contains(info.out, "label \"NO NAME\"")) << info.out;
}

TEST_F(BlankCardTest, AFullFormatTestsEveryPage) {
    if (ON_WINDOWS) {
        GTEST_SKIP() << "a full format sends several commands per page, which under wine takes minutes; "
                        "the Linux build runs this test";
    }
    ok({"format", "--full"});
    // The test pattern goes into every page of the card (256 blocks of 16
    // pages), the bad block's included.
    EXPECT_GT(counter("page_programs"), 256u * 16u);
    EXPECT_TRUE(contains(ok({"info"}).out, "bad blocks:         2 (0, 7)"));
}

// --- disk images --------------------------------------------------------------

TEST_F(CliTest, BackupAndRestoreReproduceTheCardByteForByte) {
    ok({"mkdir", "/DIR"});
    const auto a = writePatternFile(scratch("A.BIN"), 10000, 1);
    const auto b = writePatternFile(scratch("B.BIN"), 0, 2);
    ok({"put", scratch("A.BIN"), "/DIR"});
    ok({"put", scratch("B.BIN")});
    const std::string first = scratch("first.img");
    ok({"backup", first});
    const auto image = readFile(first);
    ASSERT_EQ(image.size(), size_t{CARD_SECTORS} * 512);
    EXPECT_EQ(image[510], 0x55);
    EXPECT_EQ(image[511], 0xAA);
    // The last sectors lie in clusters nobody has used: zeros.
    EXPECT_EQ(std::vector<uint8_t>(image.end() - 512, image.end()), std::vector<uint8_t>(512, 0));

    // Other contents, which the restore replaces.
    ok({"rmdir", "-r", "/DIR"});
    ok({"put", scratch("A.BIN"), "/B.BIN"});
    ok({"put", scratch("A.BIN"), "/OTHER.BIN"});
    const Outcome restored = ok({"restore", first});
    EXPECT_TRUE(contains(restored.out, "2000 sectors restored")) << restored.out;
    EXPECT_EQ(ok({"ls", "/"}).out, "DIR/\nB.BIN\n");
    ok({"get", "/DIR/A.BIN", scratch("a.back")});
    EXPECT_EQ(readFile(scratch("a.back")), a);
    const std::string second = scratch("second.img");
    ok({"backup", second});
    EXPECT_TRUE(readFile(second) == image) << "the restored card differs from the image";
    EXPECT_EQ(firmware(), "main");
}

// A FAT12 entry of a disk image whose FAT begins at byte `fat`.
void setFat12(std::vector<uint8_t>& image, size_t fat, uint32_t index, uint16_t value) {
    uint8_t* at = &image[fat + index * 3 / 2];
    if (index % 2 == 0) {
        at[0] = static_cast<uint8_t>(value);
        at[1] = static_cast<uint8_t>((at[1] & 0xF0) | ((value >> 8) & 0x0F));
    } else {
        at[0] = static_cast<uint8_t>((at[0] & 0x0F) | ((value << 4) & 0xF0));
        at[1] = static_cast<uint8_t>(value >> 4);
    }
}

TEST_F(CliTest, GetOfAFileOnALoopingChainStopsWithAnError) {
    writePatternFile(scratch("F.BIN"), 10000, 3);  // three clusters
    ok({"put", scratch("F.BIN")});
    ok({"backup", scratch("card.img")});
    auto image = readFile(scratch("card.img"));
    // 1 MB card: FAT copies of one sector at 14 and 15, the root from 16.
    constexpr size_t FAT1 = 14 * 512, FAT2 = 15 * 512, ROOT = 16 * 512;
    ASSERT_EQ(std::string(image.begin() + ROOT, image.begin() + ROOT + 11), "F       BIN");
    const uint32_t first = image[ROOT + 26] | (image[ROOT + 27] << 8);
    // The third cluster links back to the first, and the size is as large
    // as a size can be.
    for (const size_t fat : {FAT1, FAT2}) setFat12(image, fat, first + 2, static_cast<uint16_t>(first));
    std::fill_n(image.begin() + ROOT + 28, 4, 0xFF);
    writeBytes(scratch("looping.img"), image);
    ok({"restore", scratch("looping.img")});

    const Outcome run = kestrel({"get", "/F.BIN", scratch("back.bin")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "kestrel get: cannot open /F.BIN: ORYX result 24")) << run.err;
    EXPECT_FALSE(hostFileExists(scratch("back.bin")));
    // Nothing on the card changed.
    ok({"backup", scratch("after.img")});
    EXPECT_TRUE(readFile(scratch("after.img")) == image) << "the card changed";
}

TEST_F(CliTest, BackupCorrectsSingleBitErrorsAndKeepsUncorrectableBlocksAsRead) {
    const auto data = writePatternFile(scratch("A.BIN"), 4096, 5);
    ok({"put", scratch("A.BIN")});
    ok({"backup", scratch("clean.img")});
    const auto clean = readFile(scratch("clean.img"));
    // The page that holds the file's first 256 bytes (pages of 256 data
    // and 8 spare bytes on this card).
    constexpr size_t RAW_PAGE = 264;
    const auto nand = readFile(sim::folderFile(deviceFolder(), sim::NAND_FILE));
    const auto at = std::search(nand.begin(), nand.end(), data.begin(), data.begin() + 256);
    ASSERT_NE(at, nand.end());
    ASSERT_EQ((at - nand.begin()) % RAW_PAGE, 0);
    const std::string page = std::to_string((at - nand.begin()) / RAW_PAGE);

    ASSERT_EQ(simCommand("flip " + page + " 3 0"), "ok");
    Outcome run = ok({"backup", scratch("corrected.img")});
    EXPECT_TRUE(readFile(scratch("corrected.img")) == clean) << "a single flipped bit was not corrected";

    ASSERT_EQ(simCommand("flip " + page + " 7 5"), "ok");
    run = kestrel({"backup", scratch("damaged.img")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "uncorrectable ECC error; its bytes are saved as read")) << run.err;
    const auto damaged = readFile(scratch("damaged.img"));
    ASSERT_EQ(damaged.size(), clean.size());
    size_t differences = 0;
    for (size_t i = 0; i < clean.size(); ++i) differences += clean[i] != damaged[i];
    EXPECT_EQ(differences, 2u);
}

// A get that fails leaves the host file it was to replace as
// it was, and no partial or temporary file beside it.
TEST_F(CliTest, FailedGetsLeaveTheHostFileAsItWas) {
    const auto data = writePatternFile(scratch("A.BIN"), 4096, 6);
    ok({"put", scratch("A.BIN")});
    constexpr size_t RAW_PAGE = 264;
    const auto nand = readFile(sim::folderFile(deviceFolder(), sim::NAND_FILE));
    const auto at = std::search(nand.begin(), nand.end(), data.begin(), data.begin() + 256);
    ASSERT_NE(at, nand.end());
    const std::string page = std::to_string((at - nand.begin()) / RAW_PAGE);
    ASSERT_EQ(simCommand("flip " + page + " 3 0"), "ok");
    ASSERT_EQ(simCommand("flip " + page + " 7 5"), "ok");

    const std::string mine = "the user's own file";
    const std::vector<uint8_t> mineBytes(mine.begin(), mine.end());
    writeBytes(scratch("mine.bin"), mineBytes);
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"get", "/A.BIN", scratch("mine.bin")}, {"remote", "get", "/A.BIN", scratch("mine.bin")}}) {
        const Outcome run = kestrel(words);
        EXPECT_EQ(run.code, 1) << words[0] << "\n" << run.err;
        EXPECT_EQ(readFile(scratch("mine.bin")), mineBytes) << words[0] << "\n" << run.err;
    }
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(scratch("mine.bin")).parent_path()))
        EXPECT_FALSE(entry.path().filename().string().rfind("mine.bin.", 0) == 0) << entry.path() << " stayed";
}

TEST_F(CliTest, RestoreRefusesAnImageOfTheWrongSize) {
    writePatternFile(scratch("short.img"), 512 * 100, 1);
    const Outcome run = kestrel({"restore", scratch("short.img")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "this card takes an image of exactly 1024000 bytes")) << run.err;
    EXPECT_EQ(counter("page_programs"), 0u);
}

// --- boot EEPROM ------------------------------------------------------------

TEST_F(CliTest, EepromImagesAreWrittenVerifiedAndReadBack) {
    const auto image = writePatternFile(scratch("ee.bin"), 65536, 1);
    Outcome run = ok({"eeprom", "write", scratch("ee.bin")});
    EXPECT_TRUE(contains(run.out, "65536 bytes written and verified")) << run.out;
    EXPECT_EQ(readFile(sim::folderFile(deviceFolder(), sim::EEPROM_FILE)), image);
    ok({"eeprom", "read", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), image);

    // A short image changes only its own bytes.
    const auto head = writePatternFile(scratch("head.bin"), 100, 2);
    ok({"eeprom", "write", scratch("head.bin")});
    auto expected = image;
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(readFile(sim::folderFile(deviceFolder(), sim::EEPROM_FILE)), expected);

    writePatternFile(scratch("long.bin"), 65537, 3);
    run = kestrel({"eeprom", "write", scratch("long.bin")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "an EEPROM image holds 1 to 65536")) << run.err;
    EXPECT_EQ(counter("eeprom_writes"), 2048u + 4u);
}

// --- device selection ---------------------------------------------------------

TEST_F(CliTest, SimServesADeviceFolderInsideTheProgram) {
    const std::string other = scratch("other");
    makeFormattedDevice(other);
    const uint64_t requests = counter("requests");
    const auto bytes = writePatternFile(scratch("F.BIN"), 9000, 1);
    ok({"--sim", other, "put", scratch("F.BIN")});
    ok({"get", "--sim", other, "/F.BIN", scratch("back.bin")});  // the option may follow the command
    EXPECT_EQ(readFile(scratch("back.bin")), bytes);
    EXPECT_EQ(ok({"--sim=" + other, "ls"}).out, "F.BIN\n");
    // The device of KESTREL_SIM was not touched.
    EXPECT_EQ(counter("requests"), requests);
    EXPECT_EQ(ok({"ls"}).out, "");
}

TEST_F(CliTest, WithoutADeviceCommandsFailWithTheStartResult) {
    if (ON_WINDOWS) {
        GTEST_SKIP() << "on Windows the library reports a missing device in a message box, which would wait for a click";
    }
    const std::string endpoint = *platform::getEnv("KESTREL_SIM");
    platform::unsetEnv("KESTREL_SIM");
    const Outcome run = kestrel({"ls"});
    platform::setEnv("KESTREL_SIM", endpoint);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "kestrel ls: cannot start the device: ORYX result 33")) << run.err;
    EXPECT_TRUE(run.out.empty());
}

}  // namespace
}  // namespace kestrel::cli::test
