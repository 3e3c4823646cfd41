// DeviceFileStream: the contents of one device file as the IStream that
// "FileContents" hands to Explorer. Reading, seeking and CopyTo (with a
// progress dialog of its own) work on the device file; writing is not
// supported. The device file is closed when the last reference goes.
// Requests that come while the cancel guard is up are refused.
#pragma once

#include "shellext/device_files.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext {

inline constexpr int32_t OPEN_FOR_STREAM = 0x10000;
inline constexpr uint32_t MAX_DEVICE_TRANSFER = 65408;  // one _read or _write

class DeviceFileStream final : public IStream, LiveObject {
public:
    // A stream without a file; null when it cannot be made.
    static DeviceFileStream* create(DeviceFiles& device);

    // Opens `path` with `flags`: S_OK; S_FALSE (no file) when the cancel
    // guard refuses; STG_E_ACCESSDENIED (no file) when the device refuses.
    HRESULT open(const std::string& path, int32_t flags);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* destination, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override;

private:
    explicit DeviceFileStream(DeviceFiles& device) : device_(device) {}
    ~DeviceFileStream();
    bool isOpen() const { return fd_ != 0 && fd_ != -1; }
    // Reads `count` bytes in pieces the device takes; the number read.
    ULONG readDevice(uint8_t* buffer, ULONG count);

    DeviceFiles& device_;
    int32_t fd_ = 0;
    std::string path_;
    ULONG references_ = 1;
};

}  // namespace kestrel::shellext
