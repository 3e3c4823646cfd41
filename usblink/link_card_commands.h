// CardCommands over the device commands of a link.
#pragma once

#include "usblink/card_commands.h"
#include "usblink/device_commands.h"

namespace kestrel::usblink {

class LinkCardCommands final : public CardCommands {
public:
    explicit LinkCardCommands(DeviceCommands& commands) : commands_(commands) {}
    uint32_t readId(uint8_t sm, uint8_t* answer) override { return commands_.readID(sm, answer); }
    uint32_t readStatus(uint8_t sm, uint8_t* answer) override { return commands_.getStatus(sm, answer); }
    uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        return commands_.readSM(sm, page, count, answer);
    }
    uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        return commands_.readSMspare(sm, page, count, answer);
    }
    uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) override {
        return commands_.writeSM(sm, page, length, data);
    }
    uint32_t eraseBlock(uint8_t sm, uint32_t page) override { return commands_.eraseBlock(sm, page); }

private:
    DeviceCommands& commands_;
};

}  // namespace kestrel::usblink
