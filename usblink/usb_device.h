// The device side of the library as one object: trace sink, link, device
// commands and the firmware folder. The exported usbc* functions are a thin
// facade over one process-wide instance; tests make their own.
#pragma once

#include "usblink/device_commands.h"
#include "usblink/link.h"
#include "usblink/link_card_commands.h"
#include "usblink/trace_hook.h"

#include <string>

namespace kestrel::usblink {

class UsbDevice {
public:
    explicit UsbDevice(std::string firmwareFolder, LinkNames names = {});

    // Loads the file-system firmware and starts the link: 1 or 0.
    uint32_t init();
    // When the link runs: stops it and loads the main firmware back.
    void close();
    // Loads an image (null: reset only).
    uint32_t download(const char* path);

    DeviceCommands& commands() { return commands_; }
    CardCommands& cardCommands() { return cardCommands_; }
    Link& link() { return link_; }
    TraceHook& trace() { return trace_; }

private:
    std::string firmwareFolder_;
    TraceHook trace_;
    Link link_;
    DeviceCommands commands_;
    LinkCardCommands cardCommands_;
};

}  // namespace kestrel::usblink
