// The system's USB stack: libusb-1.0 where the build found it, WinUSB on
// Windows.
#include "platform/usb/first_present_provider.h"
#include "platform/usb/usb_provider.h"

#ifdef KESTREL_HAVE_LIBUSB
#include "platform/usb/libusb_transport.h"
#endif
#ifdef _WIN32
#include "platform/usb/winusb_transport.h"
#endif

namespace kestrel::platform::usb {

std::shared_ptr<UsbTransport> systemUsbTransport() {
#if defined(_WIN32)
    static const std::shared_ptr<UsbTransport> transport = makeWinUsbTransport();
    return transport;
#elif defined(KESTREL_HAVE_LIBUSB)
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

std::shared_ptr<DeviceProvider> systemDeviceProvider() {
#ifdef _WIN32
    // The OS driver's device when it is there, else the device on WinUSB.
    static const std::shared_ptr<DeviceProvider> provider =
        makeFirstPresentProvider({makeOsDriverProvider(), systemUsbProvider()});
    return provider;
#else
    return systemUsbProvider();
#endif
}

}  // namespace kestrel::platform::usb
