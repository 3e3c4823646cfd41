/* A plain C caller of every export of the ORYX library: the file system
 * (format, directories, files, stat records, long names, listings, moves,
 * callbacks, volume names) and the device functions (ID, spare areas, boot
 * EEPROM, firmware download). Each step is checked; the first that fails
 * ends the program with its step number as the exit code (1 for a bad
 * command line), after a line on standard error. */
#include "oryx/oryx.h"

#include <stdio.h>
#include <string.h>

static int step = 1;

#define CHECK(condition)                                                                         \
    do {                                                                                         \
        ++step;                                                                                  \
        if (!(condition)) {                                                                      \
            fprintf(stderr, "oryx_file_client: step %d failed: %s (line %d)\n", step, #condition, \
                    __LINE__);                                                                   \
            return step;                                                                         \
        }                                                                                        \
    } while (0)

static uint32_t progressCalls = 0;

static uint32_t ORYX_CALL progress(uint32_t blocks, uint32_t current) {
    (void)blocks;
    (void)current;
    ++progressCalls;
    return 0;
}

static void ORYX_CALL unusedCallback(void) {}

static const uint16_t LONG_NAME[] = {'A', ' ', 'l', 'o', 'n', 'g', 'e', 'r', ' ', 'n', 'a', 'm', 'e', '.', 't', 'x', 't', 0};

static int sameLongName(const uint16_t* a, const uint16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

int main(int argc, char** argv) {
    static const char text[] = "written through every export of the library";
    const uint32_t length = (uint32_t)(sizeof text - 1);
    uint32_t bad = 99, count = 0, delivered = 0, size = 0, previous = 0;
    oryx_handle handle = 0;
    oryx_volume_info info;
    oryx_stat stat;
    oryx_name names[4];
    oryx_dir_record record;
    char back[64];
    unsigned char id[4], spare[64], eeprom[32], pattern[32];
    uint16_t longName[40];
    int i;
    (void)argv;
    if (argc != 1) return 1;

    CHECK(mt_smInit() == ORYX_OK);
    CHECK(mt_smRegisterCallBack(0, 0, (void*)unusedCallback) == ORYX_OK);
    CHECK(mt_smRegisterCallBack(0, 2, (void*)unusedCallback) == ORYX_INVALID);
    CHECK(mt_smUnregisterCallBack(0, 0) == ORYX_OK);
    CHECK(mt_smFormatVol("dev0:", "NO NAME", 0, &bad, progress) == ORYX_OK);
    CHECK(bad == 0 && progressCalls > 0); /* a fresh card */
    CHECK(mt_smMountVol(0, "card") == ORYX_OK);
    CHECK(mt_smGetVolInfo("dev0:\\", &info) == ORYX_INVALID);
    CHECK(mt_smGetVolInfo("card:\\", &info) == ORYX_OK);
    CHECK(mt_smUnmountVol(0) == ORYX_OK);
    CHECK(info.bytesPerSector == 512 && info.usedBytes == 0 && info.freeBytes == info.totalBytes);

    CHECK(mt_smCreateDir("dev0:\\DIR", 0) == ORYX_OK);
    CHECK(mt_smCreateFile("dev0:\\DIR\\A.TXT", 0, &handle) == ORYX_OK);
    CHECK(mt_smFileExtend(handle, length) == ORYX_OK);
    CHECK(mt_smWriteFile(handle, text, length) == ORYX_OK);
    CHECK(mt_smSeekFile(handle, 1, 0, &previous) == ORYX_OK && previous == length);
    CHECK(mt_smCloseFile(handle) == ORYX_OK);
    CHECK(mt_smOpenFile("dev0:\\DIR\\A.TXT", 1, &handle) == ORYX_OK);
    CHECK(mt_smReadFile(handle, back, sizeof back, &delivered) == ORYX_END && delivered == length);
    CHECK(memcmp(back, text, length) == 0);
    CHECK(mt_smCloseFile(handle) == ORYX_OK);
    CHECK(mt_smGetSizeFile("dev0:\\DIR\\A.TXT", &size) == ORYX_OK && size == length);

    CHECK(mt_smReadStat("dev0:\\DIR\\A.TXT", &stat) == ORYX_OK && stat.size == length);
    stat.year = 2004;
    stat.month = 2;
    stat.day = 29;
    stat.hour = 23;
    stat.minute = 59;
    stat.second = 58;
    CHECK(mt_smWriteStat("dev0:\\DIR\\A.TXT", &stat) == ORYX_OK);
    memset(&stat, 0, sizeof stat);
    CHECK(mt_smReadStat("dev0:\\DIR\\A.TXT", &stat) == ORYX_OK);
    CHECK(stat.year == 2004 && stat.month == 2 && stat.day == 29 && stat.hour == 23 && stat.minute == 59 &&
          stat.second == 29);

    CHECK(mt_smSetLongName("dev0:\\DIR\\A.TXT", LONG_NAME) == ORYX_OK);
    CHECK(mt_smGetListNumDir("dev0:\\DIR", &count) == ORYX_OK && count == 3);
    CHECK(mt_smReadDir("dev0:\\DIR", 0, 4, names, &delivered) == ORYX_END && delivered == 3);
    CHECK(strcmp(names[0].text, ".") == 0 && strcmp(names[1].text, "..") == 0 && strcmp(names[2].text, "A.TXT") == 0);
    CHECK(mt_smReadDirEx("dev0:\\DIR", 2, 1, &record, &delivered) == ORYX_OK && delivered == 1);
    memcpy(longName, record.longName, sizeof longName); /* the record is packed: copy before use */
    CHECK(strcmp(record.shortName, "A.TXT") == 0 && sameLongName(longName, LONG_NAME));
    CHECK(record.stat.size == length && record.stat.attributes == 0x20);

    CHECK(mt_smMoveFile("dev0:\\DIR\\A.TXT", "dev0:\\B.TXT") == ORYX_OK);
    CHECK(mt_smRemoveDir("dev0:\\DIR", 0) == ORYX_OK);
    CHECK(mt_smGetSizeFile("dev0:\\B.TXT", &size) == ORYX_OK && size == length);
    CHECK(mt_smRemoveFile("dev0:\\B.TXT") == ORYX_OK);
    CHECK(mt_smGetListNumDir("dev0:\\", &count) == ORYX_OK && count == 0);

    CHECK(usbcReadID(0, id) == 1 && id[1] == 0xEC && id[2] == 0x73);
    CHECK(usbcReadSMspare(0, 0, 1, spare) == 1 && spare[5] == 0xF0); /* block 0 marked bad */
    for (i = 0; i < 32; ++i) pattern[i] = (unsigned char)(i * 7 + 1);
    CHECK(usbcWriteLC(0x0120, pattern) == 1);
    CHECK(usbcReadLC(0x0120, eeprom) == 1 && memcmp(eeprom, pattern, 32) == 0);

    usbcClose();
    CHECK(usbcDownload51(NULL) == 1); /* a reset: the main firmware runs on */
    return 0;
}
