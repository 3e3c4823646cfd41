#include "shellext/class_factory.h"

#include "shellext/clsid.h"
#include "shellext/device_folder.h"
#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

HRESULT FolderClassFactory::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("FolderClassFactory::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG FolderClassFactory::AddRef() {
    SHX_TRACE("FolderClassFactory::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG FolderClassFactory::Release() {
    SHX_TRACE("FolderClassFactory::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT FolderClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** out) {
    SHX_TRACE("FolderClassFactory::CreateInstance(%p,%s,%p)\n", static_cast<void*>(outer), guidText(riid).c_str(),
              static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    DeviceFolder* folder = nullptr;
    if (FAILED(DeviceFolder::createRoot(device_, &folder))) return E_OUTOFMEMORY;
    const HRESULT result = folder->QueryInterface(riid, out);
    folder->Release();
    return result;
}

HRESULT FolderClassFactory::LockServer(BOOL lock) {
    SHX_TRACE("FolderClassFactory::LockServer(%d)\n", lock);
    return E_NOTIMPL;
}

HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** out, DeviceFiles& device) {
    SHX_TRACE("DllGetClassObject(%s,%s,%p)\n", guidText(clsid).c_str(), guidText(riid).c_str(),
              static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_DeviceFolder)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) FolderClassFactory(device);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, out);
    factory->Release();
    return result;
}

}  // namespace kestrel::shellext
