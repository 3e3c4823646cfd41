#include "shellext/drop_menu.h"

#include "shellext/menu_handle.h"

namespace kestrel::shellext {

namespace {

enum : UINT { CHOICE_COPY = 1, CHOICE_MOVE = 2, CHOICE_CANCEL = 3 };

}  // namespace

DWORD chooseDropEffectFromMenu(HWND owner, POINT at, DWORD allowed) {
    if (owner == nullptr || !(allowed & (DROPEFFECT_COPY | DROPEFFECT_MOVE))) return DROPEFFECT_NONE;
    OwnedMenu menu(CreatePopupMenu());
    if (!menu) return DROPEFFECT_NONE;
    if (allowed & DROPEFFECT_COPY) AppendMenuA(menu.get(), MF_STRING, CHOICE_COPY, "&Copy here");
    if (allowed & DROPEFFECT_MOVE) AppendMenuA(menu.get(), MF_STRING, CHOICE_MOVE, "&Move here");
    AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu.get(), MF_STRING, CHOICE_CANCEL, "Cancel");
    SetMenuDefaultItem(menu.get(), (allowed & DROPEFFECT_COPY) ? CHOICE_COPY : CHOICE_MOVE, FALSE);
    const auto chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, at.x, at.y, 0, owner, nullptr));
    switch (chosen) {
    case CHOICE_COPY: return DROPEFFECT_COPY;
    case CHOICE_MOVE: return DROPEFFECT_MOVE;
    default: return DROPEFFECT_NONE;
    }
}

}  // namespace kestrel::shellext
