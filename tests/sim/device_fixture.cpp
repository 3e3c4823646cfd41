#include "tests/sim/device_fixture.h"

#include "sim/device_folder.h"

namespace kestrel::sim::test {

namespace {

struct Bench {
    TempFolder folder;
    CardGeometry geometry;
    std::unique_ptr<TestDevice> device;
};

std::unique_ptr<Bench> makeBench(uint32_t sizeMb, uint8_t maker, uint32_t badBlock, Transport transport) {
    auto bench = std::make_unique<Bench>();
    auto config = defaultDeviceConfig(sizeMb, maker);
    config->badBlocks = {badBlock};
    bench->geometry = *config->geometry();
    if (!createFolder(bench->folder.path(), *config)) return nullptr;
    bench->device = openTestDevice(transport, bench->folder.path());
    return bench->device ? std::move(bench) : nullptr;
}

// The two devices of the test suite being run: made by its first test,
// dropped (daemons stopped, folders removed) when the suite ends.
struct Suite {
    Transport transport = Transport::InProcess;
    std::unique_ptr<Bench> small;
    std::unique_ptr<Bench> large;

    Bench& of(TestDevice& device) { return &device == small->device.get() ? *small : *large; }
};

Suite& suite() {
    static Suite current;
    return current;
}

}  // namespace

void DeviceTest::TearDownTestSuite() { suite() = Suite{}; }

void DeviceTest::SetUp() {
    if ((suite().small || suite().large) && suite().transport != GetParam()) suite() = Suite{};
    suite().transport = GetParam();
    if (!suite().small) suite().small = makeBench(2, MAKER_98, SMALL_BAD_BLOCK, GetParam());
    if (!suite().large) suite().large = makeBench(16, MAKER_EC, LARGE_BAD_BLOCK, GetParam());
    ASSERT_TRUE(suite().small && suite().large);
    ASSERT_EQ(small().command("reset"), "ok");
    ASSERT_EQ(large().command("reset"), "ok");
    watchdog_ = std::make_unique<Watchdog>([] {
        suite().small->device->command("unplug");
        suite().large->device->command("unplug");
    });
}

TestDevice& DeviceTest::small() { return *suite().small->device; }
TestDevice& DeviceTest::large() { return *suite().large->device; }

CardGeometry DeviceTest::geometryOf(TestDevice& device) { return suite().of(device).geometry; }

std::string DeviceTest::nandPath(TestDevice& device) { return suite().of(device).folder.file(NAND_FILE); }

std::string DeviceTest::eepromPath(TestDevice& device) { return suite().of(device).folder.file(EEPROM_FILE); }

DeviceClient DeviceTest::fileSystemClient(TestDevice& device) {
    DeviceClient client = device.client();
    EXPECT_TRUE(client.open());
    const auto image = readFile(siblingFile("vxb_ffs.bix"));
    EXPECT_FALSE(image.empty()) << "vxb_ffs.bix missing beside the test";
    EXPECT_TRUE(client.loadFirmware(image, PATIENCE_MS));
    return client;
}

DeviceClient DeviceTest::secondClient(TestDevice& device) {
    DeviceClient client = device.client();
    EXPECT_TRUE(client.open());
    return client;
}

std::string transportParamName(const ::testing::TestParamInfo<Transport>& info) {
    return transportName(info.param);
}

}  // namespace kestrel::sim::test
