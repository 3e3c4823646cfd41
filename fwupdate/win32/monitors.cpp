#include "fwupdate/win32/monitors.h"

namespace kestrel::fwupdate::win32 {

namespace {

template <typename Function>
void find(const MonitorFunctions::Lookup& lookup, const char* name, Function& function) {
    // A looked-up address becomes the function's own type by way of void*.
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(lookup(name)));
}

}  // namespace

MonitorFunctions::MonitorFunctions() : user32_(LoadLibraryA("USER32")) {
    const HMODULE module = user32_.get();
    lookUp([module](const char* name) -> FARPROC { return module ? GetProcAddress(module, name) : nullptr; });
}

MonitorFunctions::MonitorFunctions(const Lookup& lookup) { lookUp(lookup); }

void MonitorFunctions::lookUp(const Lookup& lookup) {
    find(lookup, "GetSystemMetrics", getSystemMetrics_);
    find(lookup, "MonitorFromWindow", monitorFromWindow_);
    find(lookup, "MonitorFromRect", monitorFromRect_);
    find(lookup, "MonitorFromPoint", monitorFromPoint_);
    find(lookup, "EnumDisplayMonitors", enumDisplayMonitors_);
    find(lookup, "GetMonitorInfoA", getMonitorInfo_);
    find(lookup, "EnumDisplayDevicesA", enumDisplayDevices_);
    available_ = getSystemMetrics_ && monitorFromWindow_ && monitorFromRect_ && monitorFromPoint_ &&
                 enumDisplayMonitors_ && getMonitorInfo_ && enumDisplayDevices_ &&
                 getSystemMetrics_(SM_CXVIRTUALSCREEN) >= GetSystemMetrics(SM_CXSCREEN) &&
                 getSystemMetrics_(SM_CYVIRTUALSCREEN) >= GetSystemMetrics(SM_CYSCREEN);
}

MonitorDescription MonitorFunctions::primaryScreen() {
    MonitorDescription screen;
    screen.monitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen.work, 0)) screen.work = screen.monitor;
    screen.primary = true;
    screen.name = "DISPLAY";
    return screen;
}

MonitorDescription MonitorFunctions::nearestMonitor(HWND window) const {
    if (!available_) return primaryScreen();
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    const HMONITOR monitor = monitorFromWindow_(window, MONITOR_DEFAULTTONEAREST);
    if (monitor == nullptr || !getMonitorInfo_(monitor, reinterpret_cast<MONITORINFO*>(&info)))
        return primaryScreen();
    MonitorDescription description;
    description.monitor = info.rcMonitor;
    description.work = info.rcWork;
    description.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    description.name = info.szDevice;
    return description;
}

}  // namespace kestrel::fwupdate::win32
