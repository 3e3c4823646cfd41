#include "tests/usb/fake_winusb.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kestrel::platform::win32::test {

FakeWinUsb::FakeWinUsb() {
    api_.devicePaths = [this](const GUID& guid) {
        std::lock_guard lock(mutex_);
        std::vector<UsbDevicePath> paths;
        for (const auto& d : devices_) {
            if (IsEqualGUID(guid, USB_DEVICE_INTERFACE)) paths.push_back(d.path);
            // The same device under its own class: the same instance, another
            // class at the end of its path, and in other case.
            if (IsEqualGUID(guid, KESTREL_WINUSB_INTERFACE) && d.ownClass) {
                UsbDevicePath own = d.path;
                own.path = own.path.substr(0, own.path.rfind(L'#')) + L"#{5e9a1c2b-7f41-4d6a-9b3e-2c8d0f6a4b17}";
                for (auto& c : own.path) c = static_cast<wchar_t>(std::towupper(c));
                paths.push_back(own);
            }
        }
        return paths;
    };
    api_.openFile = [this](LPCWSTR path) -> HANDLE {
        std::lock_guard lock(mutex_);
        openedPaths.push_back(path);
        if (openError) return SetLastError(openError), INVALID_HANDLE_VALUE;
        // Either class's path of a device opens it.
        const std::wstring wanted(path);
        const std::wstring instance = wanted.substr(0, wanted.rfind(L'#'));
        for (size_t i = 0; i < devices_.size(); ++i) {
            const std::wstring& own = devices_[i].path.path;
            if (_wcsicmp(own.substr(0, own.rfind(L'#')).c_str(), instance.c_str()) != 0) continue;
            auto handle = reinterpret_cast<HANDLE>(nextHandle_++);
            files_[handle] = i;
            ++filesOpened;
            return handle;
        }
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    };
    api_.closeHandle = [this](HANDLE handle) -> BOOL {
        std::lock_guard lock(mutex_);
        if (!files_.erase(handle)) return failWith(ERROR_INVALID_HANDLE);
        ++filesClosed;
        return TRUE;
    };
    api_.initialize = [this](HANDLE file, PWINUSB_INTERFACE_HANDLE out) -> BOOL {
        std::lock_guard lock(mutex_);
        if (initializeError) return failWith(initializeError);
        const auto it = files_.find(file);
        if (it == files_.end()) return failWith(ERROR_INVALID_HANDLE);
        *out = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(nextHandle_++);
        interfaces_[*out] = it->second;
        ++interfacesOpened;
        return TRUE;
    };
    api_.free = [this](WINUSB_INTERFACE_HANDLE handle) -> BOOL {
        std::lock_guard lock(mutex_);
        if (!interfaces_.erase(handle)) return failWith(ERROR_INVALID_HANDLE);
        ++interfacesFreed;
        return TRUE;
    };
    api_.getDescriptor = [this](WINUSB_INTERFACE_HANDLE h, UCHAR type, UCHAR, USHORT, PUCHAR buffer, ULONG length,
                                PULONG moved) -> BOOL {
        std::lock_guard lock(mutex_);
        const auto* d = deviceOf(h);
        if (!d) return failWith(goneError_ ? goneError_ : ERROR_INVALID_HANDLE);
        if (type != USB_DEVICE_DESCRIPTOR_TYPE || length < sizeof(USB_DEVICE_DESCRIPTOR))
            return failWith(ERROR_INVALID_PARAMETER);
        USB_DEVICE_DESCRIPTOR descriptor{};
        descriptor.bLength = sizeof descriptor;
        descriptor.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
        descriptor.idVendor = d->vendorId;
        descriptor.idProduct = d->productId;
        std::memcpy(buffer, &descriptor, sizeof descriptor);
        *moved = sizeof descriptor;
        return TRUE;
    };
    api_.queryInterfaceSettings = [this](WINUSB_INTERFACE_HANDLE h, UCHAR setting,
                                         PUSB_INTERFACE_DESCRIPTOR out) -> BOOL {
        std::lock_guard lock(mutex_);
        const auto* d = deviceOf(h);
        if (!d || setting != 0) return failWith(ERROR_NO_MORE_ITEMS);
        *out = USB_INTERFACE_DESCRIPTOR{};
        out->bInterfaceClass = 0xFF;
        out->bNumEndpoints = static_cast<UCHAR>(d->pipes.size());
        return TRUE;
    };
    api_.queryPipe = [this](WINUSB_INTERFACE_HANDLE h, UCHAR, UCHAR index, PWINUSB_PIPE_INFORMATION out) -> BOOL {
        std::lock_guard lock(mutex_);
        const auto* d = deviceOf(h);
        if (queryPipeError) return failWith(queryPipeError);
        if (!d || index >= d->pipes.size()) return failWith(ERROR_NO_MORE_ITEMS);
        *out = WINUSB_PIPE_INFORMATION{UsbdPipeTypeBulk, d->pipes[index], 64, 0};
        return TRUE;
    };
    api_.setPipePolicy = [](WINUSB_INTERFACE_HANDLE, UCHAR, ULONG, ULONG, PVOID) -> BOOL { return TRUE; };
    api_.controlTransfer = [this](WINUSB_INTERFACE_HANDLE h, WINUSB_SETUP_PACKET setup, PUCHAR data, ULONG length,
                                  PULONG moved) -> BOOL {
        std::lock_guard lock(mutex_);
        if (goneError_) return failWith(goneError_);
        if (!deviceOf(h)) return failWith(ERROR_INVALID_HANDLE);
        controls.push_back(setup);
        if (setup.RequestType & 0x80) std::memset(data, 0x5A, length);
        *moved = length;
        return TRUE;
    };
    const auto start = [this](WINUSB_INTERFACE_HANDLE h, UCHAR pipe, PUCHAR data, ULONG length,
                              LPOVERLAPPED overlapped) -> BOOL {
        std::lock_guard lock(mutex_);
        if (goneError_) return failWith(goneError_);
        if (!deviceOf(h)) return failWith(ERROR_INVALID_HANDLE);
        ++transfersStarted;
        ResetEvent(overlapped->hEvent);
        Transfer& transfer = transfers_[overlapped] = Transfer{pipe, data, length};
        if (!(pipe & 0x80)) {
            writes.emplace_back(pipe, std::vector<uint8_t>(data, data + length));
            finish(overlapped, transfer, 0, length);
        }
        serve();
        return failWith(ERROR_IO_PENDING);
    };
    api_.readPipe = start;
    api_.writePipe = start;
    api_.overlappedResult = [this](WINUSB_INTERFACE_HANDLE, LPOVERLAPPED overlapped, LPDWORD moved) -> BOOL {
        std::lock_guard lock(mutex_);
        const auto it = transfers_.find(overlapped);
        if (it == transfers_.end() || !it->second.finished)
            return failWith(it == transfers_.end() ? ERROR_INVALID_PARAMETER : ERROR_IO_INCOMPLETE);
        const Transfer transfer = it->second;
        transfers_.erase(it);
        changed_.notify_all();
        *moved = transfer.moved;
        if (transfer.error) return failWith(transfer.error);
        return TRUE;
    };
    api_.abortPipe = [this](WINUSB_INTERFACE_HANDLE h, UCHAR pipe) -> BOOL {
        std::lock_guard lock(mutex_);
        if (!deviceOf(h)) return failWith(ERROR_INVALID_HANDLE);
        aborted.push_back(pipe);
        for (auto& [overlapped, transfer] : transfers_)
            if (transfer.pipe == pipe && !transfer.finished) finish(overlapped, transfer, ERROR_OPERATION_ABORTED, 0);
        return TRUE;
    };
    api_.resetPipe = [this](WINUSB_INTERFACE_HANDLE h, UCHAR pipe) -> BOOL {
        std::lock_guard lock(mutex_);
        if (goneError_) return failWith(goneError_);
        if (!deviceOf(h)) return failWith(ERROR_INVALID_HANDLE);
        reset.push_back(pipe);
        return TRUE;
    };
    api_.lastError = GetLastError;
}

BOOL FakeWinUsb::failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

const FakeWinUsbDevice* FakeWinUsb::deviceOf(WINUSB_INTERFACE_HANDLE handle) {
    const auto it = interfaces_.find(handle);
    return it == interfaces_.end() ? nullptr : &devices_[it->second];
}

void FakeWinUsb::finish(OVERLAPPED* overlapped, Transfer& transfer, DWORD error, ULONG moved) {
    transfer.finished = true;
    transfer.error = error;
    transfer.moved = moved;
    SetEvent(overlapped->hEvent);
    changed_.notify_all();
}

void FakeWinUsb::serve() {
    for (auto& [overlapped, transfer] : transfers_) {
        if (answers_.empty()) return;
        if (transfer.finished || !(transfer.pipe & 0x80)) continue;
        const auto& bytes = answers_.front();
        const ULONG n = std::min<ULONG>(transfer.length, static_cast<ULONG>(bytes.size()));
        std::memcpy(transfer.data, bytes.data(), n);
        answers_.pop_front();
        finish(overlapped, transfer, 0, n);
    }
}

void FakeWinUsb::add(FakeWinUsbDevice device) {
    std::lock_guard lock(mutex_);
    devices_.push_back(std::move(device));
}

void FakeWinUsb::answer(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(bytes));
    serve();
}

void FakeWinUsb::leave(DWORD error) {
    std::lock_guard lock(mutex_);
    goneError_ = error;
    for (auto& [overlapped, transfer] : transfers_)
        if (!transfer.finished) finish(overlapped, transfer, error, 0);
}

size_t FakeWinUsb::pending() {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(transfers_.begin(), transfers_.end(),
                                             [](const auto& t) { return !t.second.finished; }));
}

bool FakeWinUsb::waitPending(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
        return static_cast<size_t>(std::count_if(transfers_.begin(), transfers_.end(), [](const auto& t) {
                   return !t.second.finished;
               })) >= count;
    });
}

}  // namespace kestrel::platform::win32::test
