// Opening a device file with a host program: the program gets a copy of
// the file in a temporary host folder of its own, never the device path
// (which a host program would take for a path on the current drive).
#pragma once

#include "shellext/device_files.h"

#include <optional>
#include <string>

namespace kestrel::shellext {

// Copies the device file `fullPath` into a new folder below the host's
// temporary folder, under `name` made a host file name (host_names.h).
// The host path of the copy; none when the copy could not be made whole
// (an error was shown and nothing is left behind).
[[nodiscard]] std::optional<std::string> copyToTemporaryHostFile(DeviceFiles& device, const std::string& fullPath,
                                                                 const std::string& name);

}  // namespace kestrel::shellext
