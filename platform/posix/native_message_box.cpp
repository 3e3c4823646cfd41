// Without a window system the console sink is the message box.
#include "platform/native_message_box.h"

namespace kestrel::platform::detail {

MessageAnswer nativeMessageBox(const MessageBoxRequest& request) { return consoleMessageSink(request); }

}  // namespace kestrel::platform::detail
