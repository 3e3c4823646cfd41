#include "shellext/context_menu_open.h"

#include "platform/message_box.h"
#include "shellext/registry_key.h"
#include "shellext/trace.h"

#include <cstdio>

namespace kestrel::shellext {

namespace {

constexpr size_t MAX_CLASS = 260;

// Closes the process handle ShellExecuteEx hands back.
struct ProcessHandle {
    HANDLE handle = nullptr;
    ~ProcessHandle() {
        if (handle != nullptr) CloseHandle(handle);
    }
};

}  // namespace

std::string extensionOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    if (path.find_first_of(" /", dot + 1) != std::string::npos) return {};
    return path.substr(dot);
}

std::string fileClassOf(const std::string& extension) {
    std::string fallback = extension.substr(0, MAX_CLASS);
    if (extension.empty()) return fallback;
    RegistryKey key = RegistryKey::open(HKEY_CLASSES_ROOT, extension.c_str(), KEY_READ);
    if (!key) return fallback;
    char value[MAX_CLASS + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_CLASS;  // one byte stays for the terminating zero
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return fallback;
    value[size < MAX_CLASS ? size : MAX_CLASS] = '\0';
    return value;
}

void executeFolder(LPCITEMIDLIST absolute, const char* verb, HWND window) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_IDLIST | SEE_MASK_CLASSNAME;
    info.lpIDList = const_cast<LPITEMIDLIST>(absolute);
    info.lpClass = "folder";
    info.lpVerb = verb;
    info.hwnd = window;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
}

void executeFile(const std::string& hostPath) {
    const std::string fileClass = fileClassOf(extensionOf(hostPath));
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = hostPath.c_str();
    info.lpClass = fileClass.c_str();
    info.nShow = SW_SHOWNORMAL;
    const BOOL started = ShellExecuteExA(&info);
    ProcessHandle process{info.hProcess};
    if (started) return;
    char text[64];
    std::snprintf(text, sizeof text, "ShellExecuteEx returned %d",
                  static_cast<int>(reinterpret_cast<INT_PTR>(info.hInstApp)));
    platform::showMessageBox({text, "ShellExecuteEx failed"});
}

}  // namespace kestrel::shellext
