// Internal to platform/: the platform's own message box, the sink in force
// until a program or test installs another.
#pragma once

#include "platform/message_box.h"

namespace kestrel::platform::detail {

MessageAnswer nativeMessageBox(const MessageBoxRequest& request);

}  // namespace kestrel::platform::detail
