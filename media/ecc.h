// The SmartMedia ECC: 22 parity bits (16 line parities over byte indices,
// 6 column parities over bit positions) protecting 256 data bytes, stored
// inverted in 3 bytes. One wrong data bit can be located and corrected, two
// are detected.
#pragma once

#include <cstdint>

namespace kestrel::media {

inline constexpr uint32_t ECC_BYTES = 3;

// The 3 ECC bytes of 256 data bytes: line parities LP07..LP00, LP15..LP08,
// then column parities CP5..CP0 in bits 7..2 (bits 1 and 0 stored as 1).
void smCalcEcc(const uint8_t* data256, uint8_t* ecc3);

// Compares a stored ECC with one computed from `data256`: 0 when the data
// are good (also when only one ECC bit differs, an error in the ECC
// itself), 15 with the wrong byte's index and its corrected value when one
// data bit is wrong, 14 when the error cannot be corrected.
uint32_t smCorrectEcc(const uint8_t* data256, const uint8_t* storedEcc3, const uint8_t* computedEcc3,
                      uint32_t* byteIndex, uint8_t* byteValue);

// Checks 256 bytes against their stored ECC and corrects one wrong bit in
// place: 0, or 14 when uncorrectable.
uint32_t smCheckHalf(uint8_t* data256, const uint8_t* storedEcc3);

}  // namespace kestrel::media
