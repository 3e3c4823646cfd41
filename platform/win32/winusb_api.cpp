// The system's side of the WinUSB transport's function table: device paths
// through SetupAPI, the rest straight from kernel32 and winusb.dll.
#include "platform/win32/winusb_api.h"

#include <setupapi.h>

#include <cwchar>

namespace kestrel::platform::win32 {

// {5E9A1C2B-7F41-4D6A-9B3E-2C8D0F6A4B17}
const GUID KESTREL_WINUSB_INTERFACE = {0x5e9a1c2b, 0x7f41, 0x4d6a, {0x9b, 0x3e, 0x2c, 0x8d, 0x0f, 0x6a, 0x4b, 0x17}};
// The hub driver's class of every USB device.
const GUID USB_DEVICE_INTERFACE = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

namespace {

// Owns a device information set.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (valid()) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    HDEVINFO get() const { return set_; }
    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

// The interface's path and its device's location; false when SetupAPI
// cannot tell the path.
bool describePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData, UsbDevicePath& out) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
    std::vector<unsigned char> storage(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, needed, nullptr, &device)) return false;
    out.path = detail->DevicePath;
    wchar_t location[128] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_LOCATION_INFORMATION, nullptr,
                                          reinterpret_cast<PBYTE>(location), sizeof location - sizeof(wchar_t),
                                          nullptr))
        parseLocation(location, out.hub, out.port);
    return true;
}

std::vector<UsbDevicePath> systemDevicePaths(const GUID& guid) {
    std::vector<UsbDevicePath> paths;
    const DeviceInfoSet set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) return paths;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, i, &interfaceData); ++i) {
        UsbDevicePath path;
        if (describePath(set.get(), interfaceData, path)) paths.push_back(std::move(path));
    }
    return paths;
}

uint8_t numberAfter(const std::wstring& text, const wchar_t* key) {
    const size_t at = text.find(key);
    if (at == std::wstring::npos) return 0;
    unsigned long value = 0;
    for (size_t i = at + std::wcslen(key); i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + static_cast<unsigned long>(text[i] - L'0');
        if (value > 255) return 0;
    }
    return static_cast<uint8_t>(value);
}

}  // namespace

void parseLocation(const std::wstring& location, uint8_t& hub, uint8_t& port) {
    hub = numberAfter(location, L"Hub_#");
    port = numberAfter(location, L"Port_#");
}

const WinUsbApi& systemWinUsbApi() {
    static const WinUsbApi api = [] {
        WinUsbApi a;
        a.devicePaths = systemDevicePaths;
        a.openFile = [](LPCWSTR path) {
            return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        };
        a.closeHandle = CloseHandle;
        a.initialize = WinUsb_Initialize;
        a.free = WinUsb_Free;
        a.getDescriptor = WinUsb_GetDescriptor;
        a.queryInterfaceSettings = WinUsb_QueryInterfaceSettings;
        a.queryPipe = WinUsb_QueryPipe;
        a.setPipePolicy = WinUsb_SetPipePolicy;
        a.controlTransfer = [](WINUSB_INTERFACE_HANDLE h, WINUSB_SETUP_PACKET setup, PUCHAR data, ULONG length,
                               PULONG moved) { return WinUsb_ControlTransfer(h, setup, data, length, moved, nullptr); };
        a.readPipe = [](WINUSB_INTERFACE_HANDLE h, UCHAR pipe, PUCHAR data, ULONG length, LPOVERLAPPED o) {
            return WinUsb_ReadPipe(h, pipe, data, length, nullptr, o);
        };
        a.writePipe = [](WINUSB_INTERFACE_HANDLE h, UCHAR pipe, PUCHAR data, ULONG length, LPOVERLAPPED o) {
            return WinUsb_WritePipe(h, pipe, data, length, nullptr, o);
        };
        a.overlappedResult = [](WINUSB_INTERFACE_HANDLE h, LPOVERLAPPED o, LPDWORD moved) {
            return WinUsb_GetOverlappedResult(h, o, moved, FALSE);
        };
        a.abortPipe = WinUsb_AbortPipe;
        a.resetPipe = WinUsb_ResetPipe;
        a.lastError = GetLastError;
        return a;
    }();
    return api;
}

}  // namespace kestrel::platform::win32
