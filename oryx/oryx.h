/* ORYX: the Kestrel device and file-system library.
 *
 * Plain C interface, C calling convention, undecorated names. The usbc*
 * functions return 1 for success and 0 for failure; the mt_sm* functions
 * return a result code, 0 for success (ORYX_* below). Callers serialise
 * every call: the library takes no lock. Call mt_smInit before any other
 * mt_sm* function. */
#ifndef ORYX_H
#define ORYX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(ORYX_BUILD)
#    define ORYX_API /* exported through the module definition file */
#  else
#    define ORYX_API __declspec(dllimport)
#  endif
#  define ORYX_CALL __cdecl
#else
#  define ORYX_API __attribute__((visibility("default")))
#  define ORYX_CALL
#endif

/* Loads the file-system firmware into the controller and starts the link. */
ORYX_API uint32_t ORYX_CALL usbcInit(void);
/* Stops the link and loads the device's main firmware back. */
ORYX_API void ORYX_CALL usbcClose(void);
/* Loads the image file at path into the controller (NULL: reset only) and
 * waits up to 15 s for the device to come back. */
ORYX_API uint32_t ORYX_CALL usbcDownload51(const char* path);

/* Card commands. adr is a page number; answers: 576 bytes per page read,
 * 64 per spare read, 4 for the ID, 2 for the status. */
ORYX_API uint32_t ORYX_CALL usbcReadSM(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcReadSMspare(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcReadID(uint8_t sm, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcGetStatus(uint8_t sm, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcEraseBlock(uint8_t sm, uint32_t adr);
ORYX_API uint32_t ORYX_CALL usbcWriteSM(uint8_t sm, uint32_t adr, uint16_t bcnt, const void* buffer);

/* Boot EEPROM: 32 bytes at a 16-bit address. */
ORYX_API uint32_t ORYX_CALL usbcReadLC(uint16_t adr, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcWriteLC(uint16_t adr, const void* data);

/* ---- File system -------------------------------------------------------
 * Paths: the volume name, ":", "\\", then 8.3 short names separated by
 * "\\", e.g. "dev0:\\FW\\L1_1.BIN". At most 40 bytes per component and
 * 259 per path. Names holding control characters or " * / : < > ? \\ |
 * are refused (11). */

/* Result codes. Codes of the media layer pass through unchanged:
 * 1 program or erase failed, 2 card not recognised, 13 block not mapped,
 * 14 uncorrectable ECC error, 31 card or device not answering. */
enum {
    ORYX_OK = 0,
    ORYX_VOLUME_UNUSABLE = 5,  /* no partition table, not FAT12/FAT16, no FAT copy */
    ORYX_INVALID = 11,         /* bad volume, path, handle volume, origin, type... */
    ORYX_DISK_FULL = 12,
    ORYX_TOO_MANY_INSTANCES = 16,
    ORYX_EXISTS = 17,
    ORYX_NOT_EMPTY = 18,
    ORYX_END = 19,             /* fewer bytes or entries than asked for */
    ORYX_NOT_OPEN = 20,
    ORYX_MOVE_NOT_FOUND = 21,
    ORYX_NOT_FOUND = 23,
    ORYX_BROKEN_CHAIN = 24,
    ORYX_ROOT_STAT = 25,
    ORYX_READ_ONLY = 27,
    ORYX_NO_MEMORY = 28,
    ORYX_ROOT_FULL = 29,
    ORYX_TOO_MANY_FILES = 32,
    ORYX_DEVICE_FAILED = 33
};

/* File handle: bits 0-15 first cluster, 16-23 instance (0-9), 24-30 volume
 * (0); bit 31 is ignored. */
typedef uint32_t oryx_handle;

#if defined(_MSC_VER)
#  pragma pack(push, 1)
#  define ORYX_PACKED
#else
#  define ORYX_PACKED __attribute__((packed))
#endif

/* Stat record (20 bytes). second: on reading the stored two-second count
 * (0-29); on writing whole seconds (0-59). */
typedef struct ORYX_PACKED oryx_stat {
    uint32_t attributes;   /* 0x10 directory, 0x20 archive */
    uint32_t firstCluster;
    uint32_t size;
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t zero;
} oryx_stat;

/* Name record of mt_smReadDir (16 bytes): the short name as text. */
typedef struct ORYX_PACKED oryx_name {
    char text[16];
} oryx_name;

/* Directory record of mt_smReadDirEx (116 bytes). */
typedef struct ORYX_PACKED oryx_dir_record {
    char shortName[16];
    uint16_t longName[40];  /* zero-terminated; empty without a long name */
    oryx_stat stat;
} oryx_dir_record;

/* Volume information: six words. */
typedef struct ORYX_PACKED oryx_volume_info {
    uint32_t totalBytes;
    uint32_t usedBytes;
    uint32_t freeBytes;
    uint32_t badClusters;
    uint32_t sectorsPerCluster;
    uint32_t bytesPerSector;
} oryx_volume_info;

#if defined(_MSC_VER)
#  pragma pack(pop)
#endif

#if defined(__cplusplus)
static_assert(sizeof(oryx_stat) == 20, "stat record");
static_assert(sizeof(oryx_name) == 16, "name record");
static_assert(sizeof(oryx_dir_record) == 116, "directory record");
static_assert(sizeof(oryx_volume_info) == 24, "volume information");
#else
_Static_assert(sizeof(oryx_stat) == 20, "stat record");
_Static_assert(sizeof(oryx_name) == 16, "name record");
_Static_assert(sizeof(oryx_dir_record) == 116, "directory record");
_Static_assert(sizeof(oryx_volume_info) == 24, "volume information");
#endif

/* Progress of a format: the card's physical-block count and the current
 * block; the result is ignored. */
typedef uint32_t (ORYX_CALL* oryx_progress)(uint32_t blocks, uint32_t current);

/* Starts the device (usbcInit) and resets the file system: open handles
 * are dropped, the volume is named "dev0". 33 when the device fails. */
ORYX_API uint32_t ORYX_CALL mt_smInit(void);
/* mode 1: full format (every block tested), else quick. */
ORYX_API uint32_t ORYX_CALL mt_smFormatVol(const char* path, const char* label, uint32_t mode,
                                           uint32_t* badBlocks, oryx_progress progress);
ORYX_API uint32_t ORYX_CALL mt_smMountVol(uint32_t volume, const char* name);
ORYX_API uint32_t ORYX_CALL mt_smUnmountVol(uint32_t volume);
ORYX_API uint32_t ORYX_CALL mt_smGetVolInfo(const char* path, oryx_volume_info* info);

/* overwrite 1 replaces an existing file (never a directory: 17). A refused
 * create (17, 11 for "." or "..", 32 open-file list full, 12 no cluster)
 * leaves an existing file untouched. Every directory on the path must
 * exist and be a directory (23). */
ORYX_API uint32_t ORYX_CALL mt_smCreateFile(const char* path, uint32_t overwrite, oryx_handle* handle);
/* mode value 2 permits writing; a directory is never opened for writing
 * (11). */
ORYX_API uint32_t ORYX_CALL mt_smOpenFile(const char* path, uint32_t mode, oryx_handle* handle);
ORYX_API uint32_t ORYX_CALL mt_smReadFile(oryx_handle handle, void* buffer, uint32_t length, uint32_t* delivered);
ORYX_API uint32_t ORYX_CALL mt_smWriteFile(oryx_handle handle, const void* data, uint32_t length);
/* origin 0 current position, 1 start, 2 end; the result is clamped to the
 * file. */
ORYX_API uint32_t ORYX_CALL mt_smSeekFile(oryx_handle handle, uint32_t origin, int32_t offset,
                                          uint32_t* previousPosition);
/* Writes buffered data, the entry's size and time, and the FAT. The entry
 * is the file's own, wherever a move or a long name has put it meanwhile. */
ORYX_API uint32_t ORYX_CALL mt_smCloseFile(oryx_handle handle);
/* Removing a file (also by overwriting it, or with its directory) closes
 * its open handles without writing them: they answer 20 from then on. A
 * directory is refused (11): use mt_smRemoveDir. */
ORYX_API uint32_t ORYX_CALL mt_smRemoveFile(const char* path);
ORYX_API uint32_t ORYX_CALL mt_smGetSizeFile(const char* path, uint32_t* size);
/* Prepares a file for `bytes` more bytes with pre-erased clusters. */
ORYX_API uint32_t ORYX_CALL mt_smFileExtend(oryx_handle handle, uint32_t bytes);
/* Open handles of the moved file stay open and close into its new entry.
 * A directory moved into its own tree (however the path is spelt), "." and
 * ".." as source or new name: 11. */
ORYX_API uint32_t ORYX_CALL mt_smMoveFile(const char* source, const char* destination);
ORYX_API uint32_t ORYX_CALL mt_smReadStat(const char* path, oryx_stat* stat);
/* A file cannot be given the directory (0x10) or volume-label (0x08) bit,
 * nor a directory the label bit (11); a directory keeps its 0x10. */
ORYX_API uint32_t ORYX_CALL mt_smWriteStat(const char* path, const oryx_stat* stat);

/* The second argument is ignored. */
ORYX_API uint32_t ORYX_CALL mt_smCreateDir(const char* path, uint32_t unused);
/* recursive 1 removes the contents too; a missing directory counts as
 * removed (0). */
ORYX_API uint32_t ORYX_CALL mt_smRemoveDir(const char* path, uint32_t recursive);
ORYX_API uint32_t ORYX_CALL mt_smGetListNumDir(const char* path, uint32_t* count);
ORYX_API uint32_t ORYX_CALL mt_smReadDir(const char* path, uint32_t first, uint32_t count, oryx_name* names,
                                         uint32_t* delivered);
ORYX_API uint32_t ORYX_CALL mt_smReadDirEx(const char* path, uint32_t first, uint32_t count,
                                           oryx_dir_record* records, uint32_t* delivered);
/* longName: zero-terminated, at most 39 characters. A name that the short
 * name holds (or an empty one) is not stored and removes the long name the
 * entry had. */
ORYX_API uint32_t ORYX_CALL mt_smSetLongName(const char* path, const uint16_t* longName);
/* The date and time the close of a handle opened for writing gives its
 * entry, in place of the time of the close (the stat record's year, month,
 * day, hour, minute and second). 20 for a handle not open, 27 for one not
 * writable. */
ORYX_API uint32_t ORYX_CALL mt_smSetFileTime(oryx_handle handle, const oryx_stat* stat);
/* A write batch on volume 0 (else 11): until mt_smEndBatch, the FAT and the
 * directory entries are changed in memory only (reads see the changes) and
 * reach the card together at its end, the FAT first; file data go to the
 * card as written. Removing, moving or replacing, making directories, and
 * closing or naming files that were on the card before the batch write the
 * batch out first. mt_smUnmountVol, mt_smInit and mt_smFormatVol end an
 * open batch, writing it out. A batch already open stays open (0). */
ORYX_API uint32_t ORYX_CALL mt_smBeginBatch(uint32_t volume);
/* Writes the batch out and ends it: 0, also when none is open. After a
 * failure the card holds part of the batch, at most lost clusters of it. */
ORYX_API uint32_t ORYX_CALL mt_smEndBatch(uint32_t volume);

/* Two inert callback slots, types 0 and 1 (else 11); never called. */
ORYX_API uint32_t ORYX_CALL mt_smRegisterCallBack(uint32_t volume, uint32_t type, void* function);
ORYX_API uint32_t ORYX_CALL mt_smUnregisterCallBack(uint32_t volume, uint32_t type);

#ifdef __cplusplus
}
#endif

#endif /* ORYX_H */
