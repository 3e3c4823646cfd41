// qlxshlext.dll loaded as Explorer loads it: LoadLibrary, the four exports
// looked up by name, and at the end DllCanUnloadNow before FreeLibrary.
#pragma once

#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext::test {

// The library next to the test program.
std::string libraryPath();

class ShellExtLibrary {
public:
    explicit ShellExtLibrary(const std::string& path = libraryPath());
    // Unloads (without the checks of unload()) if still loaded.
    ~ShellExtLibrary();
    ShellExtLibrary(const ShellExtLibrary&) = delete;
    ShellExtLibrary& operator=(const ShellExtLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& error() const { return error_; }
    HMODULE module() const { return module_; }

    HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** out) const;
    HRESULT canUnloadNow() const;
    HRESULT registerServer() const;
    HRESULT unregisterServer() const;

    // FreeLibrary, as COM does once DllCanUnloadNow said S_OK. True when the
    // library is then gone from the process (nothing kept it loaded).
    bool unload();

private:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using PlainFunction = HRESULT(STDAPICALLTYPE*)();

    HMODULE module_ = nullptr;
    std::string error_;
    GetClassObjectFunction getClassObject_ = nullptr;
    PlainFunction canUnloadNow_ = nullptr;
    PlainFunction registerServer_ = nullptr;
    PlainFunction unregisterServer_ = nullptr;
};

// Runs a program of the system (e.g. "regsvr32.exe /s ...") and waits for
// it: its exit code, or -1 when it could not be started or did not end in
// `timeoutMs`.
int runProgram(const std::string& commandLine, DWORD timeoutMs = 60000);

}  // namespace kestrel::shellext::test
