// The fixture of the link tests: a fresh simulated device (16 MB card, maker
// 0xEC, device code 0x73) in a temporary folder, reached through a
// RequestRecorder; a firmware folder holding copies of vxb_ffs.bix and
// vxb_main.bix; message boxes and trace lines recorded; a UsbDevice with
// event names of its own.
//
// The device runs in process, or, when KESTREL_TEST_KSIM is "tcp" or "unix",
// in a kestrel-simd child reached over KSIM through a socket of that kind;
// the simulator commands then travel over the daemon's control handle.
#pragma once

#include "platform/message_box.h"
#include "tests/sim/sim_test_support.h"
#include "tests/usblink/request_recorder.h"
#include "usblink/usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrel::usblink::test {

inline constexpr uint8_t CARD_MAKER = 0xEC;
inline constexpr uint8_t CARD_DEVICE_CODE = 0x73;

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    UsbDevice& device();
    // Loads the file-system firmware, starts the link and forgets the
    // requests this took.
    void startLink();

    RequestRecorder& recorder() { return *recorder_; }
    std::string simCommand(const std::string& text) { return sim_->command(text); }
    std::string firmwareFile(const char* name) const;

    std::vector<platform::MessageBoxRequest> messages();
    std::vector<std::string> traceLines();

    // The command packets, and the data transfers on the data pipes.
    std::vector<RecordedRequest> packets() const;
    std::vector<RecordedRequest> dataReads() const;
    std::vector<RecordedRequest> dataWrites() const;

private:
    sim::test::TempFolder deviceFolder_;
    sim::test::TempFolder firmwareFolder_;
    std::unique_ptr<sim::test::TestDevice> sim_;
    std::shared_ptr<RequestRecorder> recorder_;
    std::unique_ptr<UsbDevice> device_;
    std::unique_ptr<sim::test::Watchdog> hang_;
    std::mutex mutex_;
    std::vector<platform::MessageBoxRequest> messages_;
    std::vector<std::string> traceLines_;
};

// A trace line of a device command: "smif:", start, duration, then `tail`.
::testing::AssertionResult isCommandTraceLine(const std::string& line, const std::string& tail);

}  // namespace kestrel::usblink::test
