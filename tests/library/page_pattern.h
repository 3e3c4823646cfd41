/* The page contents the library tests write: 528 bytes (512 data bytes and
 * the 16-byte spare area of a card with 512-byte pages) from a small linear
 * congruential generator, so that the C client and the C++ test driver make
 * the same bytes from the same seed. */
#ifndef ORYX_TEST_PAGE_PATTERN_H
#define ORYX_TEST_PAGE_PATTERN_H

#include <stdint.h>

#define ORYX_TEST_PAGE_BYTES 528u

static inline void oryxTestPagePattern(uint32_t seed, unsigned char* bytes) {
    uint32_t state = seed * 2654435761u + 1u;
    unsigned i;
    for (i = 0; i < ORYX_TEST_PAGE_BYTES; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = (unsigned char)(state >> 16);
    }
}

#endif /* ORYX_TEST_PAGE_PATTERN_H */
