// Process and thread scheduling priority around time-critical device work.
// Windows: real-time priority class and time-critical thread priority. POSIX:
// a no-op (real-time scheduling of a polling loop could starve the machine,
// and unprivileged processes are refused anyway).
#pragma once

namespace kestrel::platform {

void raiseToRealtimePriority();
void restoreNormalPriority();

}  // namespace kestrel::platform
