// The card commands the media layer needs, as an interface: the device
// commands over the link in the product, a direct NAND model in the
// simulator. Results follow the device commands: 1 success, 0 failure.
#pragma once

#include <cstdint>

namespace kestrel::usblink {

class CardCommands {
public:
    virtual ~CardCommands() = default;
    // 4 answer bytes: byte 1 maker, byte 2 device code.
    virtual uint32_t readId(uint8_t sm, uint8_t* answer) = 0;
    // 2 answer bytes: byte 1 the status register.
    virtual uint32_t readStatus(uint8_t sm, uint8_t* answer) = 0;
    // count x 576 answer bytes: page data, spare, filler.
    virtual uint32_t readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) = 0;
    // count x 64 answer bytes: spare, filler.
    virtual uint32_t readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) = 0;
    // `length` bytes: page data followed by its spare area.
    virtual uint32_t programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) = 0;
    virtual uint32_t eraseBlock(uint8_t sm, uint32_t page) = 0;
};

}  // namespace kestrel::usblink
