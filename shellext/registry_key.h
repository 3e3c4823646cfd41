// RAII owner of an open registry key.
#pragma once

#include "shellext/shell_api.h"

#include <utility>

namespace kestrel::shellext {

class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : key_(key) {}
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) reset(std::exchange(other.key_, nullptr));
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { reset(); }

    // Opens `path` below `root`; an empty owner when that fails.
    static RegistryKey open(HKEY root, const char* path, REGSAM access) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS) return {};
        return RegistryKey(key);
    }
    // Creates (or opens) `path` below `root`, non-volatile.
    static RegistryKey create(HKEY root, const char* path, REGSAM access) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return {};
        return RegistryKey(key);
    }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void reset(HKEY key = nullptr) {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = key;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace kestrel::shellext
