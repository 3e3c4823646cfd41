// The card information structure: 110 bytes at the start of the first
// sector of the CIS block, the rest of that sector zero.
#pragma once

#include <array>
#include <cstdint>

namespace kestrel::media {

inline constexpr uint32_t CIS_LENGTH = 110;
extern const std::array<uint8_t, CIS_LENGTH> CIS_BYTES;

}  // namespace kestrel::media
