// The device's file server on the card itself: what the ORYX file system
// writes (the update tool's side, with the file-system firmware) is what
// filex lists and reads (Explorer's side, with the main firmware), and what
// filex writes the file system reads back, long names included.
#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "filex/filex_client.h"
#include "media/media.h"
#include "platform/device_provider.h"
#include "sim/sim_device.h"
#include "tests/filex/filex_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrel::filex::test {
namespace {

std::vector<uint8_t> bytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(length);
    for (auto& b : out) b = static_cast<uint8_t>(random());
    return out;
}

class CardRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim::test::createFolder(folder_.path(), *sim::defaultDeviceConfig(4, sim::MAKER_EC)));
        std::string error;
        device_ = sim::SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(device_) << error;
        platform::installDeviceProvider(sim::makeInProcessProvider(device_));
        commands_ = device_->directCardCommands();
        media_ = std::make_unique<media::Media>(*commands_);
        fs_ = std::make_unique<fatfs::FileSystem>(*media_, nullptr);
        ASSERT_EQ(fs_->init(), fatfs::FS_OK);
        uint32_t bad = 0;
        ASSERT_EQ(fs_->formatVol("dev0:", "NO NAME", 0, &bad, {}), fatfs::FS_OK);
        client_ = std::make_unique<FilexClient>(uniqueNames(), false);
        auto device = device_;
        hang_ = std::make_unique<sim::test::Watchdog>([device] { device->command("unplug"); });
    }
    void TearDown() override {
        client_.reset();
        hang_.reset();
        platform::installDeviceProvider(nullptr);
    }

    // The device restarts with the main firmware, as after the update tool's
    // usbcClose: the file server forgets what it knew of the card.
    void restartDevice() { ASSERT_EQ(device_->command("reset"), "ok"); }

    void oryxWrite(const std::string& path, const std::vector<uint8_t>& data) {
        uint32_t handle = 0;
        ASSERT_EQ(fs_->createFile(path, 1, &handle), fatfs::FS_OK) << path;
        ASSERT_EQ(fs_->fileExtend(handle, static_cast<uint32_t>(data.size())), fatfs::FS_OK);
        ASSERT_EQ(fs_->writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), fatfs::FS_OK);
        ASSERT_EQ(fs_->closeFile(handle), fatfs::FS_OK);
    }

    std::vector<uint8_t> oryxRead(const std::string& path) {
        uint32_t size = 0, handle = 0, delivered = 0;
        EXPECT_EQ(fs_->getSizeFile(path, &size), fatfs::FS_OK) << path;
        EXPECT_EQ(fs_->openFile(path, 1, &handle), fatfs::FS_OK) << path;
        std::vector<uint8_t> data(size);
        EXPECT_EQ(fs_->readFile(handle, data.data(), size, &delivered), fatfs::FS_OK);
        EXPECT_EQ(fs_->closeFile(handle), fatfs::FS_OK);
        return data;
    }

    sim::test::TempFolder folder_;
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<usblink::CardCommands> commands_;
    std::unique_ptr<media::Media> media_;
    std::unique_ptr<fatfs::FileSystem> fs_;
    std::unique_ptr<FilexClient> client_;
    std::unique_ptr<sim::test::Watchdog> hang_;
};

TEST_F(CardRoadTest, FilesWrittenThroughOryxAreListedAndReadThroughFilex) {
    ASSERT_EQ(fs_->createDir("dev0:\\MUSIC"), fatfs::FS_OK);
    oryxWrite("dev0:\\L1_1.BIN", bytes(70000, 1));
    oryxWrite("dev0:\\MUSIC\\SONG.MP3", bytes(5000, 2));
    const std::u16string longName = u"My favourite song.mp3";
    std::vector<uint16_t> name(longName.begin(), longName.end());
    name.push_back(0);
    ASSERT_EQ(fs_->setLongName("dev0:\\MUSIC\\SONG.MP3", name.data()), fatfs::FS_OK);
    restartDevice();

    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"MUSIC", "L1_1.BIN"}));
    EXPECT_EQ((*root)[1].size, 70000u);
    EXPECT_EQ((*root)[0].attributes & 0x10, 0x10);
    const auto music = listFolder(*client_, "/MUSIC");
    ASSERT_TRUE(music);
    EXPECT_EQ(namesOf(*music), (std::vector<std::string>{".", "..", "My favourite song.mp3"}));
    EXPECT_EQ(getFile(*client_, "/L1_1.BIN"), bytes(70000, 1));
    EXPECT_EQ(getFile(*client_, "/music/my FAVOURITE song.MP3"), bytes(5000, 2));  // names match without case
    EXPECT_EQ(getFile(*client_, "/MUSIC/SONG.MP3"), bytes(5000, 2));                // and by short name
}

TEST_F(CardRoadTest, FilesWrittenThroughFilexAreReadThroughOryx) {
    restartDevice();
    ASSERT_EQ(client_->mkdir("/Pictures", 0), 0);
    ASSERT_TRUE(putFile(*client_, "/Pictures/Holiday at the sea.jpg", bytes(130000, 3)));
    ASSERT_TRUE(putFile(*client_, "/NOTES.TXT", bytes(10, 4)));
    ASSERT_TRUE(putFile(*client_, "/NOTES.TXT", bytes(7, 5)));  // replaced, and shorter
    EXPECT_EQ(client_->mkdir("/pictures", 0), -1);                // exists
    EXPECT_EQ(client_->rmdir("/Pictures"), -1);                   // not empty

    // The update tool's side: the file-system firmware, the card mounted anew.
    ASSERT_EQ(fs_->init(), fatfs::FS_OK);
    EXPECT_EQ(oryxRead("dev0:\\NOTES.TXT"), bytes(7, 5));
    std::vector<uint8_t> records(3 * fatfs::DIR_RECORD);
    uint32_t delivered = 0;
    ASSERT_EQ(fs_->readDirEx("dev0:\\PICTURES", 0, 3, records.data(), &delivered), fatfs::FS_OK);
    const std::string shortName(reinterpret_cast<const char*>(&records[2 * fatfs::DIR_RECORD]));
    std::u16string longName;
    for (size_t at = 16; records[2 * fatfs::DIR_RECORD + at] != 0; at += 2) {
        longName += static_cast<char16_t>(records[2 * fatfs::DIR_RECORD + at]);
    }
    EXPECT_EQ(longName, u"Holiday at the sea.jpg");
    EXPECT_EQ(oryxRead("dev0:\\PICTURES\\" + shortName), bytes(130000, 3));

    restartDevice();
    EXPECT_EQ(client_->unlink("/Pictures/holiday AT the sea.jpg"), 0);
    EXPECT_EQ(client_->rmdir("/Pictures"), 0);
    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"NOTES.TXT"}));
}

TEST_F(CardRoadTest, AnUnformattedCardAnswersEveryOperationWithAFailure) {
    sim::test::TempFolder blank;
    ASSERT_TRUE(sim::test::createFolder(blank.path(), *sim::defaultDeviceConfig(2, sim::MAKER_EC)));
    std::string error;
    auto device = sim::SimDevice::openFolder(blank.path(), &error);
    ASSERT_TRUE(device) << error;
    platform::installDeviceProvider(sim::makeInProcessProvider(device));
    EXPECT_EQ(client_->opendir("/"), 0);
    EXPECT_EQ(client_->open("/A.TXT", OPEN_REPLACE), -1);
    EXPECT_EQ(client_->mkdir("/D", 0), -1);
}

}  // namespace
}  // namespace kestrel::filex::test
