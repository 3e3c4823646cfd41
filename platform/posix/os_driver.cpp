// There is no kernel driver for the device on POSIX systems (yet): the
// operating-system backend is the null backend.
#include "platform/device_provider.h"

namespace kestrel::platform {

std::shared_ptr<DeviceProvider> makeOsDriverProvider() { return makeNullProvider(); }

}  // namespace kestrel::platform
