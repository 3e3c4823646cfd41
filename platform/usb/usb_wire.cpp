#include "platform/usb/usb_wire.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

namespace kestrel::platform::usb::wire {

void putIdentity(std::vector<uint8_t>& out, const DeviceIdentity& device) {
    const size_t endpoints = device.endpoints.size() > MAX_ENDPOINTS ? MAX_ENDPOINTS : device.endpoints.size();
    const size_t at = out.size();
    out.resize(at + IDENTITY_HEADER + endpoints * ENDPOINT_RECORD);
    uint8_t* p = out.data() + at;
    storeLe16(p, device.vendorId);
    storeLe16(p + 2, device.productId);
    p[4] = device.bus;
    p[5] = device.address;
    p[6] = device.interfaceClass;
    p[7] = device.interfaceSubClass;
    p[8] = device.interfaceProtocol;
    p[9] = static_cast<uint8_t>(endpoints);
    p += IDENTITY_HEADER;
    for (size_t i = 0; i < endpoints; ++i, p += ENDPOINT_RECORD) {
        const Endpoint& e = device.endpoints[i];
        p[0] = e.address;
        p[1] = static_cast<uint8_t>(e.type);
        storeLe16(p + 2, e.maxPacketSize);
        p[4] = e.interval;
    }
}

std::optional<DeviceIdentity> takeIdentity(const uint8_t* data, size_t length, size_t& at) {
    if (at > length || length - at < IDENTITY_HEADER) return std::nullopt;
    const uint8_t* p = data + at;
    const uint32_t endpoints = p[9];
    if (endpoints > MAX_ENDPOINTS || length - at - IDENTITY_HEADER < endpoints * ENDPOINT_RECORD)
        return std::nullopt;
    DeviceIdentity device;
    device.vendorId = loadLe16(p);
    device.productId = loadLe16(p + 2);
    device.bus = p[4];
    device.address = p[5];
    device.interfaceClass = p[6];
    device.interfaceSubClass = p[7];
    device.interfaceProtocol = p[8];
    p += IDENTITY_HEADER;
    for (uint32_t i = 0; i < endpoints; ++i, p += ENDPOINT_RECORD)
        device.endpoints.push_back({p[0], static_cast<EndpointType>(p[1] & 3), loadLe16(p + 2), p[4]});
    at += IDENTITY_HEADER + endpoints * ENDPOINT_RECORD;
    return device;
}

void putControl(uint8_t (&out)[CONTROL_REQUEST_LENGTH], const ControlRequest& request) {
    storeLe32(out, request.device);
    out[4] = request.setup.requestType;
    out[5] = request.setup.request;
    storeLe16(out + 6, request.setup.value);
    storeLe16(out + 8, request.setup.index);
    storeLe16(out + 10, request.length);
    storeLe32(out + 12, request.timeoutMs);
}

ControlRequest takeControl(const uint8_t (&in)[CONTROL_REQUEST_LENGTH]) {
    ControlRequest request;
    request.device = loadLe32(in);
    request.setup.requestType = in[4];
    request.setup.request = in[5];
    request.setup.value = loadLe16(in + 6);
    request.setup.index = loadLe16(in + 8);
    request.length = loadLe16(in + 10);
    request.timeoutMs = loadLe32(in + 12);
    return request;
}

uint32_t errorOf(UsbStatus status) { return USB_STATUS_BASE + static_cast<uint32_t>(status); }

UsbStatus statusOfError(uint32_t error) {
    if (error > USB_STATUS_BASE && error <= USB_STATUS_BASE + static_cast<uint32_t>(UsbStatus::Error))
        return static_cast<UsbStatus>(error - USB_STATUS_BASE);
    if (error == driver::ERR_DEVICE_NOT_CONNECTED) return UsbStatus::Gone;
    return UsbStatus::Error;
}

}  // namespace kestrel::platform::usb::wire
