// kestrel mount and kestrel remote mount: the card as a folder until it is
// unmounted. They run outside the other commands' device sessions: the
// mount starts its own (after going to the background, when it does).
#pragma once

#include "tools/arguments.h"

#include <optional>
#include <string>

namespace kestrel::cli {

// Help and options of the two commands, for the command tables.
extern const char* const MOUNT_DETAILS;
extern const char* const REMOTE_MOUNT_DETAILS;

// Mounts with the library (`remote` false) or the filex client; the exit
// code once the mount has ended (foreground), or once it is mounted and
// in the background.
int runMountCommand(const Arguments& args, const std::optional<std::string>& simFolder, bool remote);

}  // namespace kestrel::cli
