// The folder view and the context menus as Explorer uses them, against one
// simulated Kestrel for the suite:
//
//   /MUSIC/            a Disk      /MUSIC/B.TXT
//   /new folder/       a Disk      /New Folder 1/   a Disk
//   /A.TXT             1536 bytes, read-only and archive, 07.03.2002 14:05:30
//   /b.txt             /C.TXT
//
// The view runs in the frame of a ShellBrowserDouble.
#pragma once

#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/shell_browser_double.h"
#include "tests/shellext/harness/simulated_kestrel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

inline constexpr UINT CMD_EXPLORE = 1, CMD_OPEN = 2, CMD_MODIFY_DATA = 6, CMD_RENAME = 7, CMD_DELETE = 8,
                      CMD_COPY = 9, CMD_CUT = 10, CMD_PASTE = 11, CMD_SEPARATOR = 12, CMD_VIEW = 13,
                      CMD_LARGE_ICONS = 14, CMD_SMALL_ICONS = 15, CMD_LIST = 16, CMD_DETAILS = 17;
inline constexpr UINT MANY_ITEMS = 0x10000;
inline constexpr char DEVICE_ITEMS_FORMAT[] = "qlxshlextDataFormat";

// One entry of a menu as the test reads it.
struct MenuEntry {
    std::string text;  // "-" for a separator
    UINT id = 0;
    UINT state = 0;
    bool submenu = false;
    bool operator==(const MenuEntry&) const = default;
};
std::vector<MenuEntry> menuEntries(HMENU menu);
std::vector<std::string> menuTexts(HMENU menu);
// The entry with `id`; a failure recorded and an empty entry when none.
MenuEntry entryWith(HMENU menu, UINT id);

// Selects (and focuses) only `row` of the list; none for -1.
void selectRow(HWND list, int row);

// Puts plain text on the clipboard (another program's data).
void putTextOnClipboard(const std::string& text);
void emptyClipboard();
// The bytes of the clipboard's `format` data; empty when it holds none.
std::vector<uint8_t> clipboardBytes(const char* format);

class ViewFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A view of the root made through CreateViewObject and shown in the
    // browser's frame with `mode`; null (failure recorded) when a step fails.
    ComRef<IShellView> openView(UINT mode = FVM_DETAILS, bool activate = true);
    void closeView(ComRef<IShellView>& view);
    HWND listOf(IShellView* view);
    // The texts of the list's rows, column by column.
    std::vector<std::string> column(HWND list, int column);
    std::string cell(HWND list, int row, int column);
    int rowOf(HWND list, const std::string& name);

    static std::unique_ptr<SimulatedKestrel> device_;
    static bool ready_;
    ExplorerSession session_;
    bool sessionFinished_ = false;  // a test that ended it itself
    ComRef<IShellFolder> root_;
    std::unique_ptr<ShellBrowserDouble> browser_;
};

}  // namespace kestrel::shellext::test
