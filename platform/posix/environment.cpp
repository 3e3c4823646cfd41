#include "platform/environment.h"

#include <cstdlib>

namespace kestrel::platform {

std::optional<std::string> getEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void setEnv(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void unsetEnv(const char* name) { ::unsetenv(name); }

}  // namespace kestrel::platform
