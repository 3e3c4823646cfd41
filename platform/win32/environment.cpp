// Environment variables of the process itself (GetEnvironmentVariableA),
// not of a C runtime's copy: a DLL linked with its own static C runtime
// sees what the program set after the DLL was loaded. Setting also goes
// through _putenv so that this module's C runtime agrees.
#include "platform/environment.h"

#include "platform/win32/win32.h"

#include <cstdlib>
#include <vector>

namespace kestrel::platform {

std::optional<std::string> getEnv(const char* name) {
    const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::vector<char> value(needed);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), needed);
    if (length >= needed) return std::nullopt;  // changed in between
    return std::string(value.data(), length);
}

void setEnv(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.c_str());
    const std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
}

void unsetEnv(const char* name) {
    SetEnvironmentVariableA(name, nullptr);
    const std::string assignment = std::string(name) + "=";
    _putenv(assignment.c_str());
}

}  // namespace kestrel::platform
