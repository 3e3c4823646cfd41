// Opening a device file with a host program: the program gets a copy of
// the file in a temporary host folder of its own, never the device path
// (which a host program would take for a path on the current drive). The
// copies live in the extension's own folder below the host's temporary
// folder, one folder per copy:
//
//   %TEMP%\qlxshlext-open\<process id, 8 hex digits>-<tick, 8 hex digits>\<name>
//
// and are removed by removeStaleTemporaryCopies once no program can still
// be using them.
#pragma once

#include "shellext/device_files.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::shellext {

// The name of the extension's folder below the host's temporary folder.
inline constexpr char TEMPORARY_COPIES_FOLDER[] = "qlxshlext-open";

// A copy younger than this (by its creation and last write times) is left
// alone: the program it was opened with may still read it, or save to it.
inline constexpr uint64_t STALE_COPY_AGE_SECONDS = 24 * 60 * 60;

// The extension's folder of copies ("...\qlxshlext-open", no trailing
// separator); none when the host has no temporary folder.
std::optional<std::string> temporaryCopiesFolder();

// True for the name of a folder of one copy ("0000012a-00a1b2c3").
bool isCopyFolderName(const std::string& name);

// Copies the device file `fullPath` into a new folder of copies, under
// `name` made a host file name (host_names.h).
// The host path of the copy; none when the copy could not be made whole
// (`error` says why, and nothing is left behind).
[[nodiscard]] std::optional<std::string> makeTemporaryHostCopy(DeviceFiles& device, const std::string& fullPath,
                                                               const std::string& name, std::string* error);

// makeTemporaryHostCopy, showing the error when there is one.
[[nodiscard]] std::optional<std::string> copyToTemporaryHostFile(DeviceFiles& device, const std::string& fullPath,
                                                                 const std::string& name);

// Removes a copy and its folder of copies.
void removeTemporaryHostCopy(const std::string& hostPath);

}  // namespace kestrel::shellext
