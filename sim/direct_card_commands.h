// Card commands straight on the simulated card, without the bus: what the
// device's own firmware (the file server) uses, and what fast media tests
// use. Same card, faults, counters and modelled card time as the commands
// that arrive over the pipes; no USB frames are charged, and a status read
// waits for the card instead of reporting it busy.
//
// Thread-safe: every command takes the device's mutex.
#pragma once

#include "sim/card_controller.h"
#include "usblink/card_commands.h"

#include <memory>
#include <mutex>

namespace kestrel::sim {

class DirectCardCommands final : public usblink::CardCommands {
public:
    // `owner` keeps the device that holds `mutex` and `hardware` alive.
    DirectCardCommands(std::shared_ptr<const void> owner, std::mutex& mutex, DeviceHardware& hardware)
        : owner_(std::move(owner)), mutex_(mutex), hardware_(hardware), card_(hardware) {}

    uint32_t readId(uint8_t sm, uint8_t* answer) override;
    uint32_t readStatus(uint8_t sm, uint8_t* answer) override;
    uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override;
    uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override;
    uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) override;
    uint32_t eraseBlock(uint8_t sm, uint32_t page) override;

private:
    std::shared_ptr<const void> owner_;
    std::mutex& mutex_;
    DeviceHardware& hardware_;
    CardController card_;
};

}  // namespace kestrel::sim
