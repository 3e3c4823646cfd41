// Ctrl-C during a long command: the command stops at its next step and
// unwinds like a failure, so the device still gets its main firmware back
// and nothing half written stays behind.
#pragma once

namespace kestrel::cli {

inline constexpr int EXIT_INTERRUPTED = 130;  // 128 + SIGINT, as shells report it

// Installs the handler (once, at start).
void catchInterrupts();
// Throws Failure(EXIT_INTERRUPTED) once an interrupt has arrived.
void stopIfInterrupted();

}  // namespace kestrel::cli
