// Card commands straight on a CardController, for code that already holds
// the device's mutex (the main firmware's file server). Status reads let
// the modelled card time pass instead of reporting the card busy.
#pragma once

#include "sim/card_controller.h"
#include "usblink/card_commands.h"

#include <algorithm>
#include <vector>

namespace kestrel::sim {

class ControllerCardCommands final : public usblink::CardCommands {
public:
    explicit ControllerCardCommands(DeviceHardware& hardware) : hardware_(hardware), card_(hardware) {}

    // Without power every command fails (0), as on a device gone from the
    // bus; the program or erase that loses it fails too.
    uint32_t readId(uint8_t sm, uint8_t* answer) override {
        return powered() && deliver(card_.readId(sm), answer);
    }
    uint32_t readStatus(uint8_t, uint8_t* answer) override {
        if (!powered()) return 0;
        hardware_.clock.waitForCard();
        return deliver(card_.readStatus(), answer);
    }
    uint32_t readPages(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) override {
        return powered() && deliver(card_.readPages(page, count), answer);
    }
    uint32_t readSpare(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) override {
        return powered() && deliver(card_.readSpares(page, count), answer);
    }
    uint32_t programPage(uint8_t, uint32_t page, uint16_t length, const uint8_t* data) override {
        if (!powered()) return 0;
        card_.program(page, std::vector<uint8_t>(data, data + length));
        return powered() ? 1 : 0;
    }
    uint32_t eraseBlock(uint8_t, uint32_t page) override {
        if (!powered()) return 0;
        card_.eraseBlock(page);
        return powered() ? 1 : 0;
    }

private:
    bool powered() const { return !hardware_.powerLost; }
    static uint32_t deliver(const std::vector<uint8_t>& bytes, uint8_t* answer) {
        std::copy(bytes.begin(), bytes.end(), answer);
        return 1;
    }

    DeviceHardware& hardware_;
    CardController card_;
};

}  // namespace kestrel::sim
