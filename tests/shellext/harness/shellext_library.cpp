#include "tests/shellext/harness/shellext_library.h"

#include "platform/win32/unique_handle.h"
#include "tests/sim/sim_test_support.h"

#include <utility>
#include <vector>

namespace kestrel::shellext::test {

std::string libraryPath() { return sim::test::siblingFile("qlxshlext.dll"); }

namespace {

template <class Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ShellExtLibrary::ShellExtLibrary(const std::string& path) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
        error_ = "LoadLibrary(" + path + ") failed: " + std::to_string(GetLastError());
        return;
    }
    getClassObject_ = lookUp<GetClassObjectFunction>(module_, "DllGetClassObject");
    canUnloadNow_ = lookUp<PlainFunction>(module_, "DllCanUnloadNow");
    registerServer_ = lookUp<PlainFunction>(module_, "DllRegisterServer");
    unregisterServer_ = lookUp<PlainFunction>(module_, "DllUnregisterServer");
    if (!getClassObject_ || !canUnloadNow_ || !registerServer_ || !unregisterServer_) {
        error_ = "an export is missing";
        FreeLibrary(std::exchange(module_, nullptr));
    }
}

ShellExtLibrary::~ShellExtLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

HRESULT ShellExtLibrary::getClassObject(REFCLSID clsid, REFIID riid, void** out) const {
    return getClassObject_(clsid, riid, out);
}
HRESULT ShellExtLibrary::canUnloadNow() const { return canUnloadNow_(); }
HRESULT ShellExtLibrary::registerServer() const { return registerServer_(); }
HRESULT ShellExtLibrary::unregisterServer() const { return unregisterServer_(); }

bool ShellExtLibrary::unload() {
    if (module_ == nullptr) return false;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module_, path, MAX_PATH);
    FreeLibrary(std::exchange(module_, nullptr));
    return GetModuleHandleA(path) == nullptr;
}

int runProgram(const std::string& commandLine, DWORD timeoutMs) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    const platform::win32::UniqueHandle processHandle(process.hProcess);
    const platform::win32::UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

}  // namespace kestrel::shellext::test
