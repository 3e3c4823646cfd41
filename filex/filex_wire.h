// The filex wire format, shared by the client and the device's file server:
// the 20-byte command block, its directions and opcodes, and the sizes of
// the exchange (64-byte packets, the transfer buffer, the request limit).
//
// One exchange: the command block as one 64-byte transfer on pipe 3; then,
// by direction, the data phase from the device on pipe 1 or to the device
// on pipe 0, always dataLength rounded up to a multiple of 64 bytes; then
// the 4-byte status word (signed, little-endian) on pipe 5.
//
// Header-only, so that the simulated device can speak the same format
// without linking the client.
#pragma once

#include "platform/byte_order.h"

#include <cstdint>

namespace kestrel::filex {

inline constexpr uint8_t COMMAND_MAGIC = 0xA5;
inline constexpr uint8_t COMMAND_LENGTH = 20;   // bytes of the block that carry meaning
inline constexpr uint32_t PACKET_SIZE = 64;     // every transfer is a multiple of this
inline constexpr uint32_t COMMAND_TRANSFER = PACKET_SIZE;
inline constexpr uint32_t STATUS_LENGTH = 4;
inline constexpr uint32_t STATUS_BUFFER_SIZE = 512;
inline constexpr uint32_t TRANSFER_BUFFER_SIZE = 65536;
inline constexpr uint32_t MAX_REQUEST = 16384;  // largest single data request
inline constexpr uint32_t MAX_READ_WRITE = 65408;  // 0xFF80: _read and _write per call

enum class Direction : uint8_t {
    FromDevice = 0,  // data phase on pipe 1
    ToDevice = 1,    // data phase on pipe 0
    None = 2,        // no data phase
};

enum class Opcode : uint8_t {
    Open = 1,
    Fstat = 2,
    Read = 3,
    Lseek = 4,
    Write = 5,
    Close = 6,
    Unlink = 7,
    Mkdir = 9,
    Rmdir = 10,
    Fsync = 11,
    Sync = 12,
    Opendir = 13,
    Readdir = 14,
    Rewinddir = 15,
    Closedir = 16,
};

// Offsets inside the command block.
inline constexpr uint32_t CMD_MAGIC = 0;
inline constexpr uint32_t CMD_BLOCK_LENGTH = 1;
inline constexpr uint32_t CMD_DIRECTION = 2;
inline constexpr uint32_t CMD_OPCODE = 3;
inline constexpr uint32_t CMD_DATA_LENGTH = 4;
inline constexpr uint32_t CMD_ARG_A = 8;
inline constexpr uint32_t CMD_ARG_B = 12;
inline constexpr uint32_t CMD_ARG_C = 16;

// The command block as fields. direction and opcode are raw bytes: a block
// read off the wire may carry any value.
struct FilexCommand {
    uint8_t magic = COMMAND_MAGIC;
    uint8_t blockLength = COMMAND_LENGTH;
    uint8_t direction = static_cast<uint8_t>(Direction::None);
    uint8_t opcode = 0;
    uint32_t dataLength = 0;
    uint32_t argA = 0;
    uint32_t argB = 0;
    uint32_t argC = 0;
};

inline FilexCommand makeCommand(Opcode opcode, Direction direction, uint32_t dataLength = 0,
                                uint32_t argA = 0, uint32_t argB = 0, uint32_t argC = 0) {
    FilexCommand command;
    command.direction = static_cast<uint8_t>(direction);
    command.opcode = static_cast<uint8_t>(opcode);
    command.dataLength = dataLength;
    command.argA = argA;
    command.argB = argB;
    command.argC = argC;
    return command;
}

// Writes the 20 bytes of `command` to `out`.
inline void encodeCommand(const FilexCommand& command, uint8_t* out) {
    out[CMD_MAGIC] = command.magic;
    out[CMD_BLOCK_LENGTH] = command.blockLength;
    out[CMD_DIRECTION] = command.direction;
    out[CMD_OPCODE] = command.opcode;
    storeLe32(out + CMD_DATA_LENGTH, command.dataLength);
    storeLe32(out + CMD_ARG_A, command.argA);
    storeLe32(out + CMD_ARG_B, command.argB);
    storeLe32(out + CMD_ARG_C, command.argC);
}

// Reads the 20 bytes at `in`.
inline FilexCommand decodeCommand(const uint8_t* in) {
    FilexCommand command;
    command.magic = in[CMD_MAGIC];
    command.blockLength = in[CMD_BLOCK_LENGTH];
    command.direction = in[CMD_DIRECTION];
    command.opcode = in[CMD_OPCODE];
    command.dataLength = loadLe32(in + CMD_DATA_LENGTH);
    command.argA = loadLe32(in + CMD_ARG_A);
    command.argB = loadLe32(in + CMD_ARG_B);
    command.argC = loadLe32(in + CMD_ARG_C);
    return command;
}

// True when the block at `in` is a filex command block (magic and length).
inline bool isCommandBlock(const uint8_t* in, uint32_t length) {
    return length >= COMMAND_LENGTH && in[CMD_MAGIC] == COMMAND_MAGIC && in[CMD_BLOCK_LENGTH] == COMMAND_LENGTH;
}

// `length` rounded up to a multiple of 64, without overflow.
constexpr uint64_t roundUpToPacket(uint64_t length) { return (length + PACKET_SIZE - 1) / PACKET_SIZE * PACKET_SIZE; }

// The data phase of a command: dataLength rounded up to 64 bytes, or 0 when
// the direction has no data phase.
inline uint64_t dataPhaseBytes(const FilexCommand& command) {
    const auto direction = static_cast<Direction>(command.direction);
    if (direction != Direction::FromDevice && direction != Direction::ToDevice) return 0;
    return roundUpToPacket(command.dataLength);
}

}  // namespace kestrel::filex
