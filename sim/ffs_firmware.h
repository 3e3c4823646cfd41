// The file-system firmware: raw card and boot-EEPROM commands.
//
// Every command arrives as one 64-byte packet on pipe 3. Standard packet:
// op, sm, page address (LE32), count (LE16). Boot-memory packets: op 7/8,
// byte count, address big-endian, and for op 8 the data from byte 4 on.
//
//   op 2 read pages    count x 576 bytes on pipe 1: data, spare, 0xFF filler
//   op 3 read spares   count x 64 bytes: spare, 0xFF filler
//   op 4 program page  data phase of `count` bytes on pipe 0 (the host pads
//                      its transfer; the padding is ignored); page data and
//                      spare are ANDed into the page
//   op 5 erase block   the block holding the page
//   op 6 read ID       4 bytes: sm, maker, device code, 0xA5
//   op 7 read EEPROM   32 bytes
//   op 8 write EEPROM  no data phase
//   op 9 read status   2 bytes: 0, status register (0x40 ready, 0x01 the
//                      last program or erase failed; 0x00 while busy)
//
// A new packet discards any answer the host has not read and any program
// data phase not completed. A stalled command is not executed: it answers
// nothing and its data phase is never taken.
#pragma once

#include "sim/card_controller.h"
#include "sim/firmware_program.h"

#include <optional>
#include <vector>

namespace kestrel::sim {

class FileSystemFirmware final : public FirmwareProgram {
public:
    static constexpr uint32_t PACKET_LENGTH = 64;
    static constexpr uint32_t PAGE_ANSWER = CardController::PAGE_ANSWER;
    static constexpr uint32_t SPARE_ANSWER = CardController::SPARE_ANSWER;
    static constexpr uint32_t ID_ANSWER = 4;
    static constexpr uint32_t STATUS_ANSWER = 2;
    static constexpr uint32_t EEPROM_CHUNK = 32;
    static constexpr uint8_t ID_SIGNATURE = CardController::ID_SIGNATURE;
    static constexpr uint8_t STATUS_READY = CardController::STATUS_READY;
    static constexpr uint8_t STATUS_FAIL = CardController::STATUS_FAIL;

    explicit FileSystemFirmware(DeviceHardware& hardware) : hw_(hardware), card_(hardware) {}
    FirmwareKind kind() const override { return FirmwareKind::FileSystem; }
    WriteResult bulkWrite(uint32_t pipe, const uint8_t* data, size_t length) override;

private:
    using Packet = std::array<uint8_t, PACKET_LENGTH>;

    void command(const Packet& packet);
    void execute(const Packet& packet);
    void readEeprom(const Packet& packet);
    void writeEeprom(const Packet& packet);
    void startProgram(uint64_t page, uint32_t length);
    WriteResult programData(const uint8_t* data, size_t length);
    void finishProgram();
    void answer(std::vector<uint8_t> bytes);

    struct PendingProgram {
        uint64_t page = 0;
        uint32_t expected = 0;
        std::vector<uint8_t> bytes;
    };

    DeviceHardware& hw_;
    CardController card_;
    bool stalled_ = false;
    std::optional<PendingProgram> program_;
};

}  // namespace kestrel::sim
