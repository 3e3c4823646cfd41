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

    uint32_t readId(uint8_t sm, uint8_t* answer) override { return deliver(card_.readId(sm), answer); }
    uint32_t readStatus(uint8_t, uint8_t* answer) override {
        hardware_.clock.waitForCard();
        return deliver(card_.readStatus(), answer);
    }
    uint32_t readPages(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) override {
        return deliver(card_.readPages(page, count), answer);
    }
    uint32_t readSpare(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) override {
        return deliver(card_.readSpares(page, count), answer);
    }
    uint32_t programPage(uint8_t, uint32_t page, uint16_t length, const uint8_t* data) override {
        card_.program(page, std::vector<uint8_t>(data, data + length));
        return 1;
    }
    uint32_t eraseBlock(uint8_t, uint32_t page) override {
        card_.eraseBlock(page);
        return 1;
    }

private:
    static uint32_t deliver(const std::vector<uint8_t>& bytes, uint8_t* answer) {
        std::copy(bytes.begin(), bytes.end(), answer);
        return 1;
    }

    DeviceHardware& hardware_;
    CardController card_;
};

}  // namespace kestrel::sim
