// Results of the file system, 0 for success. Media-layer codes (1, 2, 13,
// 14, 31 ...) pass through unchanged; the values are fixed for callers.
#pragma once

#include <cstdint>

namespace kestrel::fatfs {

inline constexpr uint32_t FS_OK = 0;
// Volume not usable: no partition table signature, partition outside the
// card, boot sector not FAT12/FAT16, no FAT copy, logical block 0 missing.
inline constexpr uint32_t FS_VOLUME_UNUSABLE = 5;
inline constexpr uint32_t FS_BAD_PARTITION_TABLE = 6;  // mount detail, reported as 5
inline constexpr uint32_t FS_BAD_BOOT_SECTOR = 7;      // mount detail, reported as 5
inline constexpr uint32_t FS_NO_FAT_COPY = 8;          // mount detail, reported as 5
inline constexpr uint32_t FS_LONG_NAME_INVALID = 9;    // internal to long-name reading
// Bad volume name, malformed path, component too long, bad handle volume,
// bad seek origin, bad callback type, directory removal of a file.
inline constexpr uint32_t FS_INVALID = 11;
inline constexpr uint32_t FS_DISK_FULL = 12;
inline constexpr uint32_t FS_TOO_MANY_INSTANCES = 16;
inline constexpr uint32_t FS_EXISTS = 17;
inline constexpr uint32_t FS_NOT_EMPTY = 18;
// Fewer bytes or entries delivered than asked for.
inline constexpr uint32_t FS_END = 19;
inline constexpr uint32_t FS_NOT_OPEN = 20;
inline constexpr uint32_t FS_MOVE_NOT_FOUND = 21;
inline constexpr uint32_t FS_NO_LONG_NAME = 22;  // internal to long-name reading
inline constexpr uint32_t FS_NOT_FOUND = 23;
// A chain walk met a zero link or a cluster number outside the FAT.
inline constexpr uint32_t FS_BROKEN_CHAIN = 24;
inline constexpr uint32_t FS_ROOT_STAT = 25;
inline constexpr uint32_t FS_READ_ONLY = 27;
inline constexpr uint32_t FS_NO_MEMORY = 28;
inline constexpr uint32_t FS_ROOT_FULL = 29;
inline constexpr uint32_t FS_TOO_MANY_FILES = 32;
// Device start failed, FAT memory exhausted or FAT unreadable, or a chain
// that ends inside data being read.
inline constexpr uint32_t FS_DEVICE_FAILED = 33;

}  // namespace kestrel::fatfs
