#include "fwupdate/win32/window_position.h"

#include "fwupdate/win32/registry.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstdint>

namespace kestrel::fwupdate::win32 {

namespace {

constexpr uint32_t RECORD_BYTES = 16;
constexpr int32_t KEEP_SIZE = -1;
constexpr UINT QUIET = SWP_NOZORDER | SWP_NOACTIVATE;

int32_t loadInt(const uint8_t* bytes) { return static_cast<int32_t>(loadLe32(bytes)); }
void storeInt(uint8_t* bytes, int32_t value) { storeLe32(bytes, static_cast<uint32_t>(value)); }

}  // namespace

int SaveWindowPosition(HWND window, const char* valueName, bool keepSize) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) return 0;
    RECT rect = placement.rcNormalPosition;
    if (!keepSize) rect.right = rect.bottom = KEEP_SIZE;
    uint8_t record[RECORD_BYTES];
    storeInt(record + 0, rect.left);
    storeInt(record + 4, rect.top);
    storeInt(record + 8, rect.right);
    storeInt(record + 12, rect.bottom);
    return writeRegistry(POSITION_SUBKEY, valueName, record, RECORD_BYTES);
}

int RestoreWindowPosition(HWND window, const char* valueName, const MonitorFunctions& monitors) {
    uint8_t record[RECORD_BYTES];
    if (!readRegistry(POSITION_SUBKEY, valueName, record, RECORD_BYTES)) return 0;
    const int32_t left = loadInt(record + 0), top = loadInt(record + 4);
    const int32_t right = loadInt(record + 8), bottom = loadInt(record + 12);
    if (right != KEEP_SIZE && bottom != KEEP_SIZE)
        SetWindowPos(window, nullptr, left, top, right - left, bottom - top, QUIET);
    else
        SetWindowPos(window, nullptr, left, top, 0, 0, QUIET | SWP_NOSIZE);
    KeepOnScreen(window, monitors);
    return 1;
}

void KeepOnScreen(HWND window, const MonitorFunctions& monitors) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    {
        const WindowDc screen(nullptr);
        // The corners as pixels: the rectangle's right and bottom lie outside.
        if (PtVisible(screen.get(), rect.left, rect.top) && PtVisible(screen.get(), rect.right - 1, rect.bottom - 1))
            return;
    }
    const RECT work = monitors.nearestMonitor(window).work;
    const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    const LONG x = std::max(work.left, std::min(work.right - width, rect.left));
    const LONG y = std::max(work.top, std::min(work.bottom - height, rect.top));
    SetWindowPos(window, nullptr, x, y, 0, 0, QUIET | SWP_NOSIZE);
}

}  // namespace kestrel::fwupdate::win32
