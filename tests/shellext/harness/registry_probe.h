// Reading and preparing the registry in tests.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    // A REG_SZ value as text, without its terminating zero.
    std::string text() const;
};

std::optional<StoredValue> readValue(HKEY root, const std::string& key, const std::string& name);
bool keyExists(HKEY root, const std::string& key);
bool writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::vector<uint8_t>& data);
// Removes a key with all its subkeys (missing keys are fine).
void removeTree(HKEY root, const std::string& key);

}  // namespace kestrel::shellext::test
