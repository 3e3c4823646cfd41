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
// Explorer is another process, so the texts of its tree and list controls
// are read through a buffer allocated inside that process.
#include "platform/win32/win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* EXPLORER_CLASS = "ExplorerWClass";

// A block of memory inside another process.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
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
    size_t size_;
};

constexpr size_t TEXT_OFFSET = 256;
constexpr size_t TEXT_SIZE = 512;

std::string treeItemText(HWND tree, HTREEITEM item) {
    RemoteBuffer remote(tree, TEXT_OFFSET + TEXT_SIZE);
    if (!remote.valid()) return {};
    TVITEMA query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = remote.at(TEXT_OFFSET);
    query.cchTextMax = TEXT_SIZE;
    remote.write(0, &query, sizeof query);
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0)))) return {};
    char text[TEXT_SIZE] = {};
    remote.read(TEXT_OFFSET, text, TEXT_SIZE - 1);
    return text;
}

std::vector<std::string> listTexts(HWND list) {
    std::vector<std::string> texts;
    RemoteBuffer remote(list, TEXT_OFFSET + TEXT_SIZE);
    if (!remote.valid()) return texts;
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA query{};
        query.iSubItem = 0;
        query.pszText = remote.at(TEXT_OFFSET);
        query.cchTextMax = TEXT_SIZE;
        remote.write(0, &query, sizeof query);
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0)));
        char text[TEXT_SIZE] = {};
        remote.read(TEXT_OFFSET, text, TEXT_SIZE - 1);
        texts.emplace_back(text);
    }
    return texts;
}

struct ChildSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK findChild(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, search->className) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND child(HWND parent, const char* className) {
    ChildSearch search{className, nullptr};
    EnumChildWindows(parent, findChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

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
