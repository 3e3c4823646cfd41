// The provider that tries several in turn (Windows: the OS driver's device,
// then WinUSB): which one serves an open, and which error an open that none
// serves reports.
#include "platform/driver_interface.h"
#include "platform/usb/first_present_provider.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::platform::usb::test {

namespace {

class NamedConnection final : public DeviceConnection {
public:
    explicit NamedConnection(uint32_t tag) : tag_(tag) {}
    ControlResult control(uint32_t, const void*, uint32_t, void*, uint32_t) override { return {true, 0, tag_}; }

private:
    uint32_t tag_;
};

// Opens with a connection that tells its tag, or fails with `error`.
class ScriptedProvider final : public DeviceProvider {
public:
    ScriptedProvider(uint32_t tag, uint32_t error, std::string lockName = {})
        : tag_(tag), error_(error), lockName_(std::move(lockName)) {}
    std::unique_ptr<DeviceConnection> open(std::string_view, uint32_t, uint32_t, uint32_t& error) override {
        ++opens;
        if (error_) {
            error = error_;
            return nullptr;
        }
        return std::make_unique<NamedConnection>(tag_);
    }
    std::string machineName(std::string_view) const override { return lockName_; }
    int opens = 0;

private:
    uint32_t tag_;
    uint32_t error_;
    std::string lockName_;
};

struct Outcome {
    uint32_t tag = 0;  // of the connection, 0 when none
    uint32_t error = 0;
};

Outcome openThrough(const std::shared_ptr<DeviceProvider>& provider) {
    Outcome outcome;
    outcome.error = 0xdeadbeef;
    auto c = provider->open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, outcome.error);
    if (c) outcome.tag = c->control(0, nullptr, 0, nullptr, 0).bytes;
    return outcome;
}

}  // namespace

TEST(FirstPresentProvider, TheFirstThatOpensServesAndLaterOnesAreNotAsked) {
    auto driver = std::make_shared<ScriptedProvider>(1, 0, "QlxUsb-0");
    auto usb = std::make_shared<ScriptedProvider>(2, 0);
    const auto both = makeFirstPresentProvider({driver, usb});
    const Outcome first = openThrough(both);
    EXPECT_EQ(first.tag, 1u);
    EXPECT_EQ(first.error, 0u);
    EXPECT_EQ(usb->opens, 0);
    EXPECT_EQ(both->machineName(driver::DEVICE_NAME), "QlxUsb-0");

    auto absentDriver = std::make_shared<ScriptedProvider>(1, driver::ERR_FILE_NOT_FOUND, "QlxUsb-0");
    const Outcome second = openThrough(makeFirstPresentProvider({absentDriver, usb}));
    EXPECT_EQ(second.tag, 2u);
    EXPECT_EQ(second.error, 0u);
    EXPECT_EQ(usb->opens, 1);
}

TEST(FirstPresentProvider, AnOpenNoneServesReportsTheMostTellingError) {
    const uint32_t busy = 170;
    const uint32_t denied = 5;
    struct Case {
        uint32_t first, second, expected;
    } cases[] = {
        {driver::ERR_FILE_NOT_FOUND, driver::ERR_FILE_NOT_FOUND, driver::ERR_FILE_NOT_FOUND},
        {driver::ERR_FILE_NOT_FOUND, busy, busy},
        {denied, driver::ERR_FILE_NOT_FOUND, denied},
        {denied, busy, denied},
    };
    for (const auto& c : cases) {
        const auto provider = makeFirstPresentProvider(
            {std::make_shared<ScriptedProvider>(1, c.first), std::make_shared<ScriptedProvider>(2, c.second)});
        const Outcome outcome = openThrough(provider);
        EXPECT_EQ(outcome.tag, 0u);
        EXPECT_EQ(outcome.error, c.expected) << c.first << " then " << c.second;
    }
    const Outcome none = openThrough(makeFirstPresentProvider({}));
    EXPECT_EQ(none.error, driver::ERR_FILE_NOT_FOUND);
    EXPECT_EQ(makeFirstPresentProvider({})->machineName(driver::DEVICE_NAME), "");
}

}  // namespace kestrel::platform::usb::test
