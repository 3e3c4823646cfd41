// DeviceFileStream: opening, the IStream methods but CopyTo, and closing.
// CopyTo is in device_file_copy.cpp.
#include "shellext/device_file_stream.h"

#include "shellext/cancel_guard.h"
#include "shellext/trace.h"

#include <algorithm>
#include <new>

namespace kestrel::shellext {

DeviceFileStream* DeviceFileStream::create(DeviceFiles& device) { return new (std::nothrow) DeviceFileStream(device); }

DeviceFileStream::~DeviceFileStream() {
    if (isOpen()) device_.close(fd_);
}

HRESULT DeviceFileStream::open(const std::string& path, int32_t flags) {
    if (!CancelGuard::process().admitNow()) return S_FALSE;
    SHX_TRACE("OpenFile: %s\n", path.c_str());
    path_ = path;
    const int32_t fd = device_.open(path.c_str(), flags);
    if (fd == 0 || fd == -1) return STG_E_ACCESSDENIED;
    fd_ = fd;
    return S_OK;
}

HRESULT DeviceFileStream::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("QueryInterface\n");
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!CancelGuard::process().admitNow()) return E_NOINTERFACE;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISequentialStream) &&
        !IsEqualIID(riid, IID_IStream))
        return E_NOINTERFACE;
    *out = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
}

ULONG DeviceFileStream::AddRef() { return ++references_; }

ULONG DeviceFileStream::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

ULONG DeviceFileStream::readDevice(uint8_t* buffer, ULONG count) {
    ULONG total = 0;
    while (total < count) {
        const auto piece = static_cast<uint32_t>(std::min<ULONG>(count - total, MAX_DEVICE_TRANSFER));
        const int32_t got = device_.read(fd_, buffer + total, piece);
        if (got <= 0) break;
        total += static_cast<ULONG>(std::min<uint32_t>(static_cast<uint32_t>(got), piece));
        if (static_cast<uint32_t>(got) < piece) break;
    }
    return total;
}

HRESULT DeviceFileStream::Read(void* buffer, ULONG count, ULONG* read) {
    SHX_TRACE("Read\n");
    if (!isOpen()) return STG_E_INVALIDHANDLE;
    if (count == 0) {
        if (read != nullptr) *read = 0;
        return S_OK;
    }
    if (buffer == nullptr) return STG_E_INVALIDPOINTER;
    const ULONG got = readDevice(static_cast<uint8_t*>(buffer), count);
    if (read != nullptr) *read = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT DeviceFileStream::Write(const void*, ULONG, ULONG*) {
    SHX_TRACE("Write\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    SHX_TRACE("Seek\n");
    if (!isOpen()) return STG_E_INVALIDHANDLE;
    const int32_t result =
        device_.lseek(fd_, static_cast<int32_t>(static_cast<uint32_t>(move.QuadPart)), static_cast<int32_t>(origin));
    if (result < 0) return E_FAIL;
    if (position != nullptr) position->QuadPart = static_cast<uint32_t>(result);
    return S_OK;
}

HRESULT DeviceFileStream::SetSize(ULARGE_INTEGER) {
    SHX_TRACE("SetSize\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::Commit(DWORD) {
    SHX_TRACE("Commit\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::Revert() {
    SHX_TRACE("Revert\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    SHX_TRACE("LockRegion\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    SHX_TRACE("UnlockRegion\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::Stat(STATSTG*, DWORD) {
    SHX_TRACE("Stat\n");
    return E_NOTIMPL;
}

HRESULT DeviceFileStream::Clone(IStream**) {
    SHX_TRACE("Clone\n");
    return E_NOTIMPL;
}

}  // namespace kestrel::shellext
