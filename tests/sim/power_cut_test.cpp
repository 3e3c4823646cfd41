// Power failure during a card operation: the Nth program or erase is left
// half done, the device is gone until it is powered again, and the same
// cut always leaves the same card.
#include "tests/sim/device_fixture.h"

#include "platform/driver_interface.h"
#include "sim/device_config.h"

#include <algorithm>

namespace kestrel::sim::test {

namespace {

constexpr uint8_t READY = 0x40;

}  // namespace

class PowerCutTest : public DeviceTest {};

TEST_P(PowerCutTest, TheNthProgramStopsPartWayAndTheDeviceLeavesTheBus) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    const uint32_t first = 20 * g.pagesPerBlock;
    uint8_t status = 0;
    ASSERT_TRUE(client.eraseBlock(first));
    ASSERT_TRUE(client.waitReady(status));
    ASSERT_EQ(large().command("power-cut 3 7"), "ok");

    const auto a = pattern(g.pageBytes(), 21), b = pattern(g.pageBytes(), 22), c = pattern(g.pageBytes(), 23);
    ASSERT_TRUE(client.programPage(first, a));      // operation 1
    ASSERT_TRUE(client.waitReady(status));
    EXPECT_EQ(status, READY);
    ASSERT_TRUE(client.readStatus(status)) << "reads do not count";
    ASSERT_TRUE(client.programPage(first + 1, b));  // operation 2
    ASSERT_TRUE(client.waitReady(status));
    EXPECT_EQ(status, READY);
    EXPECT_NE(large().command("stats").find("power = on"), std::string::npos);

    (void)client.programPage(first + 2, c);         // operation 3: power fails
    uint8_t id[4] = {};
    const auto r = client.bulkRead(driver::PIPE_DATA_IN, id, 4);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, driver::ERR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(client.readId(id)) << "every later request fails";
    DeviceClient late = large().client();
    uint32_t error = 0;
    EXPECT_FALSE(late.open(&error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND) << "opens fail as for an unplugged device";
    EXPECT_NE(large().command("stats").find("power = lost"), std::string::npos);
    EXPECT_EQ(large().command("replug"), "ok");

    // Back on the bus: the two programs before the cut are whole, the third
    // is neither done nor untouched.
    DeviceClient after = fileSystemClient(large());
    std::vector<uint8_t> answer;
    ASSERT_TRUE(after.readPages(first, 3, answer));
    auto pageOf = [&](uint32_t i) {
        return std::vector<uint8_t>(answer.begin() + i * DeviceClient::PAGE_ANSWER,
                                    answer.begin() + i * DeviceClient::PAGE_ANSWER + g.pageBytes());
    };
    EXPECT_EQ(pageOf(0), a);
    EXPECT_EQ(pageOf(1), b);
    const auto torn = pageOf(2);
    EXPECT_NE(torn, c) << "the interrupted program did not finish";
    // Programmed from the page's first byte on, up to where power failed.
    size_t done = 0;
    while (done < torn.size() && torn[done] == c[done]) ++done;
    EXPECT_TRUE(std::all_of(torn.begin() + static_cast<long>(done) + 1, torn.end(),
                            [](uint8_t v) { return v == 0xFF; }))
        << "programmed up to byte " << done << ", nothing beyond";
}

TEST_P(PowerCutTest, AnInterruptedEraseLeavesTheBlockPartlyErasedOrUntouched) {
    const CardGeometry g = geometryOf(large());
    DeviceClient client = fileSystemClient(large());
    const uint32_t first = 22 * g.pagesPerBlock;
    uint8_t status = 0;
    ASSERT_TRUE(client.eraseBlock(first));
    ASSERT_TRUE(client.waitReady(status));
    std::vector<std::vector<uint8_t>> pages;
    for (uint32_t i = 0; i < g.pagesPerBlock; ++i) {
        pages.push_back(pattern(g.pageBytes(), 100 + i));
        ASSERT_TRUE(client.programPage(first + i, pages.back()));
        ASSERT_TRUE(client.waitReady(status));
    }
    ASSERT_EQ(large().command("power-cut 1 3"), "ok");
    (void)client.eraseBlock(first);
    EXPECT_FALSE(client.readStatus(status));
    EXPECT_NE(large().command("faults").find("power_cut_in = 0"), std::string::npos);
    ASSERT_EQ(large().command("reset"), "ok");

    DeviceClient after = fileSystemClient(large());
    std::vector<uint8_t> answer;
    ASSERT_TRUE(after.readPages(first, static_cast<uint16_t>(g.pagesPerBlock), answer));
    uint32_t erased = 0;
    while (erased < g.pagesPerBlock &&
           std::all_of(answer.begin() + erased * DeviceClient::PAGE_ANSWER,
                       answer.begin() + erased * DeviceClient::PAGE_ANSWER + g.pageBytes(),
                       [](uint8_t v) { return v == 0xFF; }))
        ++erased;
    for (uint32_t i = erased; i < g.pagesPerBlock; ++i) {
        const std::vector<uint8_t> kept(answer.begin() + i * DeviceClient::PAGE_ANSWER,
                                        answer.begin() + i * DeviceClient::PAGE_ANSWER + g.pageBytes());
        EXPECT_EQ(kept, pages[i]) << "page " << i << " after " << erased << " erased pages";
    }
}

// The same N and seed leave the same card; a cut of 0 disarms; reset
// restores power.
TEST_P(PowerCutTest, TheSameCutLeavesTheSameCard) {
    const CardGeometry g = geometryOf(small());
    const uint32_t first = 40 * g.pagesPerBlock;
    const auto data = pattern(g.pageBytes(), 31);
    std::vector<std::vector<uint8_t>> results;
    for (const char* cut : {"power-cut 2 5", "power-cut 2 5", "power-cut 2 6", "power-cut 2 9"}) {
        DeviceClient client = fileSystemClient(small());
        uint8_t status = 0;
        ASSERT_TRUE(client.eraseBlock(first));
        ASSERT_TRUE(client.waitReady(status));
        ASSERT_EQ(small().command(cut), "ok");
        ASSERT_TRUE(client.programPage(first + 3, data));
        ASSERT_TRUE(client.waitReady(status));
        (void)client.programPage(first + 4, data);
        ASSERT_EQ(small().command("reset"), "ok");
        DeviceClient after = fileSystemClient(small());
        std::vector<uint8_t> answer;
        ASSERT_TRUE(after.readPages(first + 4, 1, answer));
        answer.resize(g.pageBytes());
        results.push_back(answer);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_TRUE(results[2] != results[0] || results[3] != results[0]) << "the seed chooses the tear";

    ASSERT_EQ(small().command("power-cut 1"), "ok");
    ASSERT_EQ(small().command("power-cut 0"), "ok");
    DeviceClient client = fileSystemClient(small());
    uint8_t status = 0;
    ASSERT_TRUE(client.eraseBlock(first));
    ASSERT_TRUE(client.waitReady(status));
    EXPECT_EQ(status, READY) << "disarmed";
    EXPECT_NE(small().command("power-cut").find("error"), std::string::npos);
    EXPECT_NE(small().command("power-cut x").find("error"), std::string::npos);
    EXPECT_NE(small().command("power-cut 1 2 3").find("error"), std::string::npos);
}

TEST(PowerCutConfigTest, DeviceConfArmsTheCutFromPowerOnAndCardCommandsFailAfterIt) {
    auto config = defaultDeviceConfig(4, MAKER_98);
    config->powerCut = 2;
    config->powerCutSeed = 11;
    const auto text = formatDeviceConfig(*config);
    std::string error;
    const auto parsed = parseDeviceConfig(text, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->powerCut, 2u);
    EXPECT_EQ(parsed->powerCutSeed, 11u);
    EXPECT_FALSE(parseDeviceConfig("power_cut = soon\n", &error));
    EXPECT_NE(text.find("power_cut "), std::string::npos) << "the key is described in the header";

    TempFolder folder;
    ASSERT_TRUE(createFolder(folder.path(), *config));
    auto device = SimDevice::openFolder(folder.path(), &error);
    ASSERT_TRUE(device) << error;
    auto card = device->directCardCommands();
    std::vector<uint8_t> page(264, 0x00);
    uint8_t status[2] = {};
    EXPECT_EQ(card->eraseBlock(0, 5 * 16), 1u);
    EXPECT_EQ(card->eraseBlock(0, 6 * 16), 0u) << "power fails during the second operation";
    EXPECT_EQ(card->programPage(0, 6 * 16, 264, page.data()), 0u);
    EXPECT_EQ(card->readStatus(0, status), 0u);
    uint32_t openError = 0;
    EXPECT_EQ(device->open(0, 0, openError), nullptr);
    EXPECT_EQ(openError, driver::ERR_FILE_NOT_FOUND);
    ASSERT_EQ(device->command("reset"), "ok");
    EXPECT_EQ(card->readStatus(0, status), 1u);
    EXPECT_EQ(card->eraseBlock(0, 6 * 16), 1u) << "armed again from power-on: operation 1";
    EXPECT_EQ(card->eraseBlock(0, 7 * 16), 0u) << "operation 2";
}

INSTANTIATE_TEST_SUITE_P(InProcess, PowerCutTest, ::testing::Values(Transport::InProcess), transportParamName);
INSTANTIATE_TEST_SUITE_P(Ksim, PowerCutTest, ::testing::Values(Transport::Ksim), transportParamName);

}  // namespace kestrel::sim::test
