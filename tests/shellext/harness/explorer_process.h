// The system's explorer.exe as another process of the test: started with a
// command line (e.g. "/root,::{CLSID}"), inheriting this process's
// environment (KESTREL_SIM names the simulated device), its top-level window
// found, the names its list view shows read across the process boundary,
// and closed (or ended) again when the object goes.
#pragma once

#include "shellext/shell_api.h"

#include <string>
#include <vector>

namespace kestrel::shellext::test {

class ExplorerProcess {
public:
    // Starts "explorer.exe ARGUMENTS"; check started().
    explicit ExplorerProcess(const std::string& arguments);
    // Closes the windows and waits; ends the process if it stays.
    ~ExplorerProcess();
    ExplorerProcess(const ExplorerProcess&) = delete;
    ExplorerProcess& operator=(const ExplorerProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }

    // A visible top-level window of the process; null when none showed
    // within `timeoutMs`.
    HWND waitForWindow(DWORD timeoutMs);
    // Selects, in the window's folder tree, the item reached by `path`
    // (texts of the items from a top item down, each expanded on the way;
    // the first is looked for among the top items and their children),
    // as a user's click does. False when the tree has no such item within
    // `timeoutMs`.
    bool selectInTree(HWND window, const std::vector<std::string>& path, DWORD timeoutMs);
    // Polls the window's list view until it lists every name of `expected`
    // (or the time is up); the names it listed last, in row order.
    std::vector<std::string> waitForNames(HWND window, const std::vector<std::string>& expected, DWORD timeoutMs);
    // True when the process ended within `timeoutMs` after WM_CLOSE.
    bool close(DWORD timeoutMs);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// The visible child of `parent` of this window class (first found); null
// when there is none.
HWND findChildOfClass(HWND parent, const char* className);
// The item texts (first column) of a list view, which may belong to another
// process: read through a buffer inside that process.
std::vector<std::string> listViewTexts(HWND list);
// The text of a tree-view item, read the same way.
std::string treeViewText(HWND tree, HTREEITEM item);

}  // namespace kestrel::shellext::test
