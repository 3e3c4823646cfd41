#include "platform/usb/device_listing.h"

#include "platform/byte_order.h"
#include "platform/device_provider.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/usb/ksim_usb_transport.h"
#include "platform/usb/usb_provider.h"

#include <cstdio>
#include <vector>

namespace kestrel::platform::usb {

namespace {

constexpr const char* UDEV_RULE = "contrib/udev/60-kestrel.rules";

// The pipe count a driver-interface backend reports for the device, or
// why it could not be asked.
std::string describeDriverDevice(DeviceProvider& provider, bool& found) {
    uint32_t error = 0;
    auto connection = provider.open(driver::DEVICE_NAME, driver::ACCESS_WRITE, driver::SHARE_WRITE, error);
    if (!connection) return "no device (error " + std::to_string(error) + ")";
    std::vector<uint8_t> info(driver::PIPE_INFO_LENGTH);
    const ControlResult r =
        connection->control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info.data(), driver::PIPE_INFO_LENGTH);
    if (!r.ok) return "opened, but no pipe information (error " + std::to_string(r.error) + ")";
    found = true;
    return driver::DEVICE_NAME + std::string(", ") +
           std::to_string(loadLe32(info.data() + driver::PIPE_INFO_COUNT_OFFSET)) + " pipes";
}

std::string describeUsbDevice(UsbTransport& transport, const DeviceIdentity& device, bool& found) {
    char head[96];
    std::snprintf(head, sizeof head, "usb %04x:%04x bus %u address %u: %zu pipes, ", device.vendorId,
                  device.productId, static_cast<unsigned>(device.bus), static_cast<unsigned>(device.address),
                  device.endpoints.size());
    std::string line = head;
    line += device.endpoints.empty() ? "bare controller (no firmware running)" : "firmware running";
    UsbStatus status = UsbStatus::Error;
    if (auto opened = transport.open(device, status)) {
        found = true;
        return line;
    }
    if (status == UsbStatus::Access)
        return line + "; no permission to open it (install " + UDEV_RULE + ", or run as root)";
    return line + "; cannot open it: " + statusName(status);
}

// A daemon in USB mode serves its device's USB face only: listed as the
// product reaches it then, as a USB device.
void listSimulatorUsb(const std::string& head, const std::string& endpoint, DeviceReport& report) {
    const auto transport = makeKsimUsbTransport(makeKsimProvider(endpoint));
    const Candidates candidates = findCandidates(*transport, defaultSelection());
    for (const auto& device : candidates.devices)
        report.lines.push_back(head + ": " + describeUsbDevice(*transport, device, report.found));
    if (candidates.devices.empty()) report.lines.push_back(head + ": no Kestrel found (" + candidates.why + ")");
}

}  // namespace

DeviceReport listDevices(const std::shared_ptr<UsbTransport>& usb) {
    DeviceReport report;
    if (const auto sim = getEnv("KESTREL_SIM"); sim && !sim->empty()) {
        const std::string head = "simulator (KESTREL_SIM=" + *sim + ")";
        if (const auto face = getEnv("KESTREL_SIM_USB"); face && *face == "1")
            listSimulatorUsb(head, *sim, report);
        else
            report.lines.push_back(head + ": " + describeDriverDevice(*makeKsimProvider(*sim), report.found));
    }
#ifdef _WIN32
    report.lines.push_back(std::string("driver \\\\.\\") + driver::DEVICE_NAME + ": " +
                           describeDriverDevice(*makeOsDriverProvider(), report.found));
#endif
    if (!usb) {
        report.lines.push_back("usb: not built into this program");
        return report;
    }
    std::string selectionError;
    const Selection selection = selectionFromEnvironment(selectionError);
    const Candidates candidates = findCandidates(*usb, selection, selectionError);
    for (const auto& device : candidates.devices) report.lines.push_back(describeUsbDevice(*usb, device, report.found));
    if (candidates.devices.empty()) report.lines.push_back("usb: no Kestrel found (" + candidates.why + ")");
    return report;
}

}  // namespace kestrel::platform::usb
