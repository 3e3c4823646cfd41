// No window system, no cursor to change.
#include "platform/cursor.h"

namespace kestrel::platform {

WaitCursor::WaitCursor() = default;
WaitCursor::~WaitCursor() = default;

}  // namespace kestrel::platform
