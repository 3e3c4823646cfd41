// The steps of get and put that copy one file, shared by the single-file
// forms and the forms that copy many files or whole trees in one session
// under one progress bar.
#pragma once

#include "tools/commands.h"
#include "tools/device_tree.h"
#include "tools/progress_bar.h"

#include <cstdint>
#include <string>

namespace kestrel::cli {

// Where the bytes of a command's files stand on its one progress bar.
struct BarPlace {
    ProgressBar& bar;
    uint64_t base;  // bytes of the command's files before this one
};

// Puts the host file (of `size` bytes) at `target`, a device file that may
// exist (replaced safely, keeping its long name) or not (created under its
// name, with a long name where it is no 8.3 name), and gives it the host
// file's time.
void putOneFile(DeviceTree& tree, const std::string& hostPath, uint64_t size, const ResolvedPath& target,
                BarPlace place);
// Copies the device file `source` to `hostPath`, with its time; nothing of
// the host file stays after a failure.
void getOneFile(const ResolvedPath& source, const std::string& hostPath, BarPlace place);

// The host name a device file gets by default: its long name when that is
// plain ASCII that a device path could hold too, else its short name.
std::string hostNameOf(const DeviceEntry& entry);

// put and get of several files, or of trees (-r): transfer_many.cpp.
int putMany(CommandContext& context);
int getMany(CommandContext& context);

}  // namespace kestrel::cli
