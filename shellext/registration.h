// Registration of the folder class and of its place under My Computer
// (DllRegisterServer, DllUnregisterServer).
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::shellext {

inline constexpr const char* MY_COMPUTER_NAMESPACE =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace";
inline constexpr const char* DESKTOP_NAMESPACE =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
inline constexpr const char* APPROVED_EXTENSIONS =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
// ShellFolder "Attributes": SFGAO_HASSUBFOLDER, SFGAO_FOLDER,
// SFGAO_FILESYSANCESTOR and SFGAO_DROPTARGET. Not SFGAO_FILESYSTEM: the
// device folder is no folder of the host's file system.
inline constexpr uint32_t REGISTERED_FOLDER_ATTRIBUTES = 0xB0000100;

struct RegistryValue {
    HKEY root;
    std::string key;
    std::string name;  // empty: the key's default value
    DWORD type;
    std::vector<uint8_t> data;  // REG_SZ texts with their terminating zero
};

// What registration writes, in order: the class key with its
// InprocServer32, DefaultIcon and ShellFolder subkeys, the My Computer
// namespace key, and on Windows NT the entry in the list of approved shell
// extensions.
std::vector<RegistryValue> registrationValues(const std::string& clsid, const std::string& libraryPath,
                                              const std::string& productName, bool windowsNt);

// Writes the values in order, each key created or opened (non-volatile,
// KEY_WRITE) and closed again. A key that cannot be created ends the work
// with SELFREG_E_CLASS (what was written stays); a value that cannot be
// written is passed over.
HRESULT writeRegistryValues(const std::vector<RegistryValue>& values);

// The registry as subtree deletion sees it (paths below one root key).
class KeyTree {
public:
    virtual ~KeyTree() = default;
    // The key can be opened for enumerating its subkeys.
    virtual bool exists(const std::string& path) = 0;
    // The name of the subkey at `index`; none at the end.
    virtual std::optional<std::string> subkey(const std::string& path, uint32_t index) = 0;
    // Deletes the key (which must have no subkeys).
    virtual bool remove(const std::string& path) = 0;
};

// A KeyTree over one of the system's root keys.
class SystemKeyTree final : public KeyTree {
public:
    explicit SystemKeyTree(HKEY root) : root_(root) {}
    bool exists(const std::string& path) override;
    std::optional<std::string> subkey(const std::string& path, uint32_t index) override;
    bool remove(const std::string& path) override;

private:
    HKEY root_;
};

// Deletes `path` with all its subkeys, depth first. A subkey that cannot be
// deleted is stepped over, so the work always ends (the key itself then
// stays too). True when the key is gone or was not there.
bool deleteSubtree(KeyTree& tree, const std::string& path);

// The system is of the Windows NT family (GetVersionEx platform 2).
bool windowsNtPlatform();

// DllRegisterServer for the library `module`.
HRESULT registerServer(HMODULE module, const std::string& productName);

// DllUnregisterServer: removes the My Computer and Desktop namespace keys
// and the class key with their subtrees (missing ones are passed over); on
// Windows NT the approved-extension entry (SELFREG_E_CLASS when that list
// cannot be opened); then tells the shell that the Desktop and My Computer
// changed.
HRESULT unregisterServer(const std::string& clsid, bool windowsNt);

}  // namespace kestrel::shellext
