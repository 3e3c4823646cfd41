// The window program's frame in this process (Windows only): the child
// dialog made from the program's own template with every control where the
// template puts it, the monitor functions and their fallback, keeping a
// window on screen, the registry values and the window position, message
// pumping, the platform identifier, and the dialog as the update core's view.
#include "fwupdate/core/control_ids.h"
#include "fwupdate/core/identity.h"
#include "fwupdate/core/platform_id.h"
#include "fwupdate/win32/child_dialog.h"
#include "fwupdate/win32/dialog_view.h"
#include "fwupdate/win32/handles.h"
#include "fwupdate/win32/monitors.h"
#include "fwupdate/win32/pump.h"
#include "fwupdate/win32/registry.h"
#include "fwupdate/win32/window_position.h"
#include "platform/byte_order.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrel::fwupdate::win32::test {
namespace {

constexpr const char* TEST_VALUE = "FrameTest";

INT_PTR CALLBACK quietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return DefWindowProcA(window, message, wParam, lParam);
}

class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = countingWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FwupdateFrameTest";
        RegisterClassA(&windowClass);
    }

    void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, registryKeyPath(POSITION_SUBKEY).c_str()); }

    // An overlapped window like the program's main window.
    UniqueWindow makeWindow(int x, int y, int width, int height, DWORD style = WS_CAPTION | WS_SYSMENU) {
        UniqueWindow window(CreateWindowExA(0, "FwupdateFrameTest", "frame test", style, x, y, width, height, nullptr,
                                            nullptr, GetModuleHandleA(nullptr), nullptr));
        EXPECT_TRUE(window);
        SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&appMessages));
        return window;
    }

    HWND makeDialog(HWND parent) {
        return CreateChildDialog(APP_NAME, GetModuleHandleA(nullptr), quietDialogProc, parent);
    }

    int appMessages = 0;
};

RECT windowRectIn(HWND window, HWND parent) {
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string textOf(HWND window) {
    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

TEST_F(FrameTest, TheDialogBecomesAChildFilledOutByItsParent) {
    UniqueWindow parent = makeWindow(40, 30, 200, 120);
    const HWND dialog = makeDialog(parent.get());
    ASSERT_NE(dialog, nullptr);
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    EXPECT_EQ(GetParent(dialog), parent.get());

    RECT size{0, 0, 262, 116};
    MapDialogRect(dialog, &size);
    const RECT placed = windowRectIn(dialog, parent.get());
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
    EXPECT_EQ(placed.right, size.right);
    EXPECT_EQ(placed.bottom, size.bottom);
    RECT client;
    GetClientRect(parent.get(), &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    RECT outer;
    GetWindowRect(parent.get(), &outer);
    EXPECT_EQ(outer.left, 40);  // the top-left corner stays
    EXPECT_EQ(outer.top, 30);
}

TEST_F(FrameTest, EveryControlHasItsIdTextPlaceAndStyle) {
    UniqueWindow parent = makeWindow(0, 0, 200, 120);
    const HWND dialog = makeDialog(parent.get());
    ASSERT_NE(dialog, nullptr);
    struct Control {
        int id;
        const char* cls;
        const char* text;
        RECT units;  // x, y, width, height in dialog units
    };
    const Control controls[] = {
        {IDC_EXIT, "Button", "Exit", {153, 78, 54, 24}},
        {IDC_CANCEL_UNUSED, "Button", "Cancel", {253, 3, 6, 6}},
        {IDC_PROGRESS, "msctls_progress32", "", {37, 36, 184, 14}},
        {IDC_UPDATE, "Button", "Update", {53, 78, 54, 24}},
        {IDC_ACTION, "Static", "Action", {37, 16, 184, 8}},
        {IDC_FRAME, "Button", "Kestrel update via USB", {3, 3, 256, 109}},
        {IDC_EEPROM, "Button", "EEPROM code", {54, 60, 65, 8}},
        {IDC_MAIN, "Button", "MAIN code", {153, 60, 51, 8}},
        {IDC_PERCENT, "Static", "100%", {37, 26, 184, 8}},
    };
    HWND previous = nullptr;
    for (const auto& control : controls) {
        const HWND window = GetDlgItem(dialog, control.id);
        ASSERT_NE(window, nullptr) << control.id;
        EXPECT_EQ(className(window), control.cls) << control.id;
        EXPECT_EQ(textOf(window), control.text) << control.id;
        // Position and size are converted each on its own, as the dialog
        // manager does.
        RECT expected = control.units;
        MapDialogRect(dialog, &expected);
        const RECT actual = windowRectIn(window, dialog);
        EXPECT_EQ(actual.left, expected.left) << control.id;
        EXPECT_EQ(actual.top, expected.top) << control.id;
        EXPECT_EQ(actual.right - actual.left, expected.right) << control.id;
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << control.id;
        // Template order is the windows' order.
        EXPECT_EQ(GetWindow(window, GW_HWNDPREV), previous) << control.id;
        previous = window;
    }
    const auto style = [&](int id) { return static_cast<DWORD>(GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE)); };
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CANCEL_UNUSED)));
    EXPECT_EQ(style(IDC_UPDATE) & 0x0F, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(style(IDC_EXIT) & 0x0F, static_cast<DWORD>(BS_PUSHBUTTON));
    EXPECT_EQ(style(IDC_EEPROM) & 0x0F, static_cast<DWORD>(BS_AUTOCHECKBOX));
    EXPECT_EQ(style(IDC_MAIN) & 0x0F, static_cast<DWORD>(BS_AUTOCHECKBOX));
    EXPECT_EQ(style(IDC_FRAME) & 0x0F, static_cast<DWORD>(BS_GROUPBOX));
    EXPECT_EQ(style(IDC_ACTION) & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
    EXPECT_EQ(style(IDC_PERCENT) & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDC_PERCENT), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_TRUE(style(IDC_PROGRESS) & PBS_SMOOTH);
}

TEST_F(FrameTest, WithoutParentOrTemplateThereIsNoDialog) {
    EXPECT_EQ(CreateChildDialog(APP_NAME, GetModuleHandleA(nullptr), quietDialogProc, nullptr), nullptr);
    UniqueWindow parent = makeWindow(0, 0, 200, 120);
    EXPECT_EQ(CreateChildDialog("NoSuchTemplate", GetModuleHandleA(nullptr), quietDialogProc, parent.get()),
              nullptr);
}

TEST_F(FrameTest, AParentGrownPastTheScreenEdgeIsMovedBackOntoIt) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    UniqueWindow parent = makeWindow(screenWidth - 150, screenHeight - 80, 100, 60);
    ASSERT_NE(makeDialog(parent.get()), nullptr);
    RECT outer;
    GetWindowRect(parent.get(), &outer);
    EXPECT_EQ(outer.right, screenWidth);
    EXPECT_EQ(outer.bottom, screenHeight);
}

TEST_F(FrameTest, TheDialogServesAsTheUpdateView) {
    UniqueWindow parent = makeWindow(0, 0, 200, 120);
    const HWND dialog = makeDialog(parent.get());
    ASSERT_NE(dialog, nullptr);
    DialogView view;
    view.attach(dialog);
    view.setActionText("Updating L1 code ...");
    view.setPercentText(" 40%");
    view.setProgress(40);
    EXPECT_EQ(textOf(GetDlgItem(dialog, IDC_ACTION)), "Updating L1 code ...");
    EXPECT_EQ(textOf(GetDlgItem(dialog, IDC_PERCENT)), " 40%");
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 40);

    CheckDlgButton(dialog, IDC_EEPROM, BST_CHECKED);
    CheckDlgButton(dialog, IDC_MAIN, BST_UNCHECKED);
    EXPECT_TRUE(view.isChecked(Choice::Eeprom));
    EXPECT_FALSE(view.isChecked(Choice::Main));

    const int four[] = {IDC_EEPROM, IDC_MAIN, IDC_UPDATE, IDC_EXIT};
    view.disableControls();
    for (const int id : four) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, id))) << id;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PROGRESS)));
    view.enableControls();
    for (const int id : four) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, id))) << id;
}

TEST_F(FrameTest, PumpingDispatchesAndStopsAtTheQuitMessage) {
    UniqueWindow window = makeWindow(0, 0, 100, 100);
    PostMessageA(window.get(), WM_APP, 0, 0);
    PostMessageA(window.get(), WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(appMessages, 2);

    // The quit message comes after what was posted; it is taken and ends
    // the pumping.
    PostMessageA(window.get(), WM_APP, 0, 0);
    PostQuitMessage(3);
    PumpMessages();
    EXPECT_EQ(appMessages, 3);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    PostMessageA(window.get(), WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(appMessages, 4);
}

TEST_F(FrameTest, MonitorFunctionsNeedAllSeven) {
    const MonitorFunctions user32;
    EXPECT_TRUE(user32.available());

    const HMODULE module = GetModuleHandleA("user32.dll");
    const MonitorFunctions missingOne([module](const char* name) -> FARPROC {
        return std::string(name) == "EnumDisplayDevicesA" ? nullptr : GetProcAddress(module, name);
    });
    EXPECT_FALSE(missingOne.available());
    UniqueWindow window = makeWindow(10, 10, 100, 100);
    const MonitorDescription primary = missingOne.nearestMonitor(window.get());
    EXPECT_EQ(primary.name, "DISPLAY");
    EXPECT_TRUE(primary.primary);
    EXPECT_EQ(primary.monitor.left, 0);
    EXPECT_EQ(primary.monitor.top, 0);
    EXPECT_EQ(primary.monitor.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(primary.monitor.bottom, GetSystemMetrics(SM_CYSCREEN));
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_TRUE(EqualRect(&primary.work, &work));

    const MonitorDescription nearest = user32.nearestMonitor(window.get());
    EXPECT_TRUE(nearest.primary);
}

TEST_F(FrameTest, KeepOnScreenBringsBackAWindowWithACornerOffScreen) {
    const MonitorFunctions monitors;
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    struct Case {
        int x, y;
        LONG expectedX, expectedY;
    };
    const Case cases[] = {
        {5000, 5000, work.right - 200, work.bottom - 100},  // a monitor that is gone
        {-60, 40, work.left, 40},
        {30, -20, 30, work.top},
        {50, 60, 50, 60},  // visible: left alone
    };
    for (const auto& c : cases) {
        UniqueWindow window = makeWindow(c.x, c.y, 200, 100, WS_POPUP);
        KeepOnScreen(window.get(), monitors);
        RECT rect;
        GetWindowRect(window.get(), &rect);
        EXPECT_EQ(rect.left, c.expectedX) << c.x << "," << c.y;
        EXPECT_EQ(rect.top, c.expectedY) << c.x << "," << c.y;
        EXPECT_EQ(rect.right - rect.left, 200);
        EXPECT_EQ(rect.bottom - rect.top, 100);
    }
}

TEST_F(FrameTest, RegistryValuesAreBinaryOrTextUnderTheProductsKey) {
    EXPECT_EQ(registryKeyPath("Windows position"), "Software\\Quillon\\KESTREL Rescue Update\\2.2\\Windows position");
    const uint8_t bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_EQ(writeRegistry(POSITION_SUBKEY, TEST_VALUE, bytes, 16), 1);
    uint8_t back[16] = {};
    EXPECT_EQ(readRegistry(POSITION_SUBKEY, TEST_VALUE, back, 16), 1);
    EXPECT_EQ(std::memcmp(back, bytes, 16), 0);

    ASSERT_EQ(writeRegistry(POSITION_SUBKEY, "Text", "hello", 0), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, registryKeyPath(POSITION_SUBKEY).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    const UniqueRegistryKey owned(key);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
    ASSERT_EQ(RegQueryValueExA(key, TEST_VALUE, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

    // A value of another length is no record: the buffer is not taken.
    ASSERT_EQ(writeRegistry(POSITION_SUBKEY, TEST_VALUE, bytes, 4), 1);
    EXPECT_EQ(readRegistry(POSITION_SUBKEY, TEST_VALUE, back, 16), 0);
    EXPECT_EQ(readRegistry(POSITION_SUBKEY, "Missing", back, 16), 0);
}

void storePosition(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    uint8_t record[16];
    storeLe32(record + 0, static_cast<uint32_t>(left));
    storeLe32(record + 4, static_cast<uint32_t>(top));
    storeLe32(record + 8, static_cast<uint32_t>(right));
    storeLe32(record + 12, static_cast<uint32_t>(bottom));
    ASSERT_EQ(writeRegistry(POSITION_SUBKEY, TEST_VALUE, record, 16), 1);
}

TEST_F(FrameTest, WindowPositionsAreSavedAndRestored) {
    const MonitorFunctions monitors;
    UniqueWindow window = makeWindow(120, 90, 300, 200);
    EXPECT_EQ(RestoreWindowPosition(window.get(), TEST_VALUE, monitors), 0);  // nothing stored

    ASSERT_EQ(SaveWindowPosition(window.get(), TEST_VALUE, false), 1);
    uint8_t record[16] = {};
    ASSERT_EQ(readRegistry(POSITION_SUBKEY, TEST_VALUE, record, 16), 1);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 0)), 120);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 4)), 90);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 8)), -1);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 12)), -1);
    ASSERT_EQ(SaveWindowPosition(window.get(), TEST_VALUE, true), 1);
    ASSERT_EQ(readRegistry(POSITION_SUBKEY, TEST_VALUE, record, 16), 1);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 8)), 420);
    EXPECT_EQ(static_cast<int32_t>(loadLe32(record + 12)), 290);

    RECT rect;
    storePosition(200, 150, -1, -1);  // position only: the size stays
    EXPECT_EQ(RestoreWindowPosition(window.get(), TEST_VALUE, monitors), 1);
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.top, 150);
    EXPECT_EQ(rect.right - rect.left, 300);

    storePosition(100, 80, 500, 380);
    EXPECT_EQ(RestoreWindowPosition(window.get(), TEST_VALUE, monitors), 1);
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.right, 500);
    EXPECT_EQ(rect.bottom, 380);

    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    storePosition(9000, 7000, -1, -1);  // a monitor that no longer exists
    EXPECT_EQ(RestoreWindowPosition(window.get(), TEST_VALUE, monitors), 1);
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(rect.left, work.right - 400);
    EXPECT_EQ(rect.top, work.bottom - 300);
}

TEST(PlatformId, WineAndWindowsAreOfTheNtFamily) {
    uint32_t id = 0;
    ASSERT_EQ(GetPlatformId(id), 1);
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(systemPlatformId()(), std::optional<uint32_t>(2));
}

}  // namespace
}  // namespace kestrel::fwupdate::win32::test
