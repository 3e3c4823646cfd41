#include "shellext/menu_items.h"

#include "shellext/server_module.h"

namespace kestrel::shellext {

std::string loadResourceString(UINT id) {
    char text[256] = {};
    const int length = LoadStringA(ServerModule::instance().resources(), id, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

bool insertStringItem(HMENU menu, UINT position, UINT command, UINT textId, UINT state, HMENU submenu) {
    std::string text = loadResourceString(textId);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | (submenu != nullptr ? MIIM_SUBMENU : 0u);
    item.fType = MFT_STRING;
    item.fState = state;
    item.wID = command;
    item.hSubMenu = submenu;
    item.dwTypeData = text.data();
    item.cch = static_cast<UINT>(text.size());
    return InsertMenuItemA(menu, position, TRUE, &item) != FALSE;
}

bool insertSeparator(HMENU menu, UINT position, UINT command) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
    item.fType = MFT_SEPARATOR;
    item.fState = MFS_ENABLED;
    item.wID = command;
    return InsertMenuItemA(menu, position, TRUE, &item) != FALSE;
}

void separatorCheck(HMENU menu, UINT& position) {
    const int count = GetMenuItemCount(menu);
    if (count <= 0) return;
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE;
    const bool read = GetMenuItemInfoA(menu, position, TRUE, &item) != FALSE;
    if (read && (item.fType & MFT_SEPARATOR)) {
        ++position;
        return;
    }
    if (insertSeparator(menu, position)) ++position;
}

HMENU submenuOf(HMENU menu, UINT command) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, command, FALSE, &item)) return nullptr;
    return item.hSubMenu;
}

UINT itemState(HMENU menu, UINT command) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    if (!GetMenuItemInfoA(menu, command, FALSE, &item)) return ~0u;
    return item.fState;
}

}  // namespace kestrel::shellext
