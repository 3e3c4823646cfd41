// The update tool's names and version.
#pragma once

#include <cstdint>

namespace kestrel::fwupdate {

inline constexpr const char* PRODUCT_NAME = "KESTREL Rescue Update";
inline constexpr int VERSION_MAJOR = 2;
inline constexpr int VERSION_MINOR = 2;
inline constexpr int VERSION_BUILD = 4;
inline constexpr const char* TITLE_FORMAT = "%s ver%d.%d.%d";

// Window class, dialog template, icon and registry value all carry this name.
inline constexpr const char* APP_NAME = "DarudiVevozi";

}  // namespace kestrel::fwupdate
