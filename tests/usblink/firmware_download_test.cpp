// Loading firmware into the x51: the reset sequence, the image length, the
// three failures, and the downloads of init() and close().
#include "platform/driver_interface.h"
#include "platform/module.h"
#include "tests/usblink/link_fixture.h"
#include "usblink/firmware_download.h"

#include <filesystem>
#include <fstream>

namespace kestrel::usblink::test {
namespace {

void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The CPUCS vendor request with its data byte: 1 holds the x51, 0 releases it.
std::vector<uint8_t> cpucs(uint8_t hold) {
    return {0xA0, 0x00, 0x92, 0x7F, 0x00, 0x00, 0x01, 0x00, 0x00, hold};
}

class FirmwareDownloadTest : public LinkTest {
protected:
    // The codes of the recorded requests, in order.
    std::vector<uint32_t> codes() {
        std::vector<uint32_t> result;
        for (const auto& request : recorder().requests())
            result.push_back(request.code);
        return result;
    }

    void expectOneError(const char* text) {
        const auto boxes = messages();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Stop);
    }
};

TEST_F(FirmwareDownloadTest, NullPathOnlyResetsTheController) {
    EXPECT_EQ(device().download(nullptr), 1u);
    EXPECT_EQ(codes(), (std::vector<uint32_t>{driver::CTL_VENDOR_REQUEST, driver::CTL_VENDOR_REQUEST}));
    const auto requests = recorder().requests();
    EXPECT_EQ(requests[0].in, cpucs(1));
    EXPECT_EQ(requests[1].in, cpucs(0));
    EXPECT_TRUE(messages().empty());
}

TEST_F(FirmwareDownloadTest, LongImageIsCutAt64KiB) {
    const auto ffs = sim::test::readFile(firmwareFile(FFS_FIRMWARE));
    std::vector<uint8_t> image(70000, 0x5A);
    std::copy(ffs.begin(), ffs.end(), image.begin());
    const std::string path = firmwareFile("long.bix");
    writeFile(path, image);

    EXPECT_EQ(device().download(path.c_str()), 1u);
    EXPECT_EQ(codes(), (std::vector<uint32_t>{driver::CTL_VENDOR_REQUEST, driver::CTL_DOWNLOAD,
                                              driver::CTL_VENDOR_REQUEST}));
    const auto downloads = recorder().requests(driver::CTL_DOWNLOAD);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].in, (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(downloads[0].outLength, MAX_IMAGE_LENGTH);
    EXPECT_EQ(downloads[0].sent, std::vector<uint8_t>(image.begin(), image.begin() + MAX_IMAGE_LENGTH));
}

TEST_F(FirmwareDownloadTest, EmptyImageResetsWithoutLoading) {
    const std::string path = firmwareFile("empty.bix");
    writeFile(path, {});
    EXPECT_EQ(device().download(path.c_str()), 1u);
    EXPECT_EQ(codes(), (std::vector<uint32_t>{driver::CTL_VENDOR_REQUEST, driver::CTL_VENDOR_REQUEST}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(FirmwareDownloadTest, MissingDeviceIsReported) {
    ASSERT_EQ(simCommand("unplug"), "ok");
    EXPECT_EQ(device().download(firmwareFile(FFS_FIRMWARE).c_str()), 0u);
    expectOneError("Device not found\n");
    EXPECT_TRUE(codes().empty());
}

TEST_F(FirmwareDownloadTest, MissingFileIsReportedAndTheControllerLeftAlone) {
    EXPECT_EQ(device().download(firmwareFile("absent.bix").c_str()), 0u);
    expectOneError("File not found\n");
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(recorder().opens(), 1u);
}

TEST_F(FirmwareDownloadTest, DeviceThatDoesNotComeBackIsReported) {
    ASSERT_EQ(simCommand("reenumerate-ms 60000"), "ok");
    EXPECT_EQ(device().download(nullptr), 0u);
    expectOneError("x51 does not respond\n");
}

TEST_F(FirmwareDownloadTest, InitLoadsTheFileSystemFirmwareAndStartsTheLink) {
    ASSERT_EQ(device().init(), 1u);
    EXPECT_TRUE(device().link().running());
    const auto downloads = recorder().requests(driver::CTL_DOWNLOAD);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].sent, sim::test::readFile(firmwareFile(FFS_FIRMWARE)));
    uint8_t id[ID_ANSWER_LENGTH] = {};
    EXPECT_EQ(device().commands().readID(0, id), 1u);
    EXPECT_EQ(id[1], CARD_MAKER);
}

TEST_F(FirmwareDownloadTest, CloseWithoutStartedLinkDoesNothing) {
    device().close();
    EXPECT_EQ(recorder().opens(), 0u);
    EXPECT_TRUE(codes().empty());
}

TEST_F(FirmwareDownloadTest, CloseAfterUseLoadsTheMainFirmwareBack) {
    startLink();
    uint8_t id[ID_ANSWER_LENGTH] = {};
    ASSERT_EQ(device().commands().readID(0, id), 1u);
    recorder().clear();
    device().close();
    EXPECT_FALSE(device().link().running());
    const auto downloads = recorder().requests(driver::CTL_DOWNLOAD);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].sent, sim::test::readFile(firmwareFile(MAIN_FIRMWARE)));
    EXPECT_TRUE(messages().empty());
}

// Where the images are looked for: beside the library first, then in the
// "oryx" subfolder an installation keeps them in; with neither, the path
// beside the library, which the download then reports as missing.
TEST(FirmwarePathTest, BesideTheLibraryThenItsInstalledSubfolder) {
    sim::test::TempFolder folder;
    const char sep = platform::PATH_SEPARATOR;
    const std::string beside = folder.path() + sep + FFS_FIRMWARE;
    const std::string installed = folder.path() + sep + INSTALLED_FIRMWARE_FOLDER + sep + FFS_FIRMWARE;

    EXPECT_EQ(firmwarePath(folder.path(), FFS_FIRMWARE), beside);

    std::filesystem::create_directories(folder.path() + sep + INSTALLED_FIRMWARE_FOLDER);
    writeFile(installed, {1, 2, 3});
    EXPECT_EQ(firmwarePath(folder.path(), FFS_FIRMWARE), installed);
    EXPECT_EQ(firmwarePath(folder.path(), MAIN_FIRMWARE), folder.path() + sep + MAIN_FIRMWARE);

    writeFile(beside, {4});
    EXPECT_EQ(firmwarePath(folder.path(), FFS_FIRMWARE), beside);

    // A folder of the image's name is no image.
    std::filesystem::create_directories(folder.path() + sep + MAIN_FIRMWARE);
    EXPECT_EQ(firmwarePath(folder.path(), MAIN_FIRMWARE), folder.path() + sep + MAIN_FIRMWARE);
    std::filesystem::create_directories(folder.path() + sep + INSTALLED_FIRMWARE_FOLDER + sep + MAIN_FIRMWARE);
    EXPECT_EQ(firmwarePath(folder.path(), MAIN_FIRMWARE), folder.path() + sep + MAIN_FIRMWARE);
}

}  // namespace
}  // namespace kestrel::usblink::test
