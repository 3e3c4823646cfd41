#include "media/spare_area.h"

#include "media/ecc.h"
#include "platform/byte_order.h"

#include <bit>

namespace kestrel::media {

namespace {

constexpr uint32_t ZONE_LOGICAL_BLOCKS = 1000;
constexpr uint16_t ADDRESS_MARKER = 0x1000;

}  // namespace

uint16_t smBlockAddressField(uint32_t logicalBlock) {
    const uint32_t a = logicalBlock % ZONE_LOGICAL_BLOCKS;
    const uint32_t p = 1u ^ (std::popcount(a & 0x3FFu) & 1u);
    return static_cast<uint16_t>(ADDRESS_MARKER | (a << 1) | p);
}

uint16_t blockAddressOf(const uint8_t* spare) { return loadBe16(spare + SPARE_ADDRESS_1); }

uint16_t secondBlockAddressOf(const uint8_t* spare16) { return loadBe16(spare16 + SPARE_ADDRESS_2); }

uint32_t zoneBlockOf(uint16_t field) { return (field >> 1) & 0x3FFu; }

bool blockAddressValid(uint16_t field) {
    return field != 0 && (std::popcount(field) & 1) == 0 && zoneBlockOf(field) < ZONE_LOGICAL_BLOCKS;
}

Spare spareWithAddress(uint16_t field) {
    Spare spare;
    spare.fill(ERASED_BYTE);
    storeBe16(spare.data() + SPARE_ADDRESS_1, field);
    storeBe16(spare.data() + SPARE_ADDRESS_2, field);
    return spare;
}

Spare badBlockSpare() {
    Spare spare;
    spare.fill(ERASED_BYTE);
    spare[SPARE_BLOCK_STATUS] = BLOCK_MARKED_BAD;
    return spare;
}

void storeSectorEcc(const uint8_t* data512, Spare& spare) {
    smCalcEcc(data512, spare.data() + SPARE_ECC_FIRST_HALF);
    smCalcEcc(data512 + HALF_BYTES, spare.data() + SPARE_ECC_SECOND_HALF);
}

int oneBits(uint8_t value) { return std::popcount(value); }

bool blockStatusBad(uint8_t status, int minimumOneBits) {
    return status != BLOCK_GOOD && oneBits(status) < minimumOneBits;
}

}  // namespace kestrel::media
