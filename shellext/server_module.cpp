#include "shellext/server_module.h"

#include "shellext/folder_view.h"
#include "shellext/resource_ids.h"
#include "shellext/settings.h"
#include "shellext/trace.h"

namespace kestrel::shellext {

ServerModule& ServerModule::instance() {
    // Never destroyed: objects may outlive the C runtime's static
    // destruction at process exit.
    static ServerModule* const module = new ServerModule();
    return *module;
}

void ServerModule::attach(HINSTANCE instance) {
    instance_ = instance;
    liveObjects_ = 0;
    SHX_TRACE("DLL_PROCESS_ATTACH\n");

    nameColumnWidth_ = DEFAULT_NAME_COLUMN_WIDTH;
    char name[64] = {};
    LoadStringA(instance_, IDS_PRODUCT_NAME, name, sizeof name);
    productName_ = name;
    nameColumnWidth_ = loadNameColumnWidth();

    imageLists_.build(instance_);
    views_.clear();
    comInitialised_ = CoInitialize(nullptr);
    attachThread_ = GetCurrentThreadId();
}

void ServerModule::detach(bool processEnding) {
    SHX_TRACE("DLL_PROCESS_DETACH\n");
    hold_.detaching();
    saveNameColumnWidth(nameColumnWidth_);
    imageLists_.destroy();
    views_.clear();
    // The system keeps a library's window classes after it is unloaded; a
    // class left behind would outlive the code of its window procedure.
    if (!processEnding) UnregisterClassA(VIEW_WINDOW_CLASS, instance_);
    // CoUninitialize only balances a CoInitialize that succeeded, on the
    // thread that made it; at process exit COM is being torn down anyway.
    if (SUCCEEDED(comInitialised_) && !processEnding && GetCurrentThreadId() == attachThread_) CoUninitialize();
    comInitialised_ = E_FAIL;
}

}  // namespace kestrel::shellext
