#include "sim/ffs_firmware.h"

#include "platform/byte_order.h"

#include <algorithm>

namespace kestrel::sim {

namespace {

enum Op : uint8_t {
    OP_READ_PAGES = 2,
    OP_READ_SPARES = 3,
    OP_PROGRAM = 4,
    OP_ERASE = 5,
    OP_READ_ID = 6,
    OP_READ_EEPROM = 7,
    OP_WRITE_EEPROM = 8,
    OP_READ_STATUS = 9,
};

constexpr uint32_t EEPROM_DATA_OFFSET = 4;

}  // namespace

FirmwareProgram::WriteResult FileSystemFirmware::bulkWrite(uint32_t pipe, const uint8_t* data, size_t length) {
    if (pipe == driver::PIPE_COMMAND) {
        if (length == 0) return WriteResult::Accepted;
        Packet packet{};
        std::copy_n(data, std::min<size_t>(length, packet.size()), packet.begin());
        command(packet);
        return WriteResult::Accepted;
    }
    if (pipe == driver::PIPE_DATA_OUT) return programData(data, length);
    return WriteResult::Accepted;
}

void FileSystemFirmware::command(const Packet& packet) {
    ++hw_.counters.commands;
    hw_.pipes.discardAnswers();
    program_.reset();
    stalled_ = hw_.faults.takeStall();
    if (!stalled_) execute(packet);
}

void FileSystemFirmware::execute(const Packet& packet) {
    const uint64_t page = loadLe32(packet.data() + 2);
    const uint32_t count = loadLe16(packet.data() + 6);
    switch (packet[0]) {
    case OP_READ_PAGES:
        if (count != 0) answer(card_.readPages(page, count));
        break;
    case OP_READ_SPARES:
        if (count != 0) answer(card_.readSpares(page, count));
        break;
    case OP_PROGRAM: startProgram(page, count); break;
    case OP_ERASE: card_.eraseBlock(page); break;
    case OP_READ_ID: answer(card_.readId(packet[1])); break;
    case OP_READ_EEPROM: readEeprom(packet); break;
    case OP_WRITE_EEPROM: writeEeprom(packet); break;
    case OP_READ_STATUS: answer(card_.readStatus()); break;
    default: break;  // unknown commands are ignored
    }
}

void FileSystemFirmware::answer(std::vector<uint8_t> bytes) {
    hw_.pipes.setAnswer(driver::PIPE_DATA_IN, std::move(bytes));
}

void FileSystemFirmware::readEeprom(const Packet& packet) {
    const uint32_t length = std::min<uint32_t>(packet[1], EEPROM_CHUNK);
    if (length == 0) return;
    ++hw_.counters.eepromReads;
    std::vector<uint8_t> bytes(length);
    hw_.eeprom.read(loadBe16(packet.data() + 2), bytes.data(), bytes.size());
    answer(std::move(bytes));
}

void FileSystemFirmware::writeEeprom(const Packet& packet) {
    const uint32_t length = std::min<uint32_t>(packet[1], EEPROM_CHUNK);
    ++hw_.counters.eepromWrites;
    hw_.eeprom.write(loadBe16(packet.data() + 2), packet.data() + EEPROM_DATA_OFFSET, length);
}

void FileSystemFirmware::startProgram(uint64_t page, uint32_t length) {
    if (length == 0) return;
    program_ = PendingProgram{page, length, {}};
    program_->bytes.reserve(length);
}

FirmwareProgram::WriteResult FileSystemFirmware::programData(const uint8_t* data, size_t length) {
    if (stalled_) return WriteResult::Blocked;
    if (!program_) return WriteResult::Accepted;  // no data phase expected: dropped
    auto& bytes = program_->bytes;
    const size_t wanted = std::min<size_t>(length, program_->expected - bytes.size());
    bytes.insert(bytes.end(), data, data + wanted);
    if (bytes.size() == program_->expected) finishProgram();
    return WriteResult::Accepted;
}

void FileSystemFirmware::finishProgram() {
    const PendingProgram program = std::move(*program_);
    program_.reset();
    card_.program(program.page, program.bytes);
}

}  // namespace kestrel::sim
