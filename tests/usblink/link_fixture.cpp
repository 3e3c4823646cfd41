#include "tests/usblink/link_fixture.h"

#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "sim/device_folder.h"
#include "tests/usblink/served_device.h"
#include "usblink/firmware_download.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <regex>

namespace kestrel::usblink::test {

namespace fs = std::filesystem;

namespace {

// Event names no other test (or test process) uses at the same time.
LinkNames uniqueNames() {
    static std::atomic<uint32_t> counter{0};
    static const uint32_t process = std::random_device{}();
    const std::string stem = "usblink-test-" + std::to_string(process) + "-" +
                             std::to_string(counter.fetch_add(1));
    LinkNames names;
    names.goEvent = stem + "-go";
    names.doneEvent = stem + "-done";
    return names;
}

// The device in process, or served over KSIM as KESTREL_TEST_KSIM asks.
std::unique_ptr<sim::test::TestDevice> openDevice(const std::string& folder) {
    const auto kind = platform::getEnv("KESTREL_TEST_KSIM");
    if (!kind || kind->empty()) return sim::test::openTestDevice(sim::test::Transport::InProcess, folder);
    std::string error;
    auto served = ServedDevice::start(folder, *kind, error);
    if (!served) ADD_FAILURE() << "KESTREL_TEST_KSIM=" << *kind << ": " << error;
    return served;
}

}  // namespace

void LinkTest::SetUp() {
    auto config = sim::defaultDeviceConfig(16, CARD_MAKER);
    ASSERT_TRUE(config);
    ASSERT_EQ(config->deviceCode, CARD_DEVICE_CODE);
    ASSERT_TRUE(sim::test::createFolder(deviceFolder_.path(), *config));
    sim_ = openDevice(deviceFolder_.path());
    ASSERT_TRUE(sim_);
    for (const char* image : {FFS_FIRMWARE, MAIN_FIRMWARE})
        fs::copy_file(sim::test::siblingFile(image), firmwareFile(image));

    recorder_ = std::make_shared<RequestRecorder>(sim_->provider());
    platform::installDeviceProvider(recorder_);
    platform::setMessageSink([this](const platform::MessageBoxRequest& request) {
        std::lock_guard lock(mutex_);
        messages_.push_back(request);
        return platform::MessageAnswer::Ok;
    });
    hang_ = std::make_unique<sim::test::Watchdog>([this] { sim_->command("unplug"); });
}

void LinkTest::TearDown() {
    device_.reset();
    hang_.reset();
    platform::installDeviceProvider(nullptr);
    platform::setMessageSink(nullptr);
}

std::string LinkTest::firmwareFile(const char* name) const { return firmwareFolder_.file(name); }

UsbDevice& LinkTest::device() {
    if (!device_) {
        device_ = std::make_unique<UsbDevice>(firmwareFolder_.path(), uniqueNames());
        device_->trace().setListener([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            traceLines_.push_back(line);
        });
    }
    return *device_;
}

void LinkTest::startLink() {
    ASSERT_EQ(device().init(), 1u);
    recorder().clear();
    std::lock_guard lock(mutex_);
    traceLines_.clear();
}

std::vector<platform::MessageBoxRequest> LinkTest::messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> LinkTest::traceLines() {
    std::lock_guard lock(mutex_);
    return traceLines_;
}

std::vector<RecordedRequest> LinkTest::packets() const {
    return recorder_->requests(driver::CTL_BULK_WRITE, driver::PIPE_COMMAND);
}

std::vector<RecordedRequest> LinkTest::dataReads() const {
    return recorder_->requests(driver::CTL_BULK_READ, driver::PIPE_DATA_IN);
}

std::vector<RecordedRequest> LinkTest::dataWrites() const {
    return recorder_->requests(driver::CTL_BULK_WRITE, driver::PIPE_DATA_OUT);
}

::testing::AssertionResult isCommandTraceLine(const std::string& line, const std::string& tail) {
    static const std::regex head("smif: *[0-9]+ d: *[0-9]+ - ");
    std::smatch match;
    if (!std::regex_search(line, match, head, std::regex_constants::match_continuous))
        return ::testing::AssertionFailure() << "no smif head: " << line;
    if (match.length(0) < 19)
        return ::testing::AssertionFailure() << "fields narrower than %8.0f/%3.0f: " << line;
    if (match.suffix().str() != tail)
        return ::testing::AssertionFailure() << "'" << match.suffix().str() << "' != '" << tail << "'";
    return ::testing::AssertionSuccess();
}

}  // namespace kestrel::usblink::test
