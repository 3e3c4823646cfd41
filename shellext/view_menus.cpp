// FolderView: activation, its entries in Explorer's File, Edit and View
// menus, the toolbar buttons of the view modes and the status bar text.
#include "shellext/clipboard_session.h"
#include "shellext/context_menu_verbs.h"
#include "shellext/folder_view.h"
#include "shellext/menu_items.h"
#include "shellext/trace.h"
#include "shellext/view_settings.h"

namespace kestrel::shellext {

namespace {

struct ToolbarButton {
    int image;
    UINT command;
};

constexpr ToolbarButton VIEW_BUTTONS[] = {
    {VIEW_LARGEICONS, CMD_LARGE_ICONS},
    {VIEW_SMALLICONS, CMD_SMALL_ICONS},
    {VIEW_LIST, CMD_LIST},
    {VIEW_DETAILS, CMD_DETAILS},
};

UINT endOf(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    return count > 0 ? static_cast<UINT>(count) : 0u;
}

// The position of the item with `command`; the end of the menu without one.
UINT positionOf(HMENU menu, UINT command) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        if (GetMenuItemID(menu, i) == command) return static_cast<UINT>(i);
    return endOf(menu);
}

}  // namespace

HRESULT FolderView::UIActivate(UINT state) {
    SHX_TRACE("FolderView::UIActivate(%u)\n", state);
    const auto next = static_cast<UiState>(state);
    if (next == uiState_) return S_OK;
    removeMergedMenu();
    if (next != UiState::Deactivated) mergeMenus(next);
    uiState_ = next;
    checkModeButton();
    if (next != UiState::Deactivated) {
        if (next == UiState::ActiveFocus) focusList();
        setStatusText();
    }
    return S_OK;
}

void FolderView::removeMergedMenu() {
    if (!mergedMenu_) return;
    if (browser_ != nullptr) {
        browser_->SetMenuSB(nullptr, nullptr, nullptr);
        browser_->RemoveMenusSB(mergedMenu_.get());
    }
    mergedMenu_.reset();
}

void FolderView::mergeMenus(UiState state) {
    if (browser_ == nullptr) return;
    OwnedMenu menu(CreateMenu());
    if (!menu) return;
    OLEMENUGROUPWIDTHS widths{};
    browser_->InsertMenusSB(menu.get(), &widths);
    const bool focus = state == UiState::ActiveFocus;
    if (HMENU file = submenuOf(menu.get(), FCIDM_MENU_FILE)) mergeFileMenu(file, focus);
    if (HMENU edit = submenuOf(menu.get(), FCIDM_MENU_EDIT)) mergeEditMenu(edit, focus);
    if (HMENU view = submenuOf(menu.get(), FCIDM_MENU_VIEW)) mergeViewMenu(view);
    browser_->SetMenuSB(menu.get(), nullptr, window_);
    mergedMenu_ = std::move(menu);
}

void FolderView::mergeFileMenu(HMENU file, bool focus) {
    UINT position = 0;
    insertSeparator(file, position++, CMD_SEPARATOR);
    if (!focus) return;
    insertStringItem(file, position++, CMD_DELETE, IDS_DELETE);
    insertStringItem(file, position++, CMD_RENAME, IDS_RENAME);
    insertSeparator(file, position++);
}

void FolderView::mergeEditMenu(HMENU edit, bool focus) {
    if (focus) {
        insertStringItem(edit, endOf(edit), CMD_CUT, IDS_CUT);
        insertStringItem(edit, endOf(edit), CMD_COPY, IDS_COPY);
    }
    insertStringItem(edit, endOf(edit), CMD_PASTE, IDS_PASTE);
}

void FolderView::mergeViewMenu(HMENU view) {
    UINT position = positionOf(view, FCIDM_MENU_VIEW_SEP_OPTIONS);
    insertSeparator(view, position++, CMD_SEPARATOR);
    const UINT texts[] = {IDS_LARGE_ICONS, IDS_SMALL_ICONS, IDS_LIST, IDS_DETAILS};
    for (UINT i = 0; i < 4; ++i) insertStringItem(view, position++, CMD_LARGE_ICONS + i, texts[i]);
}

void FolderView::onInitMenuPopup(HMENU menu) {
    if (menu == nullptr) return;
    EnableMenuItem(menu, CMD_PASTE, MF_BYCOMMAND | (clipboardHoldsPasteableData() ? MF_ENABLED : MF_GRAYED));
    const bool selected = listView_ != nullptr && ListView_GetSelectedCount(listView_) > 0;
    EnableMenuItem(menu, CMD_CUT, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, CMD_COPY, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
    CheckMenuRadioItem(menu, CMD_LARGE_ICONS, CMD_DETAILS, viewModeCommand(settings_.ViewMode), MF_BYCOMMAND);
}

void FolderView::setStatusText() {
    if (browser_ == nullptr) return;
    int parts[] = {-1};
    LRESULT result = 0;
    browser_->SendControlMsg(FCW_STATUS, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts), &result);
    browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTA, 0,
                             reinterpret_cast<LPARAM>(ServerModule::instance().productName().c_str()), &result);
}

void FolderView::setUpToolbar() {
    browser_->SetToolbarItems(nullptr, 0, FCT_MERGE);
    TBADDBITMAP bitmap{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    LRESULT standardOffset = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &standardOffset);
    bitmap.nID = IDB_VIEW_SMALL_COLOR;
    LRESULT viewOffset = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &viewOffset);
    viewBitmapOffset_ = static_cast<int>(viewOffset);
    TBBUTTON buttons[4] = {};
    for (int i = 0; i < 4; ++i) {
        buttons[i].iBitmap = viewBitmapOffset_ + VIEW_BUTTONS[i].image;
        buttons[i].idCommand = static_cast<int>(VIEW_BUTTONS[i].command);
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = TBSTYLE_CHECKGROUP;
        buttons[i].iString = -1;
    }
    browser_->SetToolbarItems(buttons, 4, FCT_MERGE);
    checkModeButton();
}

void FolderView::checkModeButton() {
    if (browser_ == nullptr) return;
    LRESULT result = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_CHECKBUTTON, viewModeCommand(settings_.ViewMode), TRUE, &result);
}

}  // namespace kestrel::shellext
