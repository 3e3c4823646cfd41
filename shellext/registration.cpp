#include "shellext/registration.h"

#include "platform/byte_order.h"
#include "shellext/clsid.h"
#include "shellext/registry_key.h"
#include "shellext/trace.h"

namespace kestrel::shellext {

namespace {

RegistryValue textValue(HKEY root, std::string key, std::string name, const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return {root, std::move(key), std::move(name), REG_SZ, std::move(data)};
}

// Tells the shell that the folder `csidl` changed.
void announceUpdate(int csidl) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) return;
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, list, nullptr);
    CoTaskMemFree(list);
}

}  // namespace

std::vector<RegistryValue> registrationValues(const std::string& clsid, const std::string& libraryPath,
                                              const std::string& productName, bool windowsNt) {
    const std::string classKey = "CLSID\\" + clsid;
    std::vector<RegistryValue> values;
    values.push_back(textValue(HKEY_CLASSES_ROOT, classKey, "", productName));
    values.push_back(textValue(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "", libraryPath));
    values.push_back(textValue(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel", "Apartment"));
    values.push_back(textValue(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "LoadWithoutCOM", ""));
    values.push_back(textValue(HKEY_CLASSES_ROOT, classKey + "\\DefaultIcon", "", libraryPath + ",3"));
    std::vector<uint8_t> attributes(4);
    storeLe32(attributes.data(), REGISTERED_FOLDER_ATTRIBUTES);
    values.push_back({HKEY_CLASSES_ROOT, classKey + "\\ShellFolder", "Attributes", REG_BINARY, attributes});
    values.push_back({HKEY_CLASSES_ROOT, classKey + "\\ShellFolder", "WantsFORPARSING", REG_SZ, {}});
    values.push_back(
        textValue(HKEY_LOCAL_MACHINE, std::string(MY_COMPUTER_NAMESPACE) + "\\" + clsid, "", productName));
    if (windowsNt) values.push_back(textValue(HKEY_LOCAL_MACHINE, APPROVED_EXTENSIONS, clsid, productName));
    return values;
}

HRESULT writeRegistryValues(const std::vector<RegistryValue>& values) {
    for (const RegistryValue& value : values) {
        const RegistryKey key = RegistryKey::create(value.root, value.key.c_str(), KEY_WRITE);
        if (!key) return SELFREG_E_CLASS;
        (void)RegSetValueExA(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                             value.data.data(), static_cast<DWORD>(value.data.size()));
    }
    return S_OK;
}

bool SystemKeyTree::exists(const std::string& path) {
    return static_cast<bool>(RegistryKey::open(root_, path.c_str(), KEY_ENUMERATE_SUB_KEYS));
}

std::optional<std::string> SystemKeyTree::subkey(const std::string& path, uint32_t index) {
    const RegistryKey key = RegistryKey::open(root_, path.c_str(), KEY_ENUMERATE_SUB_KEYS);
    if (!key) return std::nullopt;
    char name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(name, length);
}

bool SystemKeyTree::remove(const std::string& path) { return RegDeleteKeyA(root_, path.c_str()) == ERROR_SUCCESS; }

bool deleteSubtree(KeyTree& tree, const std::string& path) {
    if (!tree.exists(path)) return true;
    uint32_t index = 0;
    while (const auto name = tree.subkey(path, index)) {
        if (!deleteSubtree(tree, path + "\\" + *name)) ++index;
    }
    return tree.remove(path);
}

bool windowsNtPlatform() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

HRESULT registerServer(HMODULE module, const std::string& productName) {
    const std::string clsid = clsidText();
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    SHX_TRACE("DllRegisterServer %s '%.*s'\n", clsid.c_str(), static_cast<int>(length), path);
    // A path that filled the buffer may have been cut: never register that.
    if (clsid.empty() || length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
    return writeRegistryValues(registrationValues(clsid, std::string(path, length), productName, windowsNtPlatform()));
}

HRESULT unregisterServer(const std::string& clsid, bool windowsNt) {
    SHX_TRACE("DllUnregisterServer %s\n", clsid.c_str());
    if (clsid.empty()) return E_FAIL;
    SystemKeyTree machine(HKEY_LOCAL_MACHINE);
    SystemKeyTree classes(HKEY_CLASSES_ROOT);
    deleteSubtree(machine, std::string(MY_COMPUTER_NAMESPACE) + "\\" + clsid);
    deleteSubtree(machine, std::string(DESKTOP_NAMESPACE) + "\\" + clsid);
    deleteSubtree(classes, "CLSID\\" + clsid);
    if (windowsNt) {
        const RegistryKey approved = RegistryKey::open(HKEY_LOCAL_MACHINE, APPROVED_EXTENSIONS, KEY_SET_VALUE);
        if (!approved) return SELFREG_E_CLASS;
        RegDeleteValueA(approved.get(), clsid.c_str());
    }
    announceUpdate(CSIDL_DESKTOP);
    announceUpdate(CSIDL_DRIVES);
    return S_OK;
}

}  // namespace kestrel::shellext
