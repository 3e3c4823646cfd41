// Scheduling priorities are left alone on POSIX (see priority.h).
#include "platform/priority.h"

namespace kestrel::platform {

void raiseToRealtimePriority() {}
void restoreNormalPriority() {}

}  // namespace kestrel::platform
