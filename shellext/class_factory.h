// FolderClassFactory: the class object of the folder class. Each instance
// it makes is the device root folder.
#pragma once

#include "shellext/device_files.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

namespace kestrel::shellext {

class FolderClassFactory final : public IClassFactory, LiveObject {
public:
    // `device` is what the folders it makes reach the device through.
    explicit FolderClassFactory(DeviceFiles& device) : device_(device) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~FolderClassFactory() = default;

    ULONG references_ = 1;
    DeviceFiles& device_;
};

// DllGetClassObject's work: CLASS_E_CLASSNOTAVAILABLE for any class but the
// folder class, else the factory's answer for `riid`.
HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** out, DeviceFiles& device);

}  // namespace kestrel::shellext
