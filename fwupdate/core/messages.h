// The fixed texts of the update tool's message boxes and action line.
#pragma once

#include "fwupdate/core/update_view.h"

#include <string>

namespace kestrel::fwupdate::text {

inline constexpr const char* INITIALIZING = "Initializing device ...";
inline constexpr const char* UPDATING_EEPROM = "Updating EEPROM code ...";
inline constexpr const char* VERIFYING_EEPROM = "Verifying EEPROM code ...";
inline constexpr const char* FORMATTING = "Formatting System, please wait ...";
inline constexpr const char* RESTARTING = "Restarting device, please wait ...";
inline constexpr const char* SUCCESS = "Device update was successful.";
inline constexpr const char* FULL_PERCENT = "100%";

}  // namespace kestrel::fwupdate::text

namespace kestrel::fwupdate::box {

Message nothingSelected();
// selection: 1 EEPROM, 2 MAIN, 3 both.
Message confirmUpdate(unsigned selection);
Message unableToOpen(const std::string& file);
Message emptyUpdateFile(const std::string& file);
Message eepromImageTooLarge(const std::string& file, unsigned long long size);
Message keepDeviceOn();
Message eepromWriteError();
Message eepromReadError();
Message verifyError();
Message unableToFormat();
Message downloadFailed(const std::string& file, uint32_t code);
Message updateFilesMissing();
Message updateRunning();

}  // namespace kestrel::fwupdate::box
