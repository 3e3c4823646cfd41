// The system's USB stack: libusb-1.0 where the build found it.
#include "platform/usb/usb_provider.h"

#ifdef KESTREL_HAVE_LIBUSB
#include "platform/usb/libusb_transport.h"
#endif

namespace kestrel::platform::usb {

std::shared_ptr<UsbTransport> systemUsbTransport() {
#ifdef KESTREL_HAVE_LIBUSB
    static const std::shared_ptr<UsbTransport> transport = makeLibusbTransport();
    return transport;
#else
    return nullptr;
#endif
}

std::shared_ptr<DeviceProvider> systemUsbProvider() {
    static const std::shared_ptr<DeviceProvider> provider = [] {
        auto transport = systemUsbTransport();
        return transport ? makeUsbProviderFromEnvironment(std::move(transport)) : makeNullProvider();
    }();
    return provider;
}

}  // namespace kestrel::platform::usb
