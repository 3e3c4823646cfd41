#include "tests/shellext/harness/registry_probe.h"

#include "shellext/registry_key.h"

namespace kestrel::shellext::test {

std::string StoredValue::text() const {
    std::string value(data.begin(), data.end());
    if (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

std::optional<StoredValue> readValue(HKEY root, const std::string& key, const std::string& name) {
    const RegistryKey opened = RegistryKey::open(root, key.c_str(), KEY_READ);
    if (!opened) return std::nullopt;
    const char* valueName = name.empty() ? nullptr : name.c_str();
    StoredValue value;
    DWORD size = 0;
    if (RegQueryValueExA(opened.get(), valueName, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    if (size != 0 &&
        RegQueryValueExA(opened.get(), valueName, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

bool keyExists(HKEY root, const std::string& key) {
    return static_cast<bool>(RegistryKey::open(root, key.c_str(), KEY_READ));
}

bool writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::vector<uint8_t>& data) {
    const RegistryKey created = RegistryKey::create(root, key.c_str(), KEY_WRITE);
    if (!created) return false;
    return RegSetValueExA(created.get(), name.empty() ? nullptr : name.c_str(), 0, type, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

void removeTree(HKEY root, const std::string& key) { SHDeleteKeyA(root, key.c_str()); }

}  // namespace kestrel::shellext::test
