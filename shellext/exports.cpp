// The library's entry points: DllMain and the four exports of an
// in-process COM server, a thin C facade over the process-wide module.
#include "shellext/class_factory.h"
#include "shellext/clsid.h"
#include "shellext/device_files.h"
#include "shellext/registration.h"
#include "shellext/server_module.h"
#include "shellext/trace.h"

using kestrel::shellext::ServerModule;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ServerModule::instance().attach(instance);
        break;
    case DLL_PROCESS_DETACH:
        ServerModule::instance().detach(reserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    return kestrel::shellext::getClassObject(clsid, riid, out, kestrel::shellext::filexDevice());
}

STDAPI DllCanUnloadNow() {
    auto& module = ServerModule::instance();
    const int32_t live = module.liveObjects();
    SHX_TRACE("DllCanUnloadNow refcnt:%d\n", live);
    if (live != 0) return S_FALSE;
    // The caller unloads the library next: end the link's watchdog thread
    // here, outside the loader lock, and let the library go.
    kestrel::shellext::stopFilexLink();
    module.hold().release();
    return S_OK;
}

STDAPI DllRegisterServer() {
    auto& module = ServerModule::instance();
    return kestrel::shellext::registerServer(module.resources(), module.productName());
}

STDAPI DllUnregisterServer() {
    return kestrel::shellext::unregisterServer(kestrel::shellext::clsidText(),
                                               kestrel::shellext::windowsNtPlatform());
}

}  // extern "C"
