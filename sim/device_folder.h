// The device folder, the simulated device's state on disk:
//   nand.bin     the raw card, physical page after physical page, each page's
//                data followed by its spare area
//   eeprom.bin   the boot EEPROM, 65,536 bytes
//   device.conf  settings and injected faults (see device_config.h)
//   stats.txt    counters saved by kestrel-simd (optional)
//   device.lock  present while a process has the device open (kestrel-simd,
//                kestrel --sim): the lock that keeps a second one out
#pragma once

#include "sim/device_config.h"

#include <optional>
#include <string>

namespace kestrel::sim {

inline constexpr const char* NAND_FILE = "nand.bin";
inline constexpr const char* EEPROM_FILE = "eeprom.bin";
inline constexpr const char* CONFIG_FILE = "device.conf";
inline constexpr const char* STATS_FILE = "stats.txt";
inline constexpr const char* LOCK_FILE = "device.lock";

std::string folderFile(const std::string& folder, const char* name);

// Makes a fresh device in `folder` (created when missing): blank card with
// the configured factory-bad blocks, blank EEPROM, device.conf. Refuses a
// folder that already holds a device.
[[nodiscard]] bool createDeviceFolder(const std::string& folder, const DeviceConfig& config,
                                      std::string* error = nullptr);

std::optional<DeviceConfig> readDeviceConfig(const std::string& folder, std::string* error = nullptr);

std::optional<std::string> readTextFile(const std::string& path);
// Replaces `path` as a whole (written beside it, then renamed), so a reader
// never sees half a file.
[[nodiscard]] bool writeTextFile(const std::string& path, const std::string& text);

}  // namespace kestrel::sim
