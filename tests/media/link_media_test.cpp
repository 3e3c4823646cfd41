// The media layer on the product's path: device commands over the link to
// the simulated device in process, with the file-system firmware loaded.
#include "media/media.h"
#include "media/media_errors.h"
#include "platform/device_provider.h"
#include "platform/message_box.h"
#include "sim/sim_device.h"
#include "tests/media/sim_card.h"
#include "tests/sim/sim_test_support.h"
#include "usblink/firmware_download.h"
#include "usblink/usb_device.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace kestrel::media::test {
namespace {

usblink::LinkNames privateNames() {
    static const std::string stem = "media-test-" + std::to_string(std::random_device{}());
    static int counter = 0;
    usblink::LinkNames names;
    names.goEvent = stem + "-go-" + std::to_string(counter);
    names.doneEvent = stem + "-done-" + std::to_string(counter++);
    return names;
}

class LinkMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = sim::defaultDeviceConfig(2, 0xEC);  // 256-byte pages
        ASSERT_TRUE(config);
        ASSERT_TRUE(sim::test::createFolder(folder_.path(), *config));
        std::string error;
        sim_ = sim::SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(sim_) << error;
        platform::installDeviceProvider(sim::makeInProcessProvider(sim_));
        platform::setMessageSink([](const platform::MessageBoxRequest&) { return platform::MessageAnswer::Ok; });
        const auto firmware = std::filesystem::path(sim::test::siblingFile(usblink::FFS_FIRMWARE)).parent_path();
        device_ = std::make_unique<usblink::UsbDevice>(firmware.string(), privateNames());
        ASSERT_EQ(device_->init(), 1u);
        media_ = std::make_unique<Media>(device_->cardCommands());
        auto sim = sim_;
        hang_ = std::make_unique<sim::test::Watchdog>([sim] { sim->command("unplug"); });
    }
    void TearDown() override {
        media_.reset();
        device_.reset();
        hang_.reset();
        platform::installDeviceProvider(nullptr);
        platform::setMessageSink(nullptr);
    }

    sim::test::TempFolder folder_;
    std::shared_ptr<sim::SimDevice> sim_;
    std::unique_ptr<usblink::UsbDevice> device_;
    std::unique_ptr<Media> media_;
    std::unique_ptr<sim::test::Watchdog> hang_;
};

TEST_F(LinkMediaTest, FormatWriteAndReadThroughTheDeviceCommands) {
    uint32_t bad = 0;
    ASSERT_EQ(media_->maps().smFormatMedia(0, 0, &bad, {}), MEDIA_OK);
    EXPECT_EQ(bad, 0u);
    uint32_t old = 0;
    ASSERT_EQ(media_->maps().smAssignBlock(0, 10, &old), MEDIA_OK);
    auto data = sectorPattern(1);
    const auto more = sectorPattern(2);
    data.insert(data.end(), more.begin(), more.end());
    ASSERT_EQ(media_->maps().smWriteLogBlock(0, 10, 0, data.data(), 1024), MEDIA_OK);
    std::vector<uint8_t> back(1024);
    ASSERT_EQ(media_->maps().smReadLogBlock(0, 10, 0, back.data(), 1024), MEDIA_OK);
    EXPECT_EQ(back, data);
    // A fresh media object finds the block by scanning the card.
    Media again(device_->cardCommands());
    std::fill(back.begin(), back.end(), 0);
    ASSERT_EQ(again.maps().smReadLogBlock(0, 10, 0, back.data(), 1024), MEDIA_OK);
    EXPECT_EQ(back, data);
}

TEST_F(LinkMediaTest, CommandsTheDeviceNeverAnswersFailTheOperation) {
    ASSERT_EQ(media_->card().smIdentify(0), MEDIA_OK);
    std::vector<uint8_t> buffer(512);
    ASSERT_EQ(sim_->command("stall 1"), "ok");
    // The watchdog ends the read; nothing stale is delivered as data.
    EXPECT_EQ(media_->card().smReadPage(0, 0, buffer.data(), 256), MEDIA_NOT_READY);
    EXPECT_EQ(media_->card().smReadPage(0, 0, buffer.data(), 256), MEDIA_OK);

    ASSERT_EQ(sim_->command("unplug"), "ok");
    EXPECT_EQ(media_->card().smReadSpare(0, 0, buffer.data(), 8), MEDIA_NOT_READY);
    // No 1,440,000 status polls against a device that is gone.
    EXPECT_EQ(media_->card().smEraseBlock(0, 512 * 8), MEDIA_NOT_READY);
    EXPECT_EQ(media_->card().smWaitReady(0), MEDIA_NOT_READY);
}

}  // namespace
}  // namespace kestrel::media::test
