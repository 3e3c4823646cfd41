// Environment variables through the C runtime, whose _putenv also updates
// the process environment that child processes inherit. The C runtime cannot
// hold an empty value: setting one removes the variable there.
#include "platform/environment.h"

#include <cstdlib>

namespace kestrel::platform {

std::optional<std::string> getEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void setEnv(const char* name, const std::string& value) {
    const std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
}

void unsetEnv(const char* name) {
    const std::string assignment = std::string(name) + "=";
    _putenv(assignment.c_str());
}

}  // namespace kestrel::platform
