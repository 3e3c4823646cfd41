// A scripted WinUSB behind the WinUSB transport's function table: device
// paths, handles that must all be closed, overlapped bulk transfers that
// stay pending until answered, aborted or the device leaves, and failures
// injected per call. Errors travel through the thread's real last error.
#pragma once

#include "platform/win32/winusb_api.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace kestrel::platform::win32::test {

struct FakeWinUsbDevice {
    UsbDevicePath path;  // also listed under the Kestrel's interface class when `ownClass`
    bool ownClass = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::vector<uint8_t> pipes;  // endpoint addresses, bulk, 64-byte packets
};

class FakeWinUsb {
public:
    FakeWinUsb();
    const WinUsbApi& api() const { return api_; }

    // Test side (thread-safe).
    void add(FakeWinUsbDevice device);
    void answer(std::vector<uint8_t> bytes);  // the next IN transfer's data
    void leave(DWORD error);                   // pending transfers and every later call fail with `error`
    bool waitPending(size_t count);            // real time, bounded
    size_t pending();

    // Failures to inject (0: none).
    DWORD openError = 0;
    DWORD initializeError = 0;
    DWORD queryPipeError = 0;

    // What happened.
    int filesOpened = 0;
    int filesClosed = 0;
    int interfacesOpened = 0;
    int interfacesFreed = 0;
    std::vector<std::wstring> openedPaths;
    std::vector<WINUSB_SETUP_PACKET> controls;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> writes;
    std::vector<uint8_t> aborted;
    std::vector<uint8_t> reset;
    int transfersStarted = 0;

private:
    struct Transfer {
        uint8_t pipe;
        PUCHAR data;
        ULONG length;
        bool finished = false;
        DWORD error = 0;
        ULONG moved = 0;
    };
    BOOL failWith(DWORD error);
    const FakeWinUsbDevice* deviceOf(WINUSB_INTERFACE_HANDLE handle);
    void finish(OVERLAPPED* overlapped, Transfer& transfer, DWORD error, ULONG moved);
    void serve();  // answers pending IN transfers; mutex held

    WinUsbApi api_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<FakeWinUsbDevice> devices_;
    std::map<HANDLE, size_t> files_;                      // open file -> device index
    std::map<WINUSB_INTERFACE_HANDLE, size_t> interfaces_;  // open interface -> device index
    std::map<OVERLAPPED*, Transfer> transfers_;
    std::deque<std::vector<uint8_t>> answers_;
    DWORD goneError_ = 0;
    uintptr_t nextHandle_ = 0x100;
};

}  // namespace kestrel::platform::win32::test
