// The SmartMedia card as the controller's firmware drives it: page and spare
// reads (with the injected bit flips), page programs and block erases (with
// the injected failures), the ID and the status register, each charged to
// the modelled clock and counted. The file-system firmware answers its
// command packets with it; the direct card commands call it without a bus.
//
// Not thread-safe: the caller holds the device's mutex.
#pragma once

#include "sim/firmware_program.h"

#include <cstdint>
#include <vector>

namespace kestrel::sim {

class CardController {
public:
    static constexpr uint32_t PAGE_ANSWER = 576;
    static constexpr uint32_t SPARE_ANSWER = 64;
    static constexpr uint8_t ID_SIGNATURE = 0xA5;
    static constexpr uint8_t STATUS_READY = 0x40;
    static constexpr uint8_t STATUS_FAIL = 0x01;

    explicit CardController(DeviceHardware& hardware) : hw_(hardware) {}

    // count x 576 bytes: each page's data and spare, then 0xFF filler.
    std::vector<uint8_t> readPages(uint64_t page, uint32_t count);
    // count x 64 bytes: each page's spare, then 0xFF filler.
    std::vector<uint8_t> readSpares(uint64_t page, uint32_t count);
    // sm, maker, device code, signature.
    std::vector<uint8_t> readId(uint8_t sm) const;
    // 0, then the status register: 0x00 while the card is busy, else ready
    // with the fail bit of the last program or erase.
    std::vector<uint8_t> readStatus() const;
    void eraseBlock(uint64_t page);
    // ANDs `bytes` (page data, then spare) into the page.
    void program(uint64_t page, const std::vector<uint8_t>& bytes);

    // Programs and erases do nothing and fail once power is lost; the one
    // during which it is lost stops half done.

private:
    void tornErase(uint64_t block);
    void tornProgram(uint64_t page, const std::vector<uint8_t>& bytes);

    DeviceHardware& hw_;
};

}  // namespace kestrel::sim
