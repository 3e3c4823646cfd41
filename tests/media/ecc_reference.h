// The SmartMedia ECC computed bit by bit, straight from its definition: the
// yardstick for the table-driven implementation (tests and benchmark).
#pragma once

#include <array>
#include <cstdint>

namespace kestrel::media::test {

inline std::array<uint8_t, 3> referenceEcc(const uint8_t* data256) {
    int lp[16] = {};
    int cp[6] = {};
    for (uint32_t i = 0; i < 256; ++i) {
        for (uint32_t j = 0; j < 8; ++j) {
            if (((data256[i] >> j) & 1u) == 0) continue;
            for (uint32_t k = 0; k < 8; ++k) lp[2 * k + ((i >> k) & 1u)] ^= 1;
            cp[0] ^= (j % 2 == 0);
            cp[1] ^= (j % 2 == 1);
            cp[2] ^= (j == 0 || j == 1 || j == 4 || j == 5);
            cp[3] ^= (j == 2 || j == 3 || j == 6 || j == 7);
            cp[4] ^= (j < 4);
            cp[5] ^= (j >= 4);
        }
    }
    uint32_t lines = 0;
    for (uint32_t k = 0; k < 16; ++k) lines |= static_cast<uint32_t>(lp[k]) << k;
    uint32_t columns = 0;
    for (uint32_t k = 0; k < 6; ++k) columns |= static_cast<uint32_t>(cp[k]) << (k + 2);
    return {static_cast<uint8_t>(~lines & 0xFF), static_cast<uint8_t>(~(lines >> 8) & 0xFF),
            static_cast<uint8_t>(~columns & 0xFF)};
}

}  // namespace kestrel::media::test
