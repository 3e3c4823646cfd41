#include "usblink/usb_device.h"

#include "platform/message_box.h"
#include "usblink/firmware_download.h"

namespace kestrel::usblink {

UsbDevice::UsbDevice(std::string firmwareFolder, LinkNames names)
    : firmwareFolder_(std::move(firmwareFolder)),
      link_(trace_, std::move(names)),
      commands_(link_, trace_),
      cardCommands_(commands_),
      session_(link_.names().device) {
    // A command that starts the link by itself does not wait for another
    // process's session, nor ask the user: it fails.
    link_.setStartGate([this] { return claimSession(0, false); });
}

bool UsbDevice::claimSession(uint32_t ms, bool tellUser) {
    switch (session_.begin(ms)) {
    case platform::LockResult::Acquired: return true;
    case platform::LockResult::Failed:
        trace_("*** session lock unavailable, going on without it: %s\n", session_.lockError().c_str());
        return true;
    case platform::LockResult::Busy: break;
    }
    trace_("*** device in use by another process\n");
    if (tellUser) {
        platform::showMessageBox({DEVICE_IN_USE_TEXT, "Error", platform::MessageIcon::Stop,
                                  platform::MessageButtons::Ok});
    }
    return false;
}

uint32_t UsbDevice::loadImage(const char* path) {
    return usbcDownload51(path, link_.names().device.c_str());
}

uint32_t UsbDevice::download(const char* path) {
    const bool inSession = session_.held();
    if (!inSession && !claimSession(SESSION_WAIT_MS, true)) return 0;
    const uint32_t result = loadImage(path);
    if (!inSession) session_.end();
    return result;
}

uint32_t UsbDevice::init() {
    if (!claimSession(SESSION_WAIT_MS, true)) return 0;
    const std::string path = firmwarePath(firmwareFolder_, FFS_FIRMWARE);
    const bool started = loadImage(path.c_str()) && link_.InitLink();
    if (!link_.running()) session_.end();
    return started ? 1 : 0;
}

void UsbDevice::close() {
    if (link_.running()) {
        link_.CloseLink();
        const std::string path = firmwarePath(firmwareFolder_, MAIN_FIRMWARE);
        (void)loadImage(path.c_str());
    }
    session_.end();
}

}  // namespace kestrel::usblink
