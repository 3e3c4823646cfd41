// The Windows calls the WinUSB transport makes, as one table of function
// pointers: the transport reaches SetupAPI, CreateFile and WinUSB only
// through it, so that a test can put a scripted device behind the
// transport (pending transfers, aborts, a device that leaves the bus).
//
// A device path is listed with where it sits: `hub` and `port` from the
// location SetupAPI reports ("Port_#0002.Hub_#0001"), 0 when unknown; they
// stand for the bus and the address in the transport's identities.
#pragma once

#include "platform/usb/usb_transport.h"
#include "platform/win32/win32.h"

#include <winusb.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::platform::win32 {

struct UsbDevicePath {
    std::wstring path;
    uint8_t hub = 0;
    uint8_t port = 0;
};

// std::function rather than bare pointers, so that a test's fake can keep
// its state in the test instead of in globals.
struct WinUsbApi {
    // The interface paths present now of the device interface class `guid`.
    std::function<std::vector<UsbDevicePath>(const GUID& guid)> devicePaths;
    std::function<HANDLE(LPCWSTR path)> openFile;  // overlapped, read/write, shared
    std::function<BOOL(HANDLE)> closeHandle;
    std::function<BOOL(HANDLE, PWINUSB_INTERFACE_HANDLE)> initialize;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE)> free;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR, USHORT, PUCHAR, ULONG, PULONG)> getDescriptor;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, PUSB_INTERFACE_DESCRIPTOR)> queryInterfaceSettings;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR, PWINUSB_PIPE_INFORMATION)> queryPipe;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, ULONG, ULONG, PVOID)> setPipePolicy;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, WINUSB_SETUP_PACKET, PUCHAR, ULONG, PULONG)> controlTransfer;
    // Overlapped: FALSE with ERROR_IO_PENDING while the transfer runs; its
    // end sets the OVERLAPPED's event.
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR, ULONG, LPOVERLAPPED)> readPipe;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR, ULONG, LPOVERLAPPED)> writePipe;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, LPOVERLAPPED, LPDWORD)> overlappedResult;  // does not wait
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR)> abortPipe;
    std::function<BOOL(WINUSB_INTERFACE_HANDLE, UCHAR)> resetPipe;
    std::function<DWORD()> lastError;
};

// The system's SetupAPI, kernel32 and winusb.dll.
[[nodiscard]] const WinUsbApi& systemWinUsbApi();

// The device interface class the Kestrel's WinUSB binding (README) gives
// it; the transport also looks at every USB device (the hub driver's
// class), where a device bound to WinUSB by a generic tool shows up.
extern const GUID KESTREL_WINUSB_INTERFACE;
extern const GUID USB_DEVICE_INTERFACE;

// "Port_#0002.Hub_#0001" -> hub 1, port 2; zeros for what is not there.
void parseLocation(const std::wstring& location, uint8_t& hub, uint8_t& port);

// WinUSB's (Win32) error codes as the transport's statuses.
[[nodiscard]] platform::usb::UsbStatus statusOfWin32Error(DWORD error);

[[nodiscard]] std::shared_ptr<platform::usb::UsbTransport> makeWinUsbTransport(const WinUsbApi& api);

}  // namespace kestrel::platform::win32
