#include "shellext/type_text.h"

#include "shellext/shell_api.h"

namespace kestrel::shellext {

std::string shellTypeName(const std::string& extension) {
    SHFILEINFOA info{};
    if (SHGetFileInfoA(extension.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME) == 0)
        return {};
    info.szTypeName[sizeof info.szTypeName - 1] = '\0';
    return info.szTypeName;
}

std::string itemTypeText(ItemType type, const std::string& name, TypeNameLookup lookup) {
    switch (type) {
    case ItemType::Disk:
        return "Disk";
    case ItemType::Folder:
        return "Folder";
    default:
        break;
    }
    const size_t dot = name.find('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string text = lookup(extension);
    if (text.empty()) {
        if (!extension.empty()) CharUpperBuffA(extension.data(), static_cast<DWORD>(extension.size()));
        text = extension + " File";
    }
    if (text.size() > item_layout::MAX_TYPE_TEXT) text.resize(item_layout::MAX_TYPE_TEXT);
    return text;
}

}  // namespace kestrel::shellext
