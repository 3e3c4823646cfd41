// The device driver's I/O control interface: control codes, pipe indices,
// access and share flags, and the error codes the driver reports. This is
// the contract between the product and whatever answers for the device
// (the kernel driver, or the simulated Kestrel).
#pragma once

#include <cstdint>

namespace kestrel::driver {

// Control codes (device type 0x22, any access). (code & 3) is the transfer
// method: 1 (direct in) means the driver reads the caller's output buffer.
inline constexpr uint32_t CTL_GET_PIPE_INFO  = 0x222000;  // out: 1024 bytes, pipe count at 12
inline constexpr uint32_t CTL_VENDOR_REQUEST = 0x222014;  // in: VendorRequest (10 bytes)
inline constexpr uint32_t CTL_RESET_PIPE     = 0x222035;  // in: 32-bit pipe index
inline constexpr uint32_t CTL_ABORT_PIPE     = 0x22203D;  // in: 32-bit pipe index
inline constexpr uint32_t CTL_BULK_READ      = 0x22204E;  // in: pipe index; out: data
inline constexpr uint32_t CTL_BULK_WRITE     = 0x222051;  // in: pipe index; out buffer: data to send
inline constexpr uint32_t CTL_DOWNLOAD       = 0x22206D;  // in: 16-bit offset; out buffer: image

// True when the driver reads the caller's output buffer instead of filling it.
constexpr bool driverReadsOutput(uint32_t code) { return (code & 3) == 1; }

inline constexpr uint32_t PIPE_DATA_OUT = 0;
inline constexpr uint32_t PIPE_DATA_IN  = 1;
inline constexpr uint32_t PIPE_COMMAND  = 3;
inline constexpr uint32_t PIPE_STATUS   = 5;
inline constexpr uint32_t PIPE_COUNT    = 6;

inline constexpr uint32_t PIPE_INFO_LENGTH       = 1024;
inline constexpr uint32_t PIPE_INFO_COUNT_OFFSET = 12;

// VendorRequest record, 10 bytes little-endian.
inline constexpr uint32_t VENDOR_REQUEST_LENGTH = 10;
inline constexpr uint32_t VR_REQUEST   = 0;
inline constexpr uint32_t VR_VALUE     = 2;
inline constexpr uint32_t VR_INDEX     = 4;
inline constexpr uint32_t VR_LENGTH    = 6;
inline constexpr uint32_t VR_DIRECTION = 8;
inline constexpr uint32_t VR_DATA      = 9;

// The controller's firmware load request and its CPU control register.
inline constexpr uint8_t  EZUSB_FIRMWARE_LOAD = 0xA0;
inline constexpr uint16_t EZUSB_CPUCS         = 0x7F92;

// Access and share flags of an open, with the Win32 values.
inline constexpr uint32_t ACCESS_READ  = 0x80000000u;
inline constexpr uint32_t ACCESS_WRITE = 0x40000000u;
inline constexpr uint32_t SHARE_READ   = 1;
inline constexpr uint32_t SHARE_WRITE  = 2;

// Errors as the driver reports them (Win32 values).
inline constexpr uint32_t ERR_INVALID_FUNCTION  = 1;     // unknown control code
inline constexpr uint32_t ERR_FILE_NOT_FOUND    = 2;     // device absent or re-enumerating
inline constexpr uint32_t ERR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERR_OPERATION_ABORTED = 995;   // pipe aborted
inline constexpr uint32_t ERR_DEVICE_NOT_CONNECTED = 1167;  // handle of a device that left the bus

// The device name the product opens, and the prefix of a device path.
inline constexpr const char* DEVICE_PATH_PREFIX = "\\\\.\\";
inline constexpr const char* DEVICE_NAME = "QlxUsb-0";

}  // namespace kestrel::driver
