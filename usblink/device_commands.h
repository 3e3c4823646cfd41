// The eight device commands: each fills the link's command record, runs it
// and leaves one "smif:" trace line. Results: 1 success, 0 failure.
#pragma once

#include "usblink/link.h"

#include <cstdint>

namespace kestrel::usblink {

inline constexpr uint8_t OP_READ_PAGES = 2;
inline constexpr uint8_t OP_READ_SPARE = 3;
inline constexpr uint8_t OP_PROGRAM_PAGE = 4;
inline constexpr uint8_t OP_ERASE_BLOCK = 5;
inline constexpr uint8_t OP_READ_ID = 6;
inline constexpr uint8_t OP_READ_LC = 7;
inline constexpr uint8_t OP_WRITE_LC = 8;
inline constexpr uint8_t OP_READ_STATUS = 9;

inline constexpr uint32_t PAGE_ANSWER_LENGTH = 576;
inline constexpr uint32_t SPARE_ANSWER_LENGTH = 64;
inline constexpr uint32_t ID_ANSWER_LENGTH = 4;
inline constexpr uint32_t STATUS_ANSWER_LENGTH = 2;
inline constexpr uint32_t LC_BLOCK_LENGTH = 32;

class DeviceCommands {
public:
    DeviceCommands(Link& link, TraceHook& trace) : link_(link), trace_(trace) {}

    uint32_t readSM(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
    uint32_t readSMspare(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
    uint32_t readID(uint8_t sm, void* buffer);
    uint32_t getStatus(uint8_t sm, void* buffer);
    uint32_t eraseBlock(uint8_t sm, uint32_t adr);
    uint32_t writeSM(uint8_t sm, uint32_t adr, uint16_t bcnt, const void* buffer);
    uint32_t readLC(uint16_t adr, void* buffer);
    uint32_t writeLC(uint16_t adr, const void* data);

private:
    // Fills the fields a card command sets; `adr` only when given.
    void prepare(uint8_t op, uint8_t sm, const uint32_t* adr, uint16_t cnt, uint32_t unit,
                 void* buffer);
    void prepareBootMemory(uint8_t op, uint16_t adr, uint16_t cnt, uint32_t unit, void* buffer,
                           const void* data);
    // Runs the command; returns start time and duration for the trace line.
    uint32_t run(double& start, double& duration);

    Link& link_;
    TraceHook& trace_;
};

}  // namespace kestrel::usblink
