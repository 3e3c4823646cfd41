#include "platform/usb/usb_connection.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <algorithm>
#include <future>

namespace kestrel::platform::usb {

namespace {

constexpr uint32_t ERR_GEN_FAILURE = 31;
constexpr uint32_t ERR_ACCESS_DENIED = 5;
constexpr uint32_t ERR_BUSY = 170;
constexpr uint32_t ERR_SEM_TIMEOUT = 121;

// The interface information record as the USB stack lays it out for a
// 32-bit driver: header of 16 bytes, then 20 bytes per pipe.
constexpr uint32_t PIPE_RECORD_OFFSET = 16;
constexpr uint32_t PIPE_RECORD_LENGTH = 20;
constexpr uint32_t PIPE_HANDLE_BASE = 0x1000;
constexpr uint32_t MAX_TRANSFER_SIZE = 0x10000;

ControlResult success(uint32_t bytes = 0) { return {true, 0, bytes}; }
ControlResult failure(uint32_t error) { return {false, error, 0}; }
ControlResult fromUsb(UsbResult result) {
    return result.ok() ? success(result.bytes) : failure(driverError(result.status));
}

}  // namespace

uint32_t driverError(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok: return 0;
    case UsbStatus::Gone: return driver::ERR_DEVICE_NOT_CONNECTED;
    case UsbStatus::Cancelled: return driver::ERR_OPERATION_ABORTED;
    case UsbStatus::Timeout: return ERR_SEM_TIMEOUT;
    case UsbStatus::Access: return ERR_ACCESS_DENIED;
    case UsbStatus::Busy: return ERR_BUSY;
    case UsbStatus::NotFound: return driver::ERR_FILE_NOT_FOUND;
    case UsbStatus::Stall:
    case UsbStatus::Error: break;
    }
    return ERR_GEN_FAILURE;
}

ControlResult UsbConnection::control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                     uint32_t outLength) {
    if ((inLength > 0 && !in) || (outLength > 0 && !out)) return failure(driver::ERR_INVALID_PARAMETER);
    if (device_->gone()) return failure(driver::ERR_DEVICE_NOT_CONNECTED);
    const auto* input = static_cast<const uint8_t*>(in);
    auto* output = static_cast<uint8_t*>(out);
    const bool hasPipe = inLength >= 4;
    switch (code) {
    case driver::CTL_GET_PIPE_INFO:
        return pipeInfo(output, outLength);
    case driver::CTL_VENDOR_REQUEST:
        return vendorRequest(input, inLength, output, outLength);
    case driver::CTL_DOWNLOAD:
        return download(input, inLength, output, outLength);
    case driver::CTL_BULK_READ:
    case driver::CTL_BULK_WRITE:
        if (!hasPipe) return failure(driver::ERR_INVALID_PARAMETER);
        return bulk(code == driver::CTL_BULK_READ, loadLe32(input), output, outLength);
    case driver::CTL_RESET_PIPE:
    case driver::CTL_ABORT_PIPE:
        if (!hasPipe) return failure(driver::ERR_INVALID_PARAMETER);
        return pipeControl(code, loadLe32(input));
    default:
        return failure(driver::ERR_INVALID_FUNCTION);
    }
}

const Endpoint* UsbConnection::endpoint(uint32_t pipe) const {
    const auto& endpoints = device_->identity().endpoints;
    return pipe < endpoints.size() ? &endpoints[pipe] : nullptr;
}

ControlResult UsbConnection::pipeInfo(uint8_t* out, uint32_t outLength) {
    if (outLength < driver::PIPE_INFO_LENGTH) return failure(driver::ERR_INVALID_PARAMETER);
    // The record comes from the descriptors read at open; the driver
    // answers it only for a device still on the bus.
    if (!device_->present()) return failure(driver::ERR_DEVICE_NOT_CONNECTED);
    const DeviceIdentity& device = device_->identity();
    const auto pipes = static_cast<uint32_t>(device.endpoints.size());
    const uint32_t room = (driver::PIPE_INFO_LENGTH - PIPE_RECORD_OFFSET) / PIPE_RECORD_LENGTH;
    const uint32_t listed = std::min(pipes, room);
    std::fill_n(out, driver::PIPE_INFO_LENGTH, uint8_t{0});
    storeLe16(out, static_cast<uint16_t>(PIPE_RECORD_OFFSET + listed * PIPE_RECORD_LENGTH));
    out[4] = device.interfaceClass;
    out[5] = device.interfaceSubClass;
    out[6] = device.interfaceProtocol;
    storeLe32(out + driver::PIPE_INFO_COUNT_OFFSET, pipes);
    for (uint32_t i = 0; i < listed; ++i) {
        const Endpoint& endpoint = device.endpoints[i];
        uint8_t* record = out + PIPE_RECORD_OFFSET + i * PIPE_RECORD_LENGTH;
        storeLe16(record, endpoint.maxPacketSize);
        record[2] = endpoint.address;
        record[3] = endpoint.interval;
        storeLe32(record + 4, static_cast<uint32_t>(endpoint.type));
        storeLe32(record + 8, PIPE_HANDLE_BASE + i);
        storeLe32(record + 12, MAX_TRANSFER_SIZE);
    }
    return success(driver::PIPE_INFO_LENGTH);
}

ControlResult UsbConnection::vendorRequest(const uint8_t* in, uint32_t inLength, uint8_t* out,
                                           uint32_t outLength) {
    if (inLength < driver::VENDOR_REQUEST_LENGTH) return failure(driver::ERR_INVALID_PARAMETER);
    const bool toHost = in[driver::VR_DIRECTION] != 0;
    const uint16_t length = loadLe16(in + driver::VR_LENGTH);
    ControlSetup setup;
    setup.requestType = toHost ? REQUEST_TYPE_VENDOR_IN : REQUEST_TYPE_VENDOR_OUT;
    setup.request = in[driver::VR_REQUEST];
    setup.value = loadLe16(in + driver::VR_VALUE);
    setup.index = loadLe16(in + driver::VR_INDEX);
    if (toHost) {
        if (outLength < length) return failure(driver::ERR_INVALID_PARAMETER);
        return fromUsb(device_->control(setup, out, length, CONTROL_TIMEOUT_MS));
    }
    // Host to device: the record carries one data byte, sent when the
    // request has a data stage.
    if (length > 1) return failure(driver::ERR_INVALID_PARAMETER);
    uint8_t data = in[driver::VR_DATA];
    const UsbResult result = device_->control(setup, length ? &data : nullptr, length, CONTROL_TIMEOUT_MS);
    return result.ok() ? success() : failure(driverError(result.status));
}

ControlResult UsbConnection::download(const uint8_t* in, uint32_t inLength, const uint8_t* image,
                                      uint32_t length) {
    if (inLength < 2) return failure(driver::ERR_INVALID_PARAMETER);
    const uint32_t offset = loadLe16(in);
    if (length > CONTROLLER_MEMORY - offset) return failure(driver::ERR_INVALID_PARAMETER);
    ControlSetup setup;
    setup.requestType = REQUEST_TYPE_VENDOR_OUT;
    setup.request = driver::EZUSB_FIRMWARE_LOAD;
    std::vector<uint8_t> chunk;
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = std::min(DOWNLOAD_CHUNK, length - done);
        chunk.assign(image + done, image + done + n);
        setup.value = static_cast<uint16_t>(offset + done);
        const UsbResult result = device_->control(setup, chunk.data(), static_cast<uint16_t>(n), CONTROL_TIMEOUT_MS);
        if (!result.ok()) return failure(driverError(result.status));
        if (result.bytes != n) return failure(ERR_GEN_FAILURE);
        done += n;
    }
    return success(length);
}

ControlResult UsbConnection::bulk(bool read, uint32_t pipe, uint8_t* data, uint32_t length) {
    const Endpoint* target = endpoint(pipe);
    if (!target || target->type != EndpointType::Bulk || target->isIn() != read)
        return failure(driver::ERR_INVALID_PARAMETER);
    std::promise<UsbResult> finished;
    auto result = finished.get_future();
    device_->submitBulk(target->address, data, length, [&finished](UsbResult r) { finished.set_value(r); });
    return fromUsb(result.get());
}

ControlResult UsbConnection::pipeControl(uint32_t code, uint32_t pipe) {
    const Endpoint* target = endpoint(pipe);
    if (!target) return failure(driver::ERR_INVALID_PARAMETER);
    if (code == driver::CTL_ABORT_PIPE) {
        device_->cancelBulk(target->address);
        return success();
    }
    return fromUsb(device_->clearHalt(target->address));
}

}  // namespace kestrel::platform::usb
