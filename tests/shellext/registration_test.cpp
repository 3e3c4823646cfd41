// Registration with the system's own regsvr32, read back from the
// registry, and unregistration (also of a Desktop namespace key that
// another installation left behind).
#include "platform/byte_order.h"
#include "shellext/clsid.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/icon_pixels.h"
#include "tests/shellext/harness/registry_probe.h"
#include "tests/shellext/harness/shellext_library.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrel::shellext::test {
namespace {

const std::string CLSID_TEXT = "{6B2E91D4-0C7A-4F53-A1E8-35D09C4B7F62}";
const std::string CLASS_KEY = "CLSID\\" + CLSID_TEXT;
const std::string MY_COMPUTER_KEY =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\" + CLSID_TEXT;
const std::string DESKTOP_KEY =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace\\" + CLSID_TEXT;
const std::string APPROVED_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

int regsvr32(const std::string& options) {
    return runProgram("regsvr32.exe " + options + " \"" + libraryPath() + "\"");
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

void expectText(HKEY root, const std::string& key, const std::string& name, const std::string& text) {
    const auto value = readValue(root, key, name);
    ASSERT_TRUE(value.has_value()) << key << " \"" << name << "\" is missing";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << key << " \"" << name << "\"";
    EXPECT_EQ(value->data.size(), text.size() + 1) << "the terminating zero is counted";
    EXPECT_EQ(lower(value->text()), lower(text)) << key << " \"" << name << "\"";
}

class RegistrationTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Leave the system as it was: nothing of the class registered.
        removeTree(HKEY_CLASSES_ROOT, CLASS_KEY);
        removeTree(HKEY_LOCAL_MACHINE, MY_COMPUTER_KEY);
        removeTree(HKEY_LOCAL_MACHINE, DESKTOP_KEY);
    }
};

TEST_F(RegistrationTest, Regsvr32WritesEveryValue) {
    ASSERT_EQ(regsvr32("/s"), 0);
    expectText(HKEY_CLASSES_ROOT, CLASS_KEY, "", "Kestrel");
    expectText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\InprocServer32", "", libraryPath());
    expectText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\InprocServer32", "ThreadingModel", "Apartment");
    expectText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\InprocServer32", "LoadWithoutCOM", "");
    expectText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\DefaultIcon", "", libraryPath() + ",3");
    expectText(HKEY_LOCAL_MACHINE, MY_COMPUTER_KEY, "", "Kestrel");
    expectText(HKEY_LOCAL_MACHINE, APPROVED_KEY, CLSID_TEXT, "Kestrel");

    const auto attributes = readValue(HKEY_CLASSES_ROOT, CLASS_KEY + "\\ShellFolder", "Attributes");
    ASSERT_TRUE(attributes.has_value());
    EXPECT_EQ(attributes->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(attributes->data, (std::vector<uint8_t>{0x00, 0x01, 0x00, 0xB0}));

    const auto parsing = readValue(HKEY_CLASSES_ROOT, CLASS_KEY + "\\ShellFolder", "WantsFORPARSING");
    ASSERT_TRUE(parsing.has_value());
    EXPECT_EQ(parsing->type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(parsing->data.empty()) << "data size 0";

    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, DESKTOP_KEY)) << "registration writes no Desktop key";
}

TEST_F(RegistrationTest, TheDefaultIconIsIconGroup100) {
    ASSERT_EQ(regsvr32("/s"), 0);
    const auto location = readValue(HKEY_CLASSES_ROOT, CLASS_KEY + "\\DefaultIcon", "");
    ASSERT_TRUE(location.has_value());
    const std::string text = location->text();
    const size_t comma = text.rfind(',');
    ASSERT_NE(comma, std::string::npos);
    const int index = std::stoi(text.substr(comma + 1));

    HICON byIndex = ExtractIconA(GetModuleHandleA(nullptr), text.substr(0, comma).c_str(), index);
    ASSERT_NE(byIndex, nullptr);
    HMODULE module = LoadLibraryExA(libraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const int size = GetSystemMetrics(SM_CXICON);
    auto document = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(100), IMAGE_ICON, size, size, 0));
    auto device = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(9), IMAGE_ICON, size, size, 0));
    EXPECT_EQ(iconPixels(byIndex), iconPixels(document));
    EXPECT_NE(iconPixels(byIndex), iconPixels(device)) << "the comparison tells icons apart";
    DestroyIcon(byIndex);
    DestroyIcon(document);
    DestroyIcon(device);
    FreeLibrary(module);
}

TEST_F(RegistrationTest, UnregistrationRemovesEverythingAlsoADesktopKeyOfAnotherInstallation) {
    ASSERT_EQ(regsvr32("/s"), 0);
    ASSERT_TRUE(writeValue(HKEY_LOCAL_MACHINE, DESKTOP_KEY, "", REG_SZ, {'K', 0}));
    ASSERT_TRUE(writeValue(HKEY_LOCAL_MACHINE, DESKTOP_KEY + "\\Deeper\\Still", "x", REG_SZ, {'y', 0}));
    ASSERT_TRUE(writeValue(HKEY_CLASSES_ROOT, CLASS_KEY + "\\Implemented Categories\\{00021490-0000-0000-C000-000000000046}",
                           "", REG_SZ, {0}));

    ASSERT_EQ(regsvr32("/u /s"), 0);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, CLASS_KEY));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, MY_COMPUTER_KEY));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, DESKTOP_KEY));
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, APPROVED_KEY, CLSID_TEXT).has_value());
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, APPROVED_KEY)) << "only the entry goes, not the list";

    EXPECT_EQ(regsvr32("/u /s"), 0) << "unregistering twice finds nothing to remove";
}

// Records the shell's change notifications of a window.
class ChangeListener {
public:
    static constexpr UINT MESSAGE = WM_APP + 7;

    ChangeListener() {
        WNDCLASSA type{};
        type.lpfnWndProc = procedure;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "KestrelChangeListener";
        RegisterClassA(&type);
        window_ = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance,
                                  nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop_);
        SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives_);
        SHChangeNotifyEntry entries[] = {{desktop_, FALSE}, {drives_, FALSE}};
        registration_ = SHChangeNotifyRegister(window_, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                               SHCNE_UPDATEDIR, MESSAGE, 2, entries);
    }
    ~ChangeListener() {
        if (registration_ != 0) SHChangeNotifyDeregister(registration_);
        DestroyWindow(window_);
        CoTaskMemFree(desktop_);
        CoTaskMemFree(drives_);
    }
    bool ready() const { return window_ != nullptr && registration_ != 0; }
    void pump() {
        MSG message;
        for (int round = 0; round < 50; ++round) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            Sleep(10);
        }
    }
    // The folders announced, in order: "Desktop", "My Computer", "other".
    std::vector<std::string> announced;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ChangeListener*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != MESSAGE || self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        PIDLIST_ABSOLUTE* lists = nullptr;
        LONG event = 0;
        HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam), static_cast<DWORD>(lParam), &lists,
                                                &event);
        if (lock == nullptr) {  // the old delivery: the lists in wParam, the event in lParam
            lists = reinterpret_cast<PIDLIST_ABSOLUTE*>(wParam);
            event = static_cast<LONG>(lParam);
        }
        if (event == SHCNE_UPDATEDIR && lists != nullptr) {
            if (ILIsEqual(lists[0], self->desktop_))
                self->announced.push_back("Desktop");
            else if (ILIsEqual(lists[0], self->drives_))
                self->announced.push_back("My Computer");
            else
                self->announced.push_back("other");
        }
        if (lock != nullptr) SHChangeNotification_Unlock(lock);
        return 0;
    }

    HWND window_ = nullptr;
    LPITEMIDLIST desktop_ = nullptr;
    LPITEMIDLIST drives_ = nullptr;
    ULONG registration_ = 0;
};

TEST_F(RegistrationTest, UnregistrationTellsTheShellThatDesktopAndMyComputerChanged) {
    ExplorerSession session;
    ASSERT_TRUE(session.ready()) << session.error();
    ASSERT_EQ(session.library().registerServer(), S_OK);
    ChangeListener listener;
    ASSERT_TRUE(listener.ready());
    ASSERT_EQ(session.library().unregisterServer(), S_OK);
    listener.pump();
    EXPECT_EQ(listener.announced, (std::vector<std::string>{"Desktop", "My Computer"}));
    session.finish();
}

}  // namespace
}  // namespace kestrel::shellext::test
