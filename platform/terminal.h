// Whether the process's standard output or standard error goes to a
// terminal (for progress bars that only make sense there).
#pragma once

namespace kestrel::platform {

bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

}  // namespace kestrel::platform
