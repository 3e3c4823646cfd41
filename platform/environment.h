// Environment variables.
#pragma once

#include <optional>
#include <string>

namespace kestrel::platform {

std::optional<std::string> getEnv(const char* name);
void setEnv(const char* name, const std::string& value);
void unsetEnv(const char* name);

}  // namespace kestrel::platform
