// Start-up: the window class, the main window (which creates the dialog),
// the command line's command, and the message loop in dialog mode.
#include "fwupdate/win32/program.h"

#include "fwupdate/core/command_line.h"
#include "fwupdate/core/identity.h"
#include "fwupdate/core/text_format.h"
#include "fwupdate/win32/app.h"
#include "fwupdate/win32/handles.h"

#include <commctrl.h>

namespace kestrel::fwupdate::win32 {

namespace {

bool registerMainClass(RegisteredClass& registered, HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, APP_NAME);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszMenuName = APP_NAME;  // names no menu: the window has none
    windowClass.lpszClassName = APP_NAME;
    return registered.registerClass(windowClass, UniqueGdiObject(CreateSolidBrush(GetSysColor(COLOR_WINDOW))));
}

int runMessageLoop(App& app) {
    MSG message{};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        if (app.dialog != nullptr && IsWindow(app.dialog) && IsDialogMessageA(app.dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int runProgram(HINSTANCE instance, HINSTANCE previous, const char* commandLine, int show) {
    App app(instance);
    RegisteredClass registered;
    if (previous == nullptr && !registerMainClass(registered, instance)) return 0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    const std::string title = formatText(TITLE_FORMAT, PRODUCT_NAME, VERSION_MAJOR, VERSION_MINOR, VERSION_BUILD);
    const UniqueWindow mainWindow(CreateWindowExA(0, APP_NAME, title.c_str(), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                                  nullptr, instance, &app));
    if (!mainWindow) return 0;
    ShowWindow(mainWindow.get(), show);
    UpdateWindow(mainWindow.get());

    // The command runs once the window is there; word 1 then decides
    // whether the dialog runs.
    if (ParseCommandLine(app.tool(), commandLine != nullptr ? commandLine : "") != MODE_DIALOG) return 0;
    return runMessageLoop(app);
}

}  // namespace kestrel::fwupdate::win32
