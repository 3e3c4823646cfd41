#include "fwupdate/win32/app.h"

#include "fwupdate/core/host_file.h"
#include "fwupdate/core/messages.h"
#include "fwupdate/core/platform_id.h"

#include <cstdio>

namespace kestrel::fwupdate::win32 {

namespace {

// The log's lines go to standard output as well when the program has one
// (started from a console with its output redirected, for instance).
std::FILE* standardOutputIfAny() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
    return GetFileType(output) == FILE_TYPE_UNKNOWN ? nullptr : stdout;
}

}  // namespace

App::App(HINSTANCE instance)
    : instance_(instance),
      log_(LOG_FILE, standardOutputIfAny()),
      tool_(view_, exportedOryx(), log_, hostFilesIn(""), systemPlatformId()) {}

const MonitorFunctions& App::monitors() {
    if (!monitors_) monitors_ = std::make_unique<MonitorFunctions>();
    return *monitors_;
}

bool App::refuseWhileUpdating() {
    if (!tool_.updating()) return false;
    showMessageBox(dialog, box::updateRunning());
    return true;
}

App* appOf(HWND mainWindow) { return reinterpret_cast<App*>(GetWindowLongPtrA(mainWindow, GWLP_USERDATA)); }

}  // namespace kestrel::fwupdate::win32
