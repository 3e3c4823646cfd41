#include "usblink/usb_device.h"

#include "usblink/firmware_download.h"

namespace kestrel::usblink {

UsbDevice::UsbDevice(std::string firmwareFolder, LinkNames names)
    : firmwareFolder_(std::move(firmwareFolder)),
      link_(trace_, std::move(names)),
      commands_(link_, trace_),
      cardCommands_(commands_) {}

uint32_t UsbDevice::download(const char* path) {
    return usbcDownload51(path, link_.names().device.c_str());
}

uint32_t UsbDevice::init() {
    const std::string path = firmwarePath(firmwareFolder_, FFS_FIRMWARE);
    if (!download(path.c_str())) return 0;
    return link_.InitLink() ? 1 : 0;
}

void UsbDevice::close() {
    if (!link_.running()) return;
    link_.CloseLink();
    const std::string path = firmwarePath(firmwareFolder_, MAIN_FIRMWARE);
    (void)download(path.c_str());
}

}  // namespace kestrel::usblink
