// A simulated card for the media tests: a fresh device folder of the given
// size and maker, reached through the card commands the device's firmware
// uses (no bus), with every command logged, the ID answer replaceable, and
// the raw card readable and writable page by page.
#pragma once

#include "media/media.h"
#include "sim/device_config.h"
#include "sim/sim_device.h"
#include "tests/sim/sim_test_support.h"
#include "usblink/card_commands.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::media::test {

struct CardCall {
    enum Kind { ReadId, ReadStatus, ReadPages, ReadSpare, Program, Erase } kind;
    uint32_t page = 0;
    uint32_t length = 0;  // program: bytes sent
    std::vector<uint8_t> data;
};

// CardCommands that log each call and pass it on (or lose one).
class LoggingCardCommands final : public usblink::CardCommands {
public:
    explicit LoggingCardCommands(usblink::CardCommands& next) : next_(next) {}
    uint32_t readId(uint8_t sm, uint8_t* answer) override;
    uint32_t readStatus(uint8_t sm, uint8_t* answer) override;
    uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override;
    uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override;
    uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) override;
    uint32_t eraseBlock(uint8_t sm, uint32_t page) override;

    std::vector<CardCall> calls;
    // When set, the maker and device code every ID answer carries.
    std::optional<std::pair<uint8_t, uint8_t>> idOverride;
    // When not 0: the call that many calls from now is lost (not passed on,
    // answered 0), as a command the device never carried out.
    uint32_t dropCountdown = 0;

private:
    bool dropped();
    usblink::CardCommands& next_;
};

class SimCard {
public:
    // A fresh card; `adjust` may change the configuration (bad blocks,
    // faults) before the folder is created.
    explicit SimCard(uint32_t sizeMb, uint8_t maker = 0xEC,
                     const std::function<void(sim::DeviceConfig&)>& adjust = {});

    bool ok() const { return device_ != nullptr; }
    Media& media() { return *media_; }
    BlockMap& maps() { return media_->maps(); }
    Card& card() { return media_->card(); }
    LoggingCardCommands& log() { return *logging_; }
    std::string simCommand(const std::string& text) { return device_->command(text); }
    sim::SimCounters counters() const { return device_->counters(); }

    uint32_t pageSize() const { return geometry_.pageSize; }
    uint32_t spareSize() const { return geometry_.spareSize; }
    uint32_t pagesPerSector() const { return 512 / geometry_.pageSize; }

    // A page's data and spare as stored on the card (nand.bin).
    std::vector<uint8_t> rawPage(uint64_t page) const;
    // A sector's 512 data bytes and 16 spare bytes as stored.
    std::vector<uint8_t> rawSectorData(uint32_t sector) const;
    std::vector<uint8_t> rawSectorSpare(uint32_t sector) const;
    // Programs a sector's data and spare straight onto the card (bits can
    // only be cleared), bypassing the media layer.
    void programSector(uint32_t sector, const std::vector<uint8_t>& data, const std::vector<uint8_t>& spare);

private:
    sim::test::TempFolder folder_;
    sim::CardGeometry geometry_{};
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<usblink::CardCommands> direct_;
    std::unique_ptr<LoggingCardCommands> logging_;
    std::unique_ptr<Media> media_;
};

// A sector of 512 bytes with a pattern unique to `seed`.
std::vector<uint8_t> sectorPattern(uint32_t seed);

}  // namespace kestrel::media::test
