// KSIM: the driver interface carried over a stream socket. One connection is
// one open device handle; all integers are unsigned 32-bit little-endian.
//
//   open:    "KSIM", version, access, share, name length, name bytes
//            -> one integer: 0 = open, else a Win32 error (then the server
//               closes the connection)
//   request: code, input length, output length, input bytes, and when
//            (code & 3) == 1 the output buffer's bytes
//            -> ok (1/0), last error, bytes returned, and when (code & 3) != 1
//               that many output bytes
#pragma once

#include <cstdint>

namespace kestrel::ksim {

inline constexpr char MAGIC[4] = {'K', 'S', 'I', 'M'};
inline constexpr uint32_t VERSION = 1;

// Limits a server enforces on one request (a bigger request closes the
// connection): the largest driver transfer the product or a tool makes.
inline constexpr uint32_t MAX_NAME_LENGTH = 256;
inline constexpr uint32_t MAX_TRANSFER = 1u << 20;

// Simulator-only control request, never sent by the product: input is a text
// command for the simulated device ("unplug", "replug", "stall N",
// "flip PAGE BYTE BIT", "fail-program BLOCK", "fail-erase BLOCK",
// "stats"); output is the answer text.
inline constexpr uint32_t CTL_SIM_COMMAND = 0x22F000;

}  // namespace kestrel::ksim
