#include "tests/fwupdate/program_driver.h"

#include "fwupdate/core/control_ids.h"
#include "fwupdate/core/identity.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace kestrel::fwupdate::test {

namespace {

bool pollFor(uint32_t realMs, const auto& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Search {
    DWORD processId;
    std::string className;
    std::string caption;  // empty: any
    HWND found = nullptr;
};

BOOL CALLBACK findTopLevel(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (search.className != name) return TRUE;
    if (!search.caption.empty() && windowText(window) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

HWND findWindowOf(DWORD processId, const std::string& className, const std::string& caption) {
    Search search{processId, className, caption};
    EnumWindows(findTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

std::string windowText(HWND window) {
    wchar_t text[512] = {};
    const int length = InternalGetWindowText(window, text, 512);
    std::string narrow;
    for (int i = 0; i < length; ++i) narrow += static_cast<char>(text[i] < 0x80 ? text[i] : '?');
    return narrow;
}

ProgramDriver::ProgramDriver(const std::string& program, const std::string& arguments, const std::string& folder) {
    std::string commandLine = "fwupdate.exe";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info))
        return;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

ProgramDriver::~ProgramDriver() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, PATIENCE_MS);
    }
    CloseHandle(process_);
}

HWND ProgramDriver::waitForWindow(uint32_t realMs) {
    const auto start = std::chrono::steady_clock::now();
    if (!pollFor(realMs, [&] { return (main_ = findWindowOf(processId_, APP_NAME, "")) != nullptr; })) return nullptr;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const auto left = static_cast<DWORD>(std::max<int64_t>(0, int64_t{realMs} - spent.count()));
    return WaitForInputIdle(process_, left) == 0 ? main_ : nullptr;
}

HWND ProgramDriver::dialog() const { return FindWindowExA(main_, nullptr, MAKEINTATOM(32770), nullptr); }

HWND ProgramDriver::control(int id) const { return GetDlgItem(dialog(), id); }

std::string ProgramDriver::text(int id) const { return windowText(control(id)); }

bool ProgramDriver::checked(int id) const {
    DWORD_PTR state = 0;
    // Not SMTO_ABORTIFHUNG: a program slow to reach its message loop after
    // start-up counts as hung to wine and the request would fail at once.
    if (!SendMessageTimeoutA(control(id), BM_GETCHECK, 0, 0, SMTO_NORMAL, PATIENCE_MS, &state)) return false;
    return state == BST_CHECKED;
}

void ProgramDriver::click(int id) const {
    PostMessageA(dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control(id)));
}

void ProgramDriver::requestClose() const { PostMessageA(main_, WM_CLOSE, 0, 0); }

HWND ProgramDriver::waitForBox(const std::string& caption, uint32_t realMs) const {
    HWND box = nullptr;
    pollFor(realMs, [&] { return (box = findWindowOf(processId_, "#32770", caption)) != nullptr; });
    return box;
}

HWND ProgramDriver::anyBox() const { return findWindowOf(processId_, "#32770", ""); }

std::string ProgramDriver::boxText(HWND box) { return windowText(GetDlgItem(box, 0xFFFF)); }

bool ProgramDriver::answer(HWND box, int id) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return pollFor(PATIENCE_MS, [&] { return !IsWindow(box); });
}

bool ProgramDriver::waitForEnabled(int id, uint32_t realMs) const {
    return pollFor(realMs, [&] { return enabled(id); });
}

bool ProgramDriver::waitForAction(const std::string& expected, uint32_t realMs) const {
    return pollFor(realMs, [&] { return text(IDC_ACTION) == expected; });
}

int ProgramDriver::waitForExit(uint32_t realMs) {
    if (process_ == nullptr || WaitForSingleObject(process_, realMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

}  // namespace kestrel::fwupdate::test
