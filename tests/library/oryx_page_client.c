/* A plain C caller of the ORYX library, linked to it at load time.
 *
 *   oryx_page_client ERASE_PAGE PAGE SEED [--leave-open | --leave-open-unreachable]
 *
 * Brings the device up (usbcInit loads the file-system firmware found beside
 * the library), erases the block that starts at ERASE_PAGE, programs PAGE
 * (data and spare area, 528 bytes) with the pattern of SEED, reads it back
 * and compares, checks that the next page is still erased, and closes the
 * device (usbcClose). With --leave-open it returns without usbcClose, so that
 * the library's unload at process exit has to close the device. With
 * --leave-open-unreachable it also points KESTREL_SIM, the simulated
 * device's socket, at a port where nothing listens, so that the unload finds
 * no device to load the main firmware into and reports that failure.
 *
 * Exit codes: 0 done, 1 bad command line, 2 usbcInit failed, 3 a card
 * command failed, 4 the card reported a failed erase or program, 5 the data
 * read back differ. */
#include "oryx/oryx.h"
#include "tests/library/page_pattern.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define NOWHERE "tcp:127.0.0.1:1"

enum {
    EXIT_USAGE = 1,
    EXIT_INIT = 2,
    EXIT_COMMAND = 3,
    EXIT_CARD = 4,
    EXIT_DATA = 5
};

#define PAGE_ANSWER 576u
#define STATUS_READY 0x40u
#define STATUS_FAILED 0x01u
#define READY_POLLS 1000

static int fail(int code, const char* what) {
    fprintf(stderr, "oryx_page_client: %s\n", what);
    return code;
}

/* Polls the status register until the card is ready; the status, or -1 when
 * a status read fails or the card stays busy. */
static int waitReady(void) {
    unsigned char status[2];
    int poll;
    for (poll = 0; poll < READY_POLLS; ++poll) {
        if (!usbcGetStatus(0, status)) return -1;
        if (status[1] & STATUS_READY) return status[1];
    }
    return -1;
}

static int isErased(const unsigned char* bytes, size_t length) {
    size_t i;
    for (i = 0; i < length; ++i)
        if (bytes[i] != 0xFF) return 0;
    return 1;
}

static int roundTrip(uint32_t erasePage, uint32_t page, uint32_t seed) {
    unsigned char written[ORYX_TEST_PAGE_BYTES];
    unsigned char answer[PAGE_ANSWER];
    int status;

    if (!usbcEraseBlock(0, erasePage)) return fail(EXIT_COMMAND, "usbcEraseBlock failed");
    status = waitReady();
    if (status < 0) return fail(EXIT_COMMAND, "no ready status after the erase");
    if (status & STATUS_FAILED) return fail(EXIT_CARD, "the card reports a failed erase");

    oryxTestPagePattern(seed, written);
    if (!usbcWriteSM(0, page, ORYX_TEST_PAGE_BYTES, written)) return fail(EXIT_COMMAND, "usbcWriteSM failed");
    status = waitReady();
    if (status < 0) return fail(EXIT_COMMAND, "no ready status after the program");
    if (status & STATUS_FAILED) return fail(EXIT_CARD, "the card reports a failed program");

    memset(answer, 0, sizeof answer);
    if (!usbcReadSM(0, page, 1, answer)) return fail(EXIT_COMMAND, "usbcReadSM of the page failed");
    if (memcmp(answer, written, sizeof written) != 0) return fail(EXIT_DATA, "the page reads back different");

    memset(answer, 0, sizeof answer);
    if (!usbcReadSM(0, page + 1, 1, answer)) return fail(EXIT_COMMAND, "usbcReadSM of the next page failed");
    if (!isErased(answer, ORYX_TEST_PAGE_BYTES)) return fail(EXIT_DATA, "the next page is not erased");
    return 0;
}

static int parseNumber(const char* text, uint32_t* value) {
    char* end = NULL;
    unsigned long number = strtoul(text, &end, 0);
    if (end == text || *end != '\0' || number > 0xFFFFFFFFul) return 0;
    *value = (uint32_t)number;
    return 1;
}

/* Makes the device unreachable for every later open. */
static void loseDevice(void) {
#ifdef _WIN32
    _putenv("KESTREL_SIM=" NOWHERE);
#else
    setenv("KESTREL_SIM", NOWHERE, 1);
#endif
}

int main(int argc, char** argv) {
    uint32_t erasePage, page, seed;
    int leaveOpen = 0, unreachable = 0, result;

    if (argc == 5) {
        unreachable = strcmp(argv[4], "--leave-open-unreachable") == 0;
        leaveOpen = unreachable || strcmp(argv[4], "--leave-open") == 0;
    }
    if ((argc != 4 && !leaveOpen) || !parseNumber(argv[1], &erasePage) || !parseNumber(argv[2], &page) ||
        !parseNumber(argv[3], &seed)) {
        fputs("usage: oryx_page_client ERASE_PAGE PAGE SEED [--leave-open | --leave-open-unreachable]\n", stderr);
        return EXIT_USAGE;
    }

    if (usbcInit() != 1) return fail(EXIT_INIT, "usbcInit failed");
    result = roundTrip(erasePage, page, seed);
    if (unreachable) loseDevice();
    if (!leaveOpen) usbcClose();
    return result;
}
