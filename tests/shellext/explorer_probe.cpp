// The Windows side of the Explorer check: drives the system's explorer.exe
// from outside, as a user would, and reports what its folder view shows.
//
//   shellext-explorer-probe show FOLDER NAME SECONDS
//       waits for Explorer's window, selects FOLDER in its folder tree (so
//       the view shows that folder) and waits until the view lists NAME.
//       Prints every name the view lists; exit code 0 when NAME is among
//       them, 1 when it is not within SECONDS, 2 when there is no window.
//   shellext-explorer-probe close
//       closes Explorer's windows.
//
// Explorer is another process: the texts of its tree and list controls are
// read as the harness reads them (explorer_process.h).
#include "tests/shellext/harness/explorer_process.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* EXPLORER_CLASS = "ExplorerWClass";

HWND child(HWND parent, const char* className) {
    return kestrel::shellext::test::findChildOfClass(parent, className);
}

std::string treeItemText(HWND tree, HTREEITEM item) { return kestrel::shellext::test::treeViewText(tree, item); }

std::vector<std::string> listTexts(HWND list) { return kestrel::shellext::test::listViewTexts(list); }

// Depth-first search of the tree for an item with this text.
HTREEITEM findTreeItem(HWND tree, HTREEITEM first, const std::string& text) {
    for (HTREEITEM item = first; item != nullptr;
         item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        if (treeItemText(tree, item) == text) return item;
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        auto below = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        if (below != nullptr) {
            if (HTREEITEM found = findTreeItem(tree, below, text)) return found;
        }
    }
    return nullptr;
}

HWND waitForWindow(DWORD deadline) {
    for (;;) {
        HWND window = FindWindowA(EXPLORER_CLASS, nullptr);
        if (window != nullptr && IsWindowVisible(window)) return window;
        if (GetTickCount() > deadline) return nullptr;
        Sleep(200);
    }
}

int show(const std::string& folder, const std::string& name, DWORD seconds) {
    const DWORD deadline = GetTickCount() + seconds * 1000;
    HWND window = waitForWindow(deadline);
    if (window == nullptr) {
        std::printf("no Explorer window\n");
        return 2;
    }
    std::vector<std::string> names;
    bool selected = false;
    while (GetTickCount() <= deadline) {
        HWND tree = child(window, WC_TREEVIEWA);
        if (!selected && tree != nullptr) {
            auto root = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
            if (HTREEITEM item = findTreeItem(tree, root, folder)) {
                SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
                selected = true;
                std::printf("selected \"%s\" in the folder tree\n", folder.c_str());
            }
        }
        if (selected) {
            if (HWND list = child(window, WC_LISTVIEWA)) names = listTexts(list);
            for (const auto& text : names)
                if (text == name) {
                    for (const auto& each : names) std::printf("listed: %s\n", each.c_str());
                    return 0;
                }
        }
        Sleep(250);
    }
    for (const auto& each : names) std::printf("listed: %s\n", each.c_str());
    std::printf("\"%s\" is not listed in \"%s\"\n", name.c_str(), folder.c_str());
    return 1;
}

int close() {
    for (int round = 0; round < 50; ++round) {
        HWND window = FindWindowA(EXPLORER_CLASS, nullptr);
        if (window == nullptr) return 0;
        PostMessageA(window, WM_CLOSE, 0, 0);
        Sleep(100);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "show") == 0)
        return show(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    if (argc == 2 && std::strcmp(argv[1], "close") == 0) return close();
    std::fprintf(stderr, "usage: shellext-explorer-probe show FOLDER NAME SECONDS | close\n");
    return 3;
}
