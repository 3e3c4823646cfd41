// The simulator's programs and wire: the KSIM server against raw sockets,
// kestrel-sim and kestrel-simd as processes (exit codes, the device folder
// they leave), the request trace, and two client processes sharing one
// served device.
#include "tests/sim/sim_test_support.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "platform/socket.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace kestrel::sim::test {

namespace {

using namespace std::chrono;

int runTool(const std::string& program, const std::vector<std::string>& arguments) {
    std::string error;
    auto child = platform::ChildProcess::spawn(siblingProgram(program), arguments, &error);
    if (!child) {
        ADD_FAILURE() << program << ": " << error;
        return -1;
    }
    const auto code = child->wait(PATIENCE_MS);
    EXPECT_TRUE(code.has_value()) << program << " did not end";
    return code.value_or(-1);
}

std::vector<uint8_t> openRequest(const std::string& name, uint32_t version = ksim::VERSION,
                                 uint32_t nameLength = 0xFFFFFFFF) {
    std::vector<uint8_t> bytes(20 + name.size());
    std::copy(ksim::MAGIC, ksim::MAGIC + 4, bytes.begin());
    storeLe32(bytes.data() + 4, version);
    storeLe32(bytes.data() + 8, driver::ACCESS_WRITE);
    storeLe32(bytes.data() + 12, driver::SHARE_WRITE);
    storeLe32(bytes.data() + 16, nameLength == 0xFFFFFFFF ? static_cast<uint32_t>(name.size()) : nameLength);
    std::copy(name.begin(), name.end(), bytes.begin() + 20);
    return bytes;
}

std::vector<uint8_t> requestHeader(uint32_t code, uint32_t inLength, uint32_t outLength) {
    std::vector<uint8_t> bytes(12);
    storeLe32(bytes.data(), code);
    storeLe32(bytes.data() + 4, inLength);
    storeLe32(bytes.data() + 8, outLength);
    return bytes;
}

// A device folder served by a KsimServer inside the test process, for tests
// that speak the wire protocol byte by byte.
class KsimServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = defaultDeviceConfig(4, MAKER_98);
        ASSERT_TRUE(createFolder(folder_.path(), *config));
        std::string error;
        device_ = SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(device_) << error;
        auto listener = platform::listenOn(*platform::parseEndpoint("tcp:127.0.0.1:0"), &error);
        ASSERT_TRUE(listener) << error;
        server_ = std::make_unique<KsimServer>(device_, std::move(listener));
        endpoint_ = server_->endpoint();
        // A server that waits for bytes that never come would hang the test.
        watchdog_ = std::make_unique<Watchdog>([this] { server_->close(); });
    }

    void TearDown() override { watchdog_.reset(); }

    std::unique_ptr<platform::Socket> connect() {
        std::string error;
        auto socket = platform::connectTo(endpoint_, &error);
        EXPECT_TRUE(socket) << error;
        return socket;
    }

    // Sends `bytes` and reports whether the server then closed the
    // connection without answering.
    bool closedAfter(const std::vector<uint8_t>& bytes, platform::Socket& socket) {
        EXPECT_TRUE(socket.sendAll(bytes.data(), bytes.size()));
        uint8_t answer[4];
        return !socket.receiveAll(answer, sizeof answer);
    }

    std::unique_ptr<platform::Socket> openDevice() {
        auto socket = connect();
        const auto request = openRequest(driver::DEVICE_NAME);
        uint8_t answer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_TRUE(socket->sendAll(request.data(), request.size()));
        EXPECT_TRUE(socket->receiveAll(answer, 4));
        EXPECT_EQ(loadLe32(answer), 0u);
        return socket;
    }

    TempFolder folder_;
    std::shared_ptr<SimDevice> device_;
    std::unique_ptr<KsimServer> server_;
    platform::Endpoint endpoint_;
    std::unique_ptr<Watchdog> watchdog_;
};

}  // namespace

TEST_F(KsimServerTest, ProtocolViolationsCloseTheConnection) {
    auto badMagic = openRequest(driver::DEVICE_NAME);
    badMagic[0] = 'X';
    EXPECT_TRUE(closedAfter(badMagic, *connect()));
    EXPECT_TRUE(closedAfter(openRequest(driver::DEVICE_NAME, 2), *connect())) << "unknown version";
    EXPECT_TRUE(closedAfter(openRequest("", ksim::VERSION, ksim::MAX_NAME_LENGTH + 1), *connect()))
        << "name too long";
}

TEST_F(KsimServerTest, OversizedTransfersCloseTheConnection) {
    // Only the header is sent: a server that accepted the size would wait
    // for the payload, and the fixture's watchdog would fail the test.
    for (const auto& [inLength, outLength] : {std::pair{4u, ksim::MAX_TRANSFER + 1}, {ksim::MAX_TRANSFER + 1, 0u}}) {
        auto socket = openDevice();
        EXPECT_TRUE(closedAfter(requestHeader(driver::CTL_BULK_WRITE, inLength, outLength), *socket))
            << inLength << " " << outLength;
    }
}

TEST_F(KsimServerTest, OpenOfAnotherNameIsAnsweredWithError2) {
    auto socket = connect();
    const auto request = openRequest("QlxUsb-7");
    ASSERT_TRUE(socket->sendAll(request.data(), request.size()));
    uint8_t answer[4];
    ASSERT_TRUE(socket->receiveAll(answer, 4));
    EXPECT_EQ(loadLe32(answer), driver::ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(socket->receiveAll(answer, 1)) << "then the connection closes";
}

TEST_F(KsimServerTest, RepliesCarryOutputOnlyWhenTheDriverFillsIt) {
    auto socket = openDevice();
    // Direct-in request: the output buffer travels to the device, the reply
    // is the 12-byte header alone.
    auto write = requestHeader(driver::CTL_BULK_WRITE, 4, 64);
    write.resize(12 + 4 + 64, 0);
    storeLe32(write.data() + 12, driver::PIPE_COMMAND);
    write[16] = 9;  // status command, ignored by the main firmware
    ASSERT_TRUE(socket->sendAll(write.data(), write.size()));
    uint8_t reply[12];
    ASSERT_TRUE(socket->receiveAll(reply, 12));
    EXPECT_EQ(loadLe32(reply), 1u);
    EXPECT_EQ(loadLe32(reply + 4), 0u);
    EXPECT_EQ(loadLe32(reply + 8), 64u);

    const auto info = requestHeader(driver::CTL_GET_PIPE_INFO, 0, driver::PIPE_INFO_LENGTH);
    ASSERT_TRUE(socket->sendAll(info.data(), info.size()));
    ASSERT_TRUE(socket->receiveAll(reply, 12));
    ASSERT_EQ(loadLe32(reply + 8), driver::PIPE_INFO_LENGTH);
    std::vector<uint8_t> answer(driver::PIPE_INFO_LENGTH);
    ASSERT_TRUE(socket->receiveAll(answer.data(), answer.size()));
    EXPECT_EQ(loadLe32(answer.data() + driver::PIPE_INFO_COUNT_OFFSET), driver::PIPE_COUNT);

    const auto unknown = requestHeader(0x222FF0, 0, 0);
    ASSERT_TRUE(socket->sendAll(unknown.data(), unknown.size()));
    ASSERT_TRUE(socket->receiveAll(reply, 12));
    EXPECT_EQ(loadLe32(reply), 0u);
    EXPECT_EQ(loadLe32(reply + 4), driver::ERR_INVALID_FUNCTION);
    EXPECT_EQ(loadLe32(reply + 8), 0u);
}

TEST_F(KsimServerTest, ControlHandleReplugsAnUnpluggedDevice) {
    auto provider = platform::makeKsimProvider(endpoint_.toString());
    uint32_t error = 0;
    auto control = provider->open(CONTROL_NAME, 0, 0, error);
    ASSERT_TRUE(control);
    auto send = [&](const std::string& text) {
        std::vector<char> answer(4096);
        const auto r = control->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                        answer.data(), static_cast<uint32_t>(answer.size()));
        return r.ok ? std::string(answer.data(), r.bytes) : std::string("failed");
    };
    ASSERT_EQ(send("unplug"), "ok");
    EXPECT_FALSE(provider->open(driver::DEVICE_NAME, 0, 0, error));
    EXPECT_EQ(error, driver::ERR_FILE_NOT_FOUND);
    ASSERT_EQ(send("replug"), "ok");
    EXPECT_TRUE(provider->open(driver::DEVICE_NAME, 0, 0, error));
    const auto r = control->control(driver::CTL_GET_PIPE_INFO, nullptr, 0, nullptr, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, driver::ERR_INVALID_FUNCTION) << "a control handle only takes simulator commands";
}

TEST_F(KsimServerTest, ClosingTheServerEndsBlockedRequestsAndConnections) {
    DeviceClient client(platform::makeKsimProvider(endpoint_.toString()));
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.sendPacket(DeviceClient::packet(6, 0, 1)));  // main firmware: no answer
    auto read = std::async(std::launch::async, [&client] {
        uint8_t data[64];
        return client.bulkRead(driver::PIPE_DATA_IN, data, 64);
    });
    const auto deadline = steady_clock::now() + milliseconds(PATIENCE_MS);
    while (device_->counters().pendingTransfers == 0 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    ASSERT_EQ(device_->counters().pendingTransfers, 1u);
    server_->close();
    ASSERT_EQ(read.wait_for(milliseconds(PATIENCE_MS)), std::future_status::ready);
    EXPECT_FALSE(read.get().ok);
    EXPECT_EQ(device_->counters().pendingTransfers, 0u);
    uint32_t error = 0;
    EXPECT_FALSE(platform::makeKsimProvider(endpoint_.toString())->open(driver::DEVICE_NAME, 0, 0, error));
}

TEST(RequestTraceTest, RecordsEveryDriverRequestWithItsBytes) {
    TempFolder folder;
    ASSERT_TRUE(createFolder(folder.path(), *defaultDeviceConfig(16, MAKER_EC)));
    const std::string tracePath = folder.file("trace.txt");
    platform::setEnv("KESTREL_SIM_TRACE", tracePath);
    std::string error;
    auto device = SimDevice::openFolder(folder.path(), &error);
    platform::unsetEnv("KESTREL_SIM_TRACE");
    ASSERT_TRUE(device) << error;
    DeviceClient client(makeInProcessProvider(device));
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.loadFirmware(readFile(siblingFile("vxb_ffs.bix")), PATIENCE_MS));
    uint8_t id[4];
    ASSERT_TRUE(client.readId(id));
    EXPECT_FALSE(client.bulkRead(7, id, 4).ok);
    (void)client.simCommand("stats");

    const auto text = readTextFile(tracePath);
    ASSERT_TRUE(text);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text->size();) {
        const auto end = text->find('\n', at);
        lines.push_back(text->substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), device->counters().requests) << *text;
    EXPECT_NE(lines[1].find("DOWNLOAD"), std::string::npos);
    EXPECT_NE(lines[1].find("out=4096"), std::string::npos);
    EXPECT_NE(lines[1].find(" ..."), std::string::npos) << "long transfers are cut short";
    EXPECT_LT(lines[1].size(), 400u);
    EXPECT_NE(lines[3].find("pipe=3"), std::string::npos);
    EXPECT_NE(lines[3].find(": 06 00 00 00 00 00 01 00"), std::string::npos);
    EXPECT_NE(lines[4].find("pipe=1"), std::string::npos);
    EXPECT_NE(lines[4].find(": 00 ec 73 a5"), std::string::npos);
    EXPECT_NE(lines[5].find("error=87"), std::string::npos);
}

TEST(ProgramsTest, CreateMakesADeviceFolderAndRefusesMistakes) {
    TempFolder folder;
    const std::string dir = folder.file("dev");
    EXPECT_EQ(runTool("kestrel-sim", {"create", dir, "--size", "2M", "--maker", "0x98", "--bad", "3,511"}), 0);
    const auto nand = readFile(folder.file("dev/nand.bin"));
    ASSERT_EQ(nand.size(), 512u * 16 * 264);
    EXPECT_EQ(nand[3 * 16 * 264 + 256 + 5], 0x00);
    EXPECT_EQ(nand[511 * 16 * 264 + 256 + 5], 0x00);
    EXPECT_EQ(std::count(nand.begin(), nand.end(), 0xFF), static_cast<long>(nand.size() - 2));
    const auto eeprom = readFile(folder.file("dev/eeprom.bin"));
    EXPECT_EQ(eeprom, std::vector<uint8_t>(65536, 0xFF));
    const auto config = readDeviceConfig(dir);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->deviceCode, 0xEA);
    EXPECT_EQ(config->badBlocks, (std::vector<uint32_t>{3, 511}));

    EXPECT_EQ(runTool("kestrel-sim", {"info", dir}), 0);
    EXPECT_EQ(runTool("kestrel-sim", {"page", dir, "48"}), 0);
    EXPECT_EQ(runTool("kestrel-sim", {"create", dir, "--size", "2M"}), 1) << "already a device";
    EXPECT_EQ(runTool("kestrel-sim", {"create", folder.file("x"), "--size", "3M"}), 1);
    EXPECT_EQ(runTool("kestrel-sim", {"create", folder.file("y"), "--size", "1M", "--bad", "256"}), 1);
    EXPECT_EQ(runTool("kestrel-sim", {"create", folder.file("z")}), 2);
    EXPECT_EQ(runTool("kestrel-sim", {"create", folder.file("z"), "--size", "2M", "--colour", "red"}), 2);
    EXPECT_EQ(runTool("kestrel-sim", {"stats", dir}), 1) << "not served yet";
    EXPECT_EQ(runTool("kestrel-sim", {"info", folder.file("none")}), 1);
    EXPECT_EQ(runTool("kestrel-sim", {"frobnicate"}), 2);
    EXPECT_EQ(runTool("kestrel-sim", {"--help"}), 0);
    EXPECT_EQ(runTool("kestrel-simd", {"--help"}), 0);
    EXPECT_EQ(runTool("kestrel-simd", {dir}), 2) << "no --listen";
    EXPECT_EQ(runTool("kestrel-simd", {folder.file("none"), "--listen", "tcp:127.0.0.1:0"}), 1);
}

TEST(ProgramsTest, DaemonServesTheDemoAndLeavesItsWorkInTheFolder) {
    TempFolder folder;
    const std::string dir = folder.file("dev");
    ASSERT_EQ(runTool("kestrel-sim", {"create", dir, "--size", "16M"}), 0);
    {
        SimDaemon daemon(dir);
        ASSERT_FALSE(daemon.endpoint().empty()) << daemon.error();
        EXPECT_EQ(runTool("kestrel-sim", {"demo", daemon.endpoint()}), 0);
        EXPECT_EQ(runTool("kestrel-sim", {"command", daemon.endpoint(), "fail-erase", "7"}), 0);
        EXPECT_EQ(runTool("kestrel-sim", {"command", daemon.endpoint(), "explode"}), 1);
        const auto deadline = steady_clock::now() + milliseconds(PATIENCE_MS);
        while (steady_clock::now() < deadline &&
               statValue(readTextFile(folder.file("dev/stats.txt")).value_or(""), "page_programs") != 1)
            std::this_thread::sleep_for(milliseconds(10));
        EXPECT_EQ(runTool("kestrel-sim", {"stats", dir}), 0);
    }
    const auto stats = readTextFile(folder.file("dev/stats.txt")).value_or("");
    EXPECT_EQ(statValue(stats, "page_programs"), 1u) << stats;
    EXPECT_EQ(statValue(stats, "block_erases"), 1u);
    EXPECT_GT(statValue(stats, "modelled_us"), 10000u);
    const auto page = readFileRange(folder.file("dev/nand.bin"), 64u * 528, 528);
    ASSERT_EQ(page.size(), 528u);
    for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(page[i], static_cast<uint8_t>(i * 37 + 11)) << i;
}

TEST(ProgramsTest, TwoClientProcessesUseOneDeviceAtOnce) {
    TempFolder folder;
    ASSERT_TRUE(createFolder(folder.path(), *defaultDeviceConfig(16, MAKER_EC)));
    SimDaemon daemon(folder.path());
    ASSERT_FALSE(daemon.endpoint().empty()) << daemon.error();
    DeviceClient loader(platform::makeKsimProvider(daemon.endpoint()));
    ASSERT_TRUE(loader.open());
    ASSERT_TRUE(loader.loadFirmware(readFile(siblingFile("vxb_ffs.bix")), PATIENCE_MS));

    std::string error;
    const std::string helper = siblingProgram("kestrel-sim-test-client");
    auto first = platform::ChildProcess::spawn(helper, {daemon.endpoint(), "40", "25"}, &error);
    auto second = platform::ChildProcess::spawn(helper, {daemon.endpoint(), "41", "25"}, &error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_EQ(first->wait(PATIENCE_MS), 0);
    EXPECT_EQ(second->wait(PATIENCE_MS), 0);
    EXPECT_EQ(loader.simCommand("stats").find("page_programs = 50") != std::string::npos, true)
        << loader.simCommand("stats");
}

}  // namespace kestrel::sim::test

namespace kestrel::sim::test {

// One process at a time works on a device folder: each keeps its own image
// of the card, so a second would overwrite the first's writes.
TEST(ProgramsTest, ADeviceFolderIsOpenInOneProcessAtATime) {
    TempFolder folder;
    ASSERT_TRUE(createFolder(folder.path(), *defaultDeviceConfig(1, MAKER_EC)));
    std::string error;
    {
        auto first = SimDevice::openFolder(folder.path(), &error);
        ASSERT_TRUE(first) << error;
        EXPECT_FALSE(SimDevice::openFolder(folder.path(), &error));
        EXPECT_EQ(error, "the device folder " + folder.path() + " is in use by another program");
        EXPECT_EQ(runTool("kestrel-simd", {folder.path(), "--listen", "tcp:127.0.0.1:0"}), 1);
    }
    {
        SimDaemon daemon(folder.path());  // free again: served
        ASSERT_FALSE(daemon.endpoint().empty()) << daemon.error();
        EXPECT_FALSE(SimDevice::openFolder(folder.path(), &error));
    }  // the daemon is killed: the system lets go of its lock
    auto after = SimDevice::openFolder(folder.path(), &error);
    EXPECT_TRUE(after) << error;
}

}  // namespace kestrel::sim::test
