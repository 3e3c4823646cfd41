// The WinUSB transport: Kestrels bound to the WinUSB driver. Every call
// goes through a WinUsbApi table (the system's, or a test's).
//
// Bulk transfers are overlapped: each has its own event and a thread that
// waits for it, so that WinUsb_AbortPipe from any thread ends the pending
// transfer (ERROR_OPERATION_ABORTED) and its completion runs at once.
#include "platform/usb/winusb_transport.h"

#include "platform/usb/usb_selection.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/winusb_api.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cwctype>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace kestrel::platform::win32 {

using platform::usb::BulkDone;
using platform::usb::ControlSetup;
using platform::usb::DeviceIdentity;
using platform::usb::DeviceList;
using platform::usb::EndpointType;
using platform::usb::UsbDevice;
using platform::usb::UsbResult;
using platform::usb::UsbStatus;
using platform::usb::UsbTransport;

namespace {

constexpr UCHAR INTERFACE_SETTING = 0;
constexpr UCHAR DEFAULT_PIPE = 0;
constexpr ULONG PRESENCE_TIMEOUT_MS = 1000;
constexpr UCHAR GET_STATUS = 0;
constexpr DWORD NO_SUCH_DEVICE = 433;  // ERROR_NO_SUCH_DEVICE, not in every SDK's headers

// A file handle closed through the table.
class FileHandle {
public:
    FileHandle(const WinUsbApi& api, HANDLE handle) : api_(&api), handle_(handle) {}
    ~FileHandle() {
        if (valid()) api_->closeHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    const WinUsbApi* api_;
    HANDLE handle_;
};

// A WinUSB interface handle freed through the table.
class InterfaceHandle {
public:
    explicit InterfaceHandle(const WinUsbApi& api) : api_(&api) {}
    ~InterfaceHandle() {
        if (handle_) api_->free(handle_);
    }
    InterfaceHandle(const InterfaceHandle&) = delete;
    InterfaceHandle& operator=(const InterfaceHandle&) = delete;

    WINUSB_INTERFACE_HANDLE get() const { return handle_; }
    PWINUSB_INTERFACE_HANDLE out() { return &handle_; }

private:
    const WinUsbApi* api_;
    WINUSB_INTERFACE_HANDLE handle_ = nullptr;
};

// An open device: the file and, freed before it, the WinUSB interface.
struct OpenDevice {
    explicit OpenDevice(const WinUsbApi& api, HANDLE file) : file(api, file), usb(api) {}
    FileHandle file;
    InterfaceHandle usb;
};

// "...#vid_0547&pid_2131#..." -> the ids; false when the path has none.
bool idsFromPath(const std::wstring& path, uint16_t& vendorId, uint16_t& productId) {
    std::wstring lower;
    for (wchar_t c : path) lower += static_cast<wchar_t>(std::towlower(c));
    unsigned vendor = 0;
    unsigned product = 0;
    const size_t at = lower.find(L"vid_");
    if (at == std::wstring::npos || std::swscanf(lower.c_str() + at, L"vid_%4x&pid_%4x", &vendor, &product) != 2)
        return false;
    vendorId = static_cast<uint16_t>(vendor);
    productId = static_cast<uint16_t>(product);
    return true;
}

// Ids, interface class and endpoints of an opened device, from WinUSB.
bool describe(const WinUsbApi& api, WINUSB_INTERFACE_HANDLE usb, DeviceIdentity& identity) {
    USB_DEVICE_DESCRIPTOR device{};
    ULONG moved = 0;
    if (!api.getDescriptor(usb, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, reinterpret_cast<PUCHAR>(&device), sizeof device,
                           &moved) ||
        moved < sizeof device)
        return false;
    identity.vendorId = device.idVendor;
    identity.productId = device.idProduct;
    USB_INTERFACE_DESCRIPTOR interface{};
    if (!api.queryInterfaceSettings(usb, INTERFACE_SETTING, &interface)) return false;
    identity.interfaceClass = interface.bInterfaceClass;
    identity.interfaceSubClass = interface.bInterfaceSubClass;
    identity.interfaceProtocol = interface.bInterfaceProtocol;
    identity.endpoints.clear();
    for (UCHAR i = 0; i < interface.bNumEndpoints; ++i) {
        WINUSB_PIPE_INFORMATION pipe{};
        if (!api.queryPipe(usb, INTERFACE_SETTING, i, &pipe)) return false;
        identity.endpoints.push_back({pipe.PipeId, static_cast<EndpointType>(pipe.PipeType & 3),
                                      pipe.MaximumPacketSize, pipe.Interval});
    }
    return true;
}

// Opens `path` with WinUSB and describes it; null with `status` set.
std::unique_ptr<OpenDevice> openPath(const WinUsbApi& api, const UsbDevicePath& path, DeviceIdentity& identity,
                                     UsbStatus& status) {
    auto device = std::make_unique<OpenDevice>(api, api.openFile(path.path.c_str()));
    if (!device->file.valid()) {
        status = statusOfWin32Error(api.lastError());
        return nullptr;
    }
    if (!api.initialize(device->file.get(), device->usb.out())) {
        status = statusOfWin32Error(api.lastError());
        return nullptr;
    }
    identity.bus = path.hub;
    identity.address = path.port;
    if (!describe(api, device->usb.get(), identity)) {
        status = statusOfWin32Error(api.lastError());
        if (status == UsbStatus::Ok) status = UsbStatus::Error;
        return nullptr;
    }
    status = UsbStatus::Ok;
    return device;
}

// The device instance a path names: the path without its last part, the
// interface class ("\\?\usb#vid_0547&pid_4b4d#5&1a2b&0&5#{class}"), in
// lower case (Windows compares paths without case).
std::wstring instanceOf(const std::wstring& path) {
    std::wstring key;
    for (wchar_t c : path.substr(0, path.rfind(L'#'))) key += static_cast<wchar_t>(std::towlower(c));
    return key;
}

// The devices of the Kestrel's interface class and of the USB device
// class, each device once though it shows under both classes.
std::vector<UsbDevicePath> allPaths(const WinUsbApi& api) {
    std::vector<UsbDevicePath> paths;
    std::set<std::wstring> seen;
    for (const GUID* guid : {&KESTREL_WINUSB_INTERFACE, &USB_DEVICE_INTERFACE}) {
        for (auto& path : api.devicePaths(*guid))
            if (seen.insert(instanceOf(path.path)).second) paths.push_back(std::move(path));
    }
    return paths;
}

// Whether a device with these ids may be a Kestrel: worth opening to read
// its endpoints (other devices are listed by their ids only).
bool worthOpening(uint16_t vendorId, uint16_t productId) {
    std::string error;
    const auto selection = platform::usb::selectionFromEnvironment(error);
    for (const auto& entry : selection.entries)
        if (entry.vendorId == vendorId && (!entry.productId || *entry.productId == productId)) return true;
    return false;
}

class WinUsbDevice final : public UsbDevice {
public:
    WinUsbDevice(const WinUsbApi& api, std::unique_ptr<OpenDevice> device, DeviceIdentity identity)
        : api_(api), device_(std::move(device)), identity_(std::move(identity)) {}

    ~WinUsbDevice() override {
        std::unique_lock lock(mutex_);
        for (uint8_t endpoint : std::set<uint8_t>(pending_.begin(), pending_.end()))
            api_.abortPipe(device_->usb.get(), endpoint);
        idle_.wait(lock, [this] { return pending_.empty(); });
    }

    const DeviceIdentity& identity() const override { return identity_; }

    UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t timeoutMs) override {
        if (gone_) return {UsbStatus::Gone, 0};
        std::lock_guard lock(controlMutex_);
        if (timeoutMs != controlTimeoutMs_) {
            ULONG value = timeoutMs;
            if (api_.setPipePolicy(device_->usb.get(), DEFAULT_PIPE, PIPE_TRANSFER_TIMEOUT, sizeof value, &value))
                controlTimeoutMs_ = timeoutMs;
        }
        WINUSB_SETUP_PACKET packet{setup.requestType, setup.request, setup.value, setup.index, length};
        ULONG moved = 0;
        if (!api_.controlTransfer(device_->usb.get(), packet, data, length, &moved))
            return fail(statusOfWin32Error(api_.lastError()));
        return {UsbStatus::Ok, moved > length ? length : static_cast<uint32_t>(moved)};
    }

    void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) override {
        if (gone_) return done({UsbStatus::Gone, 0});
        auto transfer = std::make_unique<Transfer>();
        transfer->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!transfer->event.valid()) return done({UsbStatus::Error, 0});
        transfer->overlapped.hEvent = transfer->event.get();
        transfer->done = std::move(done);
        std::unique_lock lock(mutex_);
        const auto& start = (endpoint & 0x80) ? api_.readPipe : api_.writePipe;
        const BOOL finished = start(device_->usb.get(), endpoint, data, length, &transfer->overlapped);
        if (!finished) {
            const DWORD error = api_.lastError();
            if (error != ERROR_IO_PENDING) {
                lock.unlock();
                return transfer->done(fail(statusOfWin32Error(error)));
            }
        }
        pending_.insert(endpoint);
        std::thread(&WinUsbDevice::await, this, endpoint, std::move(transfer)).detach();
    }

    void cancelBulk(uint8_t endpoint) override {
        std::lock_guard lock(mutex_);
        if (pending_.count(endpoint)) api_.abortPipe(device_->usb.get(), endpoint);
    }

    UsbResult clearHalt(uint8_t endpoint) override {
        if (gone_) return {UsbStatus::Gone, 0};
        if (!api_.resetPipe(device_->usb.get(), endpoint)) return fail(statusOfWin32Error(api_.lastError()));
        return {UsbStatus::Ok, 0};
    }

    bool gone() const override { return gone_; }

    bool present() override {
        if (gone_) return false;
        uint8_t status[2];
        const ControlSetup setup{0x80, GET_STATUS, 0, 0};
        (void)control(setup, status, sizeof status, PRESENCE_TIMEOUT_MS);
        return !gone_;
    }

private:
    struct Transfer {
        OVERLAPPED overlapped{};
        UniqueHandle event;
        BulkDone done;
    };

    UsbResult fail(UsbStatus status) {
        if (status == UsbStatus::Gone) gone_ = true;
        return {status, 0};
    }

    // On the transfer's own thread: waits for its end, then reports it.
    void await(uint8_t endpoint, std::unique_ptr<Transfer> transfer) {
        WaitForSingleObject(transfer->event.get(), INFINITE);
        DWORD moved = 0;
        UsbResult result{UsbStatus::Ok, 0};
        if (api_.overlappedResult(device_->usb.get(), &transfer->overlapped, &moved))
            result.bytes = moved;
        else
            result = fail(statusOfWin32Error(api_.lastError()));
        BulkDone done = std::move(transfer->done);
        {
            std::lock_guard lock(mutex_);
            pending_.erase(pending_.find(endpoint));
            idle_.notify_all();
        }
        // `this` may be gone from here on; `done` does not need it.
        done(result);
    }

    const WinUsbApi& api_;
    std::unique_ptr<OpenDevice> device_;
    DeviceIdentity identity_;
    std::mutex controlMutex_;
    uint32_t controlTimeoutMs_ = 0;  // 0: WinUSB's default, none
    std::mutex mutex_;
    std::condition_variable idle_;
    std::multiset<uint8_t> pending_;  // the endpoint of every pending transfer
    std::atomic<bool> gone_{false};
};

class WinUsbTransport final : public UsbTransport {
public:
    explicit WinUsbTransport(const WinUsbApi& api) : api_(api) {}

    std::string name() const override { return "winusb"; }

    DeviceList list() override {
        DeviceList list;
        std::string unopened;
        for (const auto& path : allPaths(api_)) {
            DeviceIdentity identity;
            identity.bus = path.hub;
            identity.address = path.port;
            if (!idsFromPath(path.path, identity.vendorId, identity.productId)) continue;
            if (!worthOpening(identity.vendorId, identity.productId)) {
                list.devices.push_back(std::move(identity));
                continue;
            }
            UsbStatus status = UsbStatus::Error;
            if (openPath(api_, path, identity, status)) {
                list.devices.push_back(std::move(identity));
                continue;
            }
            char line[128];
            std::snprintf(line, sizeof line, "%s%04x:%04x at hub %u port %u cannot be opened with WinUSB (%s)",
                          unopened.empty() ? "" : "; ", identity.vendorId, identity.productId,
                          static_cast<unsigned>(path.hub), static_cast<unsigned>(path.port),
                          status == UsbStatus::NotFound || status == UsbStatus::Error
                              ? "not bound to the WinUSB driver: see the README"
                              : platform::usb::statusName(status));
            unopened += line;
        }
        list.why = unopened;
        if (list.why.empty() && list.devices.empty()) list.why = "no USB device bound to WinUSB";
        return list;
    }

    std::unique_ptr<UsbDevice> open(const DeviceIdentity& wanted, UsbStatus& status) override {
        status = UsbStatus::NotFound;
        for (const auto& path : allPaths(api_)) {
            uint16_t vendorId = 0;
            uint16_t productId = 0;
            if (!idsFromPath(path.path, vendorId, productId) || path.hub != wanted.bus ||
                path.port != wanted.address || vendorId != wanted.vendorId || productId != wanted.productId)
                continue;
            DeviceIdentity identity;
            auto device = openPath(api_, path, identity, status);
            if (!device) return nullptr;
            return std::make_unique<WinUsbDevice>(api_, std::move(device), std::move(identity));
        }
        return nullptr;
    }

private:
    const WinUsbApi& api_;
};

}  // namespace

UsbStatus statusOfWin32Error(DWORD error) {
    switch (error) {
    case ERROR_SUCCESS: return UsbStatus::Ok;
    case ERROR_DEVICE_NOT_CONNECTED:
    case NO_SUCH_DEVICE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_COMMAND: return UsbStatus::Gone;
    case ERROR_OPERATION_ABORTED: return UsbStatus::Cancelled;
    case ERROR_SEM_TIMEOUT: return UsbStatus::Timeout;
    case ERROR_GEN_FAILURE: return UsbStatus::Stall;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return UsbStatus::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return UsbStatus::NotFound;
    default: return UsbStatus::Error;
    }
}

std::shared_ptr<UsbTransport> makeWinUsbTransport(const WinUsbApi& api) {
    return std::make_shared<WinUsbTransport>(api);
}

}  // namespace kestrel::platform::win32

namespace kestrel::platform::usb {

std::shared_ptr<UsbTransport> makeWinUsbTransport() {
    return win32::makeWinUsbTransport(win32::systemWinUsbApi());
}

}  // namespace kestrel::platform::usb
