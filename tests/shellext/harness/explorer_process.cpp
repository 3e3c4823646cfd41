#include "tests/shellext/harness/explorer_process.h"

#include <commctrl.h>

#include <algorithm>

namespace kestrel::shellext::test {

namespace {

// A block of memory inside the process that owns a window.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        if (process_ != nullptr)
            address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_ != nullptr) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool valid() const { return address_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool write(size_t offset, const void* data, size_t length) const {
        return WriteProcessMemory(process_, at(offset), data, length, nullptr) != 0;
    }
    bool read(size_t offset, void* data, size_t length) const {
        return ReadProcessMemory(process_, at(offset), data, length, nullptr) != 0;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

constexpr size_t TEXT_OFFSET = 256;
constexpr size_t TEXT_SIZE = 512;

struct ChildSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK matchChild(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, search->className) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct TopLevelSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<TopLevelSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string itemText(HWND tree, HTREEITEM item) {
    RemoteBuffer remote(tree, TEXT_OFFSET + TEXT_SIZE);
    if (!remote.valid()) return {};
    TVITEMA query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = remote.at(TEXT_OFFSET);
    query.cchTextMax = TEXT_SIZE;
    char text[TEXT_SIZE] = {};
    if (!remote.write(0, &query, sizeof query) ||
        !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0))))
        return {};
    remote.read(TEXT_OFFSET, text, TEXT_SIZE - 1);
    return text;
}

HTREEITEM treeNext(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// The sibling from `first` on with this text; null when none has it.
HTREEITEM siblingNamed(HWND tree, HTREEITEM first, const std::string& text) {
    for (HTREEITEM item = first; item != nullptr; item = treeNext(tree, TVGN_NEXT, item))
        if (itemText(tree, item) == text) return item;
    return nullptr;
}

HTREEITEM expandedChildren(HWND tree, HTREEITEM item) {
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    return treeNext(tree, TVGN_CHILD, item);
}

// The item at the end of `path`, as selectInTree describes; null if none.
HTREEITEM findTreePath(HWND tree, const std::vector<std::string>& path) {
    if (path.empty()) return nullptr;
    HTREEITEM roots = treeNext(tree, TVGN_ROOT, nullptr);
    HTREEITEM item = siblingNamed(tree, roots, path.front());
    for (HTREEITEM root = roots; item == nullptr && root != nullptr; root = treeNext(tree, TVGN_NEXT, root))
        item = siblingNamed(tree, expandedChildren(tree, root), path.front());
    for (size_t at = 1; item != nullptr && at < path.size(); ++at)
        item = siblingNamed(tree, expandedChildren(tree, item), path[at]);
    return item;
}

bool listsAll(const std::vector<std::string>& names, const std::vector<std::string>& expected) {
    return std::all_of(expected.begin(), expected.end(), [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    });
}

}  // namespace

HWND findChildOfClass(HWND parent, const char* className) {
    ChildSearch search{className, nullptr};
    EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string treeViewText(HWND tree, HTREEITEM item) { return itemText(tree, item); }

std::vector<std::string> listViewTexts(HWND list) {
    std::vector<std::string> texts;
    RemoteBuffer remote(list, TEXT_OFFSET + TEXT_SIZE);
    if (!remote.valid()) return texts;
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA query{};
        query.iSubItem = 0;
        query.pszText = remote.at(TEXT_OFFSET);
        query.cchTextMax = TEXT_SIZE;
        char text[TEXT_SIZE] = {};
        if (remote.write(0, &query, sizeof query) &&
            SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0))) >= 0)
            remote.read(TEXT_OFFSET, text, TEXT_SIZE - 1);
        texts.emplace_back(text);
    }
    return texts;
}

ExplorerProcess::ExplorerProcess(const std::string& arguments) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string commandLine = std::string("\"") + windows + "\\explorer.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
}

ExplorerProcess::~ExplorerProcess() {
    if (process_ == nullptr) return;
    if (!close(10000)) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

HWND ExplorerProcess::waitForWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        TopLevelSearch search{id_, nullptr};
        EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return nullptr;
        Sleep(100);
    }
}

std::vector<std::string> ExplorerProcess::waitForNames(HWND window, const std::vector<std::string>& expected,
                                                       DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::vector<std::string> names;
    for (;;) {
        if (HWND list = findChildOfClass(window, WC_LISTVIEWA)) names = listViewTexts(list);
        if (listsAll(names, expected) || GetTickCount() - start > timeoutMs) return names;
        Sleep(100);
    }
}

bool ExplorerProcess::selectInTree(HWND window, const std::vector<std::string>& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND tree = findChildOfClass(window, WC_TREEVIEWA)) {
            if (HTREEITEM item = findTreePath(tree, path))
                return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
        }
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(200);
    }
}

bool ExplorerProcess::close(DWORD timeoutMs) {
    if (process_ == nullptr) return true;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process_, 100) == WAIT_TIMEOUT) {
        TopLevelSearch search{id_, nullptr};
        EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) PostMessageA(search.found, WM_CLOSE, 0, 0);
        if (GetTickCount() - start > timeoutMs) return false;
    }
    return true;
}

}  // namespace kestrel::shellext::test
