// ItemContextMenu: the entries it puts into a menu.
#include "shellext/clipboard_session.h"
#include "shellext/context_menu_verbs.h"
#include "shellext/device_folder.h"
#include "shellext/item_context_menu.h"
#include "shellext/menu_handle.h"
#include "shellext/menu_items.h"

namespace kestrel::shellext {

namespace {

UINT grayedUnless(bool enabled) { return enabled ? MFS_ENABLED : MFS_GRAYED; }

}  // namespace

void ItemContextMenu::buildDefaultOnly(HMENU menu, UINT index, UINT first, UINT flags) const {
    if (flags & CMF_EXPLORE)
        insertStringItem(menu, index, first + CMD_EXPLORE, IDS_EXPLORE, MFS_DEFAULT);
    else
        insertStringItem(menu, index, first + CMD_OPEN, IDS_OPEN, MFS_DEFAULT);
}

void ItemContextMenu::buildBackground(HMENU menu, UINT index, UINT first) const {
    OwnedMenu view(CreatePopupMenu());
    if (!view) return;
    const UINT modes[] = {IDS_LARGE_ICONS, IDS_SMALL_ICONS, IDS_LIST, IDS_DETAILS};
    for (UINT i = 0; i < 4; ++i)
        insertStringItem(view.get(), static_cast<UINT>(GetMenuItemCount(view.get())), first + CMD_LARGE_ICONS + i,
                         modes[i]);
    if (!insertStringItem(menu, index, first + CMD_VIEW_MENU, IDS_VIEW, MFS_ENABLED, view.get())) return;
    view.release();  // the menu owns its submenu now
    UINT position = index + 1;
    separatorCheck(menu, position);
    insertStringItem(menu, position, first + CMD_PASTE, IDS_PASTE, grayedUnless(clipboardHoldsPasteableData()));
}

void ItemContextMenu::buildItemMenu(HMENU menu, UINT index, UINT first, UINT flags) const {
    SFGAOF attributes = 0;
    if (FAILED(folder_->GetAttributesOf(count_, const_cast<PCUITEMID_CHILD_ARRAY>(items_), &attributes)))
        attributes = 0;
    const bool many = (flags & CMF_MANY_ITEMS) != 0;
    UINT position = index;
    if (flags & CMF_EXPLORE) {
        insertStringItem(menu, position++, first + CMD_EXPLORE, IDS_EXPLORE, MFS_DEFAULT);
        insertStringItem(menu, position++, first + CMD_OPEN, IDS_OPEN);
    } else {
        insertStringItem(menu, position++, first + CMD_OPEN, IDS_OPEN, MFS_DEFAULT);
        insertStringItem(menu, position++, first + CMD_EXPLORE, IDS_EXPLORE);
    }
    if (attributes & SFGAO_CANRENAME) {
        separatorCheck(menu, position);
        insertStringItem(menu, position++, first + CMD_RENAME, IDS_RENAME, grayedUnless(!many));
    }
    separatorCheck(menu, position);
    insertStringItem(menu, position++, first + CMD_CUT, IDS_CUT, grayedUnless(attributes & SFGAO_CANMOVE));
    insertStringItem(menu, position++, first + CMD_COPY, IDS_COPY, grayedUnless(attributes & SFGAO_CANCOPY));
    if (attributes & SFGAO_CANDELETE) {
        separatorCheck(menu, position);
        insertStringItem(menu, position++, first + CMD_DELETE, IDS_DELETE);
    }
    if (!(attributes & SFGAO_FOLDER)) {
        separatorCheck(menu, position);
        insertStringItem(menu, position++, first + CMD_MODIFY_DATA, IDS_MODIFY_DATA, grayedUnless(!many));
    }
}

}  // namespace kestrel::shellext
