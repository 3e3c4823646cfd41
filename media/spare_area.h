// The 16-byte spare area of a sector:
//
//   0-3   reserved, 0xFF          8-10   ECC of the second 256 data bytes
//   4     data status, 0xFF       11-12  block address field 2 (= field 1)
//   5     block status            13-15  ECC of the first 256 data bytes
//   6-7   block address field 1 (big-endian)
//
// On 256-byte-page cards the sector's first page carries bytes 0-7, its
// second page bytes 8-15.
#pragma once

#include "media/card_tables.h"

#include <array>
#include <cstdint>

namespace kestrel::media {

using Spare = std::array<uint8_t, SPARE_BYTES>;

inline constexpr uint32_t SPARE_BLOCK_STATUS = 5;
inline constexpr uint32_t SPARE_ADDRESS_1 = 6;
inline constexpr uint32_t SPARE_ECC_SECOND_HALF = 8;
inline constexpr uint32_t SPARE_ADDRESS_2 = 11;
inline constexpr uint32_t SPARE_ECC_FIRST_HALF = 13;
inline constexpr uint32_t SPARE_HALF_BYTES = 8;  // spare of one page on 256-byte-page cards

inline constexpr uint8_t BLOCK_GOOD = 0xFF;
inline constexpr uint8_t BLOCK_MARKED_BAD = 0xF0;
inline constexpr uint8_t ERASED_BYTE = 0xFF;

// The block address field of logical block L: 0x1000 + 2 x (L mod 1000) + p,
// with p making the number of one bits of the 16-bit field even.
uint16_t smBlockAddressField(uint32_t logicalBlock);

// The field read from spare bytes 6-7.
uint16_t blockAddressOf(const uint8_t* spare);

// Field 2, read from spare bytes 11-12 of a sector's 16 spare bytes.
uint16_t secondBlockAddressOf(const uint8_t* spare16);

// A field that can be trusted: even parity over its 16 bits and a
// zone-local block number below 1000. The CIS's field 0 is not one.
bool blockAddressValid(uint16_t field);

// The zone-local block number (0-999) a valid field carries.
uint32_t zoneBlockOf(uint16_t field);

// A spare area of 0xFF with both block address fields set to `field`.
Spare spareWithAddress(uint16_t field);

// A spare area of 0xFF with the block status byte set to 0xF0.
Spare badBlockSpare();

// Stores the ECC of both halves of a sector's data into its spare area.
void storeSectorEcc(const uint8_t* data512, Spare& spare);

// Number of one bits of a status byte.
int oneBits(uint8_t value);

// A block whose status byte is not 0xFF and has fewer than `minimumOneBits`
// one bits counts as bad.
bool blockStatusBad(uint8_t status, int minimumOneBits);

}  // namespace kestrel::media
