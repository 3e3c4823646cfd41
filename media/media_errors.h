// Results of the media layer: 0 for success, else one of these codes. The
// file API above passes them through unchanged, so the values are fixed.
#pragma once

#include <cstdint>

namespace kestrel::media {

inline constexpr uint32_t MEDIA_OK = 0;
// The card's status showed the fail bit after a program or an erase.
inline constexpr uint32_t MEDIA_OPERATION_FAILED = 1;
// Maker or device code of the card's ID not in the tables.
inline constexpr uint32_t MEDIA_UNKNOWN_CARD = 2;
// Length beyond the page, spare area or block; logical block beyond the card.
inline constexpr uint32_t MEDIA_OUT_OF_RANGE = 11;
// No free physical block in the logical block's zone.
inline constexpr uint32_t MEDIA_NO_FREE_BLOCK = 12;
// Physical block 0 or beyond the card, or a logical block that is not mapped.
inline constexpr uint32_t MEDIA_BAD_BLOCK_NUMBER = 13;
// A 256-byte half with more than one wrong bit.
inline constexpr uint32_t MEDIA_UNCORRECTABLE = 14;
// One wrong data bit found (and fixable); internal to the ECC check.
inline constexpr uint32_t MEDIA_CORRECTED = 15;
// The pool of sector buffers is empty.
inline constexpr uint32_t MEDIA_NO_BUFFER = 28;
// The card never reported ready, or the device did not carry out a command.
inline constexpr uint32_t MEDIA_NOT_READY = 31;
// A block map could not be allocated.
inline constexpr uint32_t MEDIA_OUT_OF_MEMORY = 33;

}  // namespace kestrel::media
