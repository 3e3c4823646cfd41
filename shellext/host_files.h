// Host files and folders as the copy onto the device reads them: sizes,
// folder listings and the files' contents, each handle with an owner.
#pragma once

#include "platform/win32/unique_handle.h"
#include "shellext/host_names.h"  // hostLeafName
#include "shellext/shell_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::shellext {

struct HostEntry {
    std::string name;
    bool directory = false;
};

bool isHostDirectory(const std::string& path);
// The 64-bit size of a file; none when it cannot be read.
std::optional<uint64_t> hostFileSize(const std::string& path);
// A file's size (low 32 bits), or for a folder the sum over everything in
// it; files too large for the device (4 GiB or more) count 0.
uint32_t hostBytes(const std::string& path);
// The entries of a folder ("%s\\*.*") without "." and ".."; none when the
// listing cannot start.
std::optional<std::vector<HostEntry>> listHostFolder(const std::string& path);
// Opens a file for reading (shared for reading); invalid on failure.
platform::win32::UniqueHandle openHostFile(const std::string& path);
// The dropped paths of a drop handle, in order.
std::vector<std::string> droppedPaths(HDROP drop);

}  // namespace kestrel::shellext
