// PumpMessages: dispatches what waits in the thread's queue, without
// translation or dialog navigation, so that painting, clicks and the close
// request get through during a long operation.
#pragma once

namespace kestrel::fwupdate::win32 {

void PumpMessages();

}  // namespace kestrel::fwupdate::win32
