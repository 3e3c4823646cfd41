// The fixture of the update core's tests: a host folder (the update files
// and log.txt), an UpdateTool over a RecordingView and an OryxSpy in front of
// the real ORYX library, and on demand a fresh simulated Kestrel served by a
// kestrel-simd child (the library reaches it through KESTREL_SIM).
#pragma once

#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/update_tool.h"
#include "platform/device_provider.h"
#include "tests/fwupdate/oryx_spy.h"
#include "tests/fwupdate/recording_view.h"
#include "tests/sim/sim_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::fwupdate::test {

// The sample update files the build generates.
inline const std::vector<std::string> SAMPLE_FILES{"vxb_main.iic", "L1_1.BIN", "L2_1.MI", "FPGA.BIR"};

struct CardFile {
    std::string name;
    oryx_stat stat{};
};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh simulated device with a card of `sizeMb`, served over KSIM.
    // Small cards keep a rescue format (every block tested) short.
    void startDevice(uint32_t sizeMb = 1);
    // The card's physical block count.
    uint32_t cardBlocks() const { return cardBlocks_; }
    // Stops the library's link and the device's server; the device folder
    // stays for inspection.
    void stopDevice();
    const std::string& deviceFolder() const { return deviceFolder_.path(); }

    // Host files, in the host folder: the build's samples (realistic sizes),
    // or small files of the same names (vxb_main.iic 100 bytes, L1_1.BIN
    // 3000, L2_1.MI 5000, FPGA.BIR 2000).
    void copySamples(const std::vector<std::string>& names = SAMPLE_FILES);
    void writeSmallUpdateFiles(const std::vector<std::string>& names = SAMPLE_FILES);
    void writeHostFile(const std::string& name, const std::vector<uint8_t>& bytes);
    std::string hostPath(const std::string& name) const { return folder_.file(name); }
    std::string scratchPath(const std::string& name) const { return folder_.file(name); }
    std::vector<uint8_t> hostBytes(const std::string& name) const;
    std::time_t hostModified(const std::string& name) const;
    // Moves a host file's modification time `seconds` into the past.
    void ageHostFile(const std::string& name, int64_t seconds);
    std::string logText() const;

    // The tool under test (made on first use, with the settings below).
    UpdateTool& tool();
    std::optional<uint32_t> platformId;  // what GetPlatformId reports; none by default

    // The simulated device.
    std::string simCommand(const std::string& text);
    uint64_t stat(const std::string& key);
    std::string firmware();  // "main", "ffs", ...
    std::vector<uint8_t> eepromBytes() const;
    // The card's root and a file's bytes through the library (which starts
    // its file-system firmware for them).
    std::vector<CardFile> cardFiles();
    std::vector<uint8_t> cardFileBytes(const std::string& devicePath);

    RecordingView view;
    OryxSpy spy;

private:
    sim::test::TempFolder folder_;
    sim::test::TempFolder deviceFolder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    uint32_t cardBlocks_ = 0;
    std::unique_ptr<platform::DeviceConnection> control_;
    std::unique_ptr<OperationLog> log_;
    std::unique_ptr<UpdateTool> tool_;
};

// A text as the C runtime writes it to a file in text mode.
std::string asTextFile(const std::string& text);

// A pattern of `length` bytes unique to `seed`.
std::vector<uint8_t> patternBytes(size_t length, uint32_t seed);

}  // namespace kestrel::fwupdate::test
