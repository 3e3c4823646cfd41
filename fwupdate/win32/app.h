// The window program's process-wide state: the instance, the main window and
// the dialog, the view the update core draws on, the operation log, the
// update core itself (which holds the update-in-progress flag), and the
// monitor functions once they have been looked up. One App lives for the
// run; the window procedures reach it through their windows.
#pragma once

#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/update_tool.h"
#include "fwupdate/win32/dialog_view.h"
#include "fwupdate/win32/monitors.h"

#include <memory>

namespace kestrel::fwupdate::win32 {

class App {
public:
    explicit App(HINSTANCE instance);
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    HINSTANCE instance() const { return instance_; }
    HWND mainWindow = nullptr;
    HWND dialog = nullptr;
    DialogView& view() { return view_; }
    UpdateTool& tool() { return tool_; }
    // Looked up the first time they are needed.
    const MonitorFunctions& monitors();

    // "Update can not be interupted", when an update runs: true then.
    bool refuseWhileUpdating();

private:
    HINSTANCE instance_;
    DialogView view_;
    OperationLog log_;
    UpdateTool tool_;
    std::unique_ptr<MonitorFunctions> monitors_;
};

// The App a window procedure was given (GWLP_USERDATA of the main window).
App* appOf(HWND mainWindow);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrel::fwupdate::win32
