// The single command record of the link and the standard 8-byte packet.
#pragma once

#include <cstdint>

namespace kestrel::usblink {

inline constexpr uint32_t PACKET_AREA = 64;
inline constexpr uint32_t STANDARD_PACKET_LENGTH = 8;

struct SmCommand {
    uint8_t op = 0;         // command code
    uint8_t sm = 0;         // card number
    uint32_t adr = 0;       // page or block address
    uint16_t cnt = 0;       // pages, bytes, or 1
    uint8_t* buffer = nullptr;  // data phase source or destination
    uint32_t result = 0;    // 1 when every phase completed
    uint32_t unit = 0;      // bytes of data phase per count
    uint8_t rawLength = 0;  // 0: build the standard packet; else bytes already in packet
    uint8_t packet[PACKET_AREA] = {};
};

// Op codes whose data phase runs from the device to the host.
constexpr bool isReadCommand(uint8_t op) {
    return op == 2 || op == 3 || op == 6 || op == 7 || op == 9;
}

// Writes op, sm, adr (LE32) and cnt (LE16) into the first 8 packet bytes.
void buildStandardPacket(SmCommand& command);

// Transfer length for `length` bytes: rounded up to the 64-byte packet size.
constexpr uint32_t roundToPacket(uint32_t length) { return (length + 63u) & ~63u; }

}  // namespace kestrel::usblink
