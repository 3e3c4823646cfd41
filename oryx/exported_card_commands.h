// The card commands of the media layer over the library's own exported
// device commands (usbcReadSM ...), as the library's file system uses them.
#pragma once

#include "oryx/oryx.h"
#include "usblink/card_commands.h"

namespace kestrel::oryx {

class ExportedCardCommands final : public usblink::CardCommands {
public:
    uint32_t readId(uint8_t sm, uint8_t* answer) override { return usbcReadID(sm, answer); }
    uint32_t readStatus(uint8_t sm, uint8_t* answer) override { return usbcGetStatus(sm, answer); }
    uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        return usbcReadSM(sm, page, count, answer);
    }
    uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) override {
        return usbcReadSMspare(sm, page, count, answer);
    }
    uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) override {
        return usbcWriteSM(sm, page, length, data);
    }
    uint32_t eraseBlock(uint8_t sm, uint32_t page) override { return usbcEraseBlock(sm, page); }
};

}  // namespace kestrel::oryx
