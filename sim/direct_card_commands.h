// Card commands straight on the simulated card, without the bus: what fast
// media tests and tools use. Same card, faults, counters and modelled card
// time as the commands that arrive over the pipes; no USB frames are
// charged, and a status read waits for the card instead of reporting it
// busy.
//
// Thread-safe: every command takes the device's mutex.
#pragma once

#include "sim/controller_card_commands.h"

#include <memory>
#include <mutex>

namespace kestrel::sim {

class DirectCardCommands final : public usblink::CardCommands {
public:
    // `owner` keeps the device that holds `mutex` and `hardware` alive.
    DirectCardCommands(std::shared_ptr<const void> owner, std::mutex& mutex, DeviceHardware& hardware)
        : owner_(std::move(owner)), mutex_(mutex), card_(hardware) {}

    uint32_t readId(uint8_t sm, uint8_t* answer) override {
        std::lock_guard lock(mutex_);
        return card_.readId(sm, answer);
    }
    uint32_t readStatus(uint8_t sm, uint8_t* answer) override {
        std::lock_guard lock(mutex_);
        return card_.readStatus(sm, answer);
    }
    uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        std::lock_guard lock(mutex_);
        return card_.readPages(sm, page, count, answer);
    }
    uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        std::lock_guard lock(mutex_);
        return card_.readSpare(sm, page, count, answer);
    }
    uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) override {
        std::lock_guard lock(mutex_);
        return card_.programPage(sm, page, length, data);
    }
    uint32_t eraseBlock(uint8_t sm, uint32_t page) override {
        std::lock_guard lock(mutex_);
        return card_.eraseBlock(sm, page);
    }

private:
    std::shared_ptr<const void> owner_;
    std::mutex& mutex_;
    ControllerCardCommands card_;
};

}  // namespace kestrel::sim
