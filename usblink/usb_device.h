// The device side of the library as one object: trace sink, link, device
// commands and the firmware folder. The exported usbc* functions are a thin
// facade over one process-wide instance; tests make their own.
#pragma once

#include "usblink/device_commands.h"
#include "usblink/device_session.h"
#include "usblink/link.h"
#include "usblink/link_card_commands.h"
#include "usblink/trace_hook.h"

#include <string>

namespace kestrel::usblink {

class UsbDevice {
public:
    explicit UsbDevice(std::string firmwareFolder, LinkNames names = {});

    // Takes the device's session (waiting up to SESSION_WAIT_MS for another
    // process to end its own), loads the file-system firmware and starts the
    // link: 1 or 0. A device kept by another process fails with the message
    // box DEVICE_IN_USE_TEXT.
    uint32_t init();
    // When the link runs: stops it and loads the main firmware back. Ends
    // the session.
    void close();
    // Loads an image (null: reset only), within this process's session, or
    // in a session of its own for the download's length.
    uint32_t download(const char* path);
    bool inSession() const { return session_.held(); }

    DeviceCommands& commands() { return commands_; }
    CardCommands& cardCommands() { return cardCommands_; }
    Link& link() { return link_; }
    TraceHook& trace() { return trace_; }

private:
    // The session for a start: `ms` to wait, and whether to tell the user
    // when another process keeps the device.
    bool claimSession(uint32_t ms, bool tellUser);
    uint32_t loadImage(const char* path);

    std::string firmwareFolder_;
    TraceHook trace_;
    Link link_;
    DeviceCommands commands_;
    LinkCardCommands cardCommands_;
    DeviceSession session_;
};

}  // namespace kestrel::usblink
