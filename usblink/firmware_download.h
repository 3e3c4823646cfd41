// Loading an image into the x51 controller and waiting for the device to
// come back on the bus.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::usblink {

inline constexpr uint32_t MAX_IMAGE_LENGTH = 65536;
inline constexpr uint32_t SETTLE_MS = 1000;
inline constexpr uint32_t REAPPEAR_TIMEOUT_MS = 15000;
inline constexpr uint32_t REAPPEAR_POLL_MS = 100;

inline constexpr const char* FFS_FIRMWARE = "vxb_ffs.bix";
inline constexpr const char* MAIN_FIRMWARE = "vxb_main.bix";

// Holds the x51 in reset, downloads the image at `path` (only a reset when
// path is null), releases it and waits up to 15000 ms for the device.
// Failures are shown in message boxes ("Device not found\n", "File not
// found\n", "x51 does not respond\n", caption "Error"). Returns 1 or 0.
uint32_t usbcDownload51(const char* path, const char* deviceName = "QlxUsb-0");

// Where the firmware image `file` is looked for: `folder` + separator +
// `file` (beside the library, as in a build tree or a Windows installation),
// else the same name in the "oryx" subfolder of `folder` (an installed
// liboryx.so keeps its images there, out of the shared-library folder).
// When neither exists, the first, so that the failure names that path.
std::string firmwarePath(const std::string& folder, const char* file);

// The subfolder of the library's folder that an installation keeps the
// firmware images in.
inline constexpr const char* INSTALLED_FIRMWARE_FOLDER = "oryx";

}  // namespace kestrel::usblink
