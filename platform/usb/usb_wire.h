// The simulator's USB face carried over KSIM: a handle opened by the name
// USB_FACE_NAME takes the requests below instead of the driver interface's
// control codes, so that a process reaches the daemon's device through the
// USB transport (lists, opens, control and bulk transfers, cancels) rather
// than through its driver handles. All integers little-endian.
//
//   USB_LIST        out: count (4), then each device's identity
//   USB_OPEN        in: the listed identity; out: device id (4), identity
//   USB_CONTROL_IN  in: id, setup, timeout; out: the data stage
//   USB_CONTROL_OUT in: id, setup, timeout; output buffer: the data stage
//   USB_BULK_IN     in: id, endpoint; out: the data (blocks until it ends)
//   USB_BULK_OUT    in: id, endpoint; output buffer: the data
//   USB_CANCEL, USB_CLEAR_HALT, USB_PRESENT
//                   in: id, endpoint (USB_PRESENT out: 1 byte, 1 = there)
//
// A request that fails reports error USB_STATUS_BASE + its UsbStatus. A
// device id belongs to the handle that opened it: closing that handle
// closes the device.
#pragma once

#include "platform/usb/usb_transport.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel::platform::usb::wire {

inline constexpr const char* USB_FACE_NAME = "KestrelUsb";

// (code & 3) == 1: the client sends its output buffer (see ksim_protocol.h).
inline constexpr uint32_t USB_LIST = 0x22F100;
inline constexpr uint32_t USB_OPEN = 0x22F104;
inline constexpr uint32_t USB_CONTROL_IN = 0x22F108;
inline constexpr uint32_t USB_CONTROL_OUT = 0x22F10D;
inline constexpr uint32_t USB_BULK_IN = 0x22F110;
inline constexpr uint32_t USB_BULK_OUT = 0x22F115;
inline constexpr uint32_t USB_CANCEL = 0x22F118;
inline constexpr uint32_t USB_CLEAR_HALT = 0x22F11C;
inline constexpr uint32_t USB_PRESENT = 0x22F120;

inline constexpr uint32_t USB_STATUS_BASE = 0xE5B00000;

inline constexpr uint32_t CONTROL_REQUEST_LENGTH = 16;  // id, type, request, value, index, length, timeout
inline constexpr uint32_t ENDPOINT_REQUEST_LENGTH = 5;  // id, endpoint
inline constexpr uint32_t MAX_ENDPOINTS = 30;           // one interface: 15 IN and 15 OUT
inline constexpr uint32_t IDENTITY_HEADER = 10;
inline constexpr uint32_t ENDPOINT_RECORD = 5;
inline constexpr uint32_t MAX_IDENTITY = IDENTITY_HEADER + MAX_ENDPOINTS * ENDPOINT_RECORD;
inline constexpr uint32_t MAX_DEVICES = 16;
inline constexpr uint32_t MAX_LIST = 4 + MAX_DEVICES * MAX_IDENTITY;

// Appends the identity's record.
void putIdentity(std::vector<uint8_t>& out, const DeviceIdentity& device);
// Reads one record at `at`, advancing it; none when the bytes end too soon
// or name more endpoints than an interface has.
[[nodiscard]] std::optional<DeviceIdentity> takeIdentity(const uint8_t* data, size_t length, size_t& at);

struct ControlRequest {
    uint32_t device = 0;
    ControlSetup setup;
    uint16_t length = 0;
    uint32_t timeoutMs = 0;
};
void putControl(uint8_t (&out)[CONTROL_REQUEST_LENGTH], const ControlRequest& request);
[[nodiscard]] ControlRequest takeControl(const uint8_t (&in)[CONTROL_REQUEST_LENGTH]);

[[nodiscard]] uint32_t errorOf(UsbStatus status);
// A failed request's error as a status: the face's own, else Gone for a
// handle whose connection broke (1167), else Error.
[[nodiscard]] UsbStatus statusOfError(uint32_t error);

}  // namespace kestrel::platform::usb::wire
