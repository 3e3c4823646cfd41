// A device folder served by a kestrel-simd child process beside the
// benchmark program, on a free local TCP port.
#pragma once

#include "platform/process.h"

#include <memory>
#include <string>

namespace kestrel::bench {

// `name` beside the running program (".exe" added on Windows to a name
// without an extension).
std::string programBeside(const std::string& name);

// Starts kestrel-simd on `folder` and waits for its port file; the
// endpoint ("tcp:127.0.0.1:PORT"), or empty with `error` set.
std::string serveFolder(const std::string& folder, std::unique_ptr<platform::ChildProcess>& daemon,
                        std::string& error);

}  // namespace kestrel::bench
