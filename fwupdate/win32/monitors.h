// Monitor information through the multi-monitor functions of USER32, looked
// up by name the first time they are needed. They are used only when all
// seven exist and the virtual screen is at least as large as the primary
// screen; otherwise there is one monitor, the primary screen, for the rest
// of the run.
#pragma once

#include "fwupdate/win32/handles.h"

#include <functional>
#include <string>

namespace kestrel::fwupdate::win32 {

struct MonitorDescription {
    RECT monitor{};
    RECT work{};
    bool primary = false;
    std::string name;
};

class MonitorFunctions {
public:
    // Finds a function by name; null when there is none.
    using Lookup = std::function<FARPROC(const char* name)>;

    // The functions of USER32.
    MonitorFunctions();
    // The functions `lookup` finds (tests offer incomplete sets).
    explicit MonitorFunctions(const Lookup& lookup);

    // All seven were found and the virtual screen covers the primary one.
    bool available() const { return available_; }

    // The monitor nearest to `window`.
    MonitorDescription nearestMonitor(HWND window) const;

private:
    using GetSystemMetricsFn = int(WINAPI*)(int);
    using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
    using MonitorFromRectFn = HMONITOR(WINAPI*)(LPCRECT, DWORD);
    using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
    using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    using EnumDisplayDevicesFn = BOOL(WINAPI*)(LPCSTR, DWORD, PDISPLAY_DEVICEA, DWORD);

    void lookUp(const Lookup& lookup);
    static MonitorDescription primaryScreen();

    UniqueModule user32_;
    GetSystemMetricsFn getSystemMetrics_ = nullptr;
    MonitorFromWindowFn monitorFromWindow_ = nullptr;
    MonitorFromRectFn monitorFromRect_ = nullptr;
    MonitorFromPointFn monitorFromPoint_ = nullptr;
    EnumDisplayMonitorsFn enumDisplayMonitors_ = nullptr;
    GetMonitorInfoFn getMonitorInfo_ = nullptr;
    EnumDisplayDevicesFn enumDisplayDevices_ = nullptr;
    bool available_ = false;
};

}  // namespace kestrel::fwupdate::win32
