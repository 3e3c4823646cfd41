// FolderView: its commands (WM_COMMAND), the context menu procedure and the
// view modes.
#include "shellext/context_menu_verbs.h"
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/item_context_menu.h"
#include "shellext/trace.h"
#include "shellext/transfer.h"
#include "shellext/view_settings.h"

namespace kestrel::shellext {

namespace {

// Releases the menu object when it goes.
struct HeldMenu {
    IContextMenu* pointer = nullptr;
    ~HeldMenu() {
        if (pointer != nullptr) pointer->Release();
    }
    void** out() { return reinterpret_cast<void**>(&pointer); }
};

constexpr int TRACK_MENU = -1;

}  // namespace

void FolderView::onCommand(UINT command) {
    SHX_TRACE("FolderView::onCommand(%u)\n", command);
    if (labelEditing_) return;
    if (command == CMD_COPY || command == CMD_CUT)
        clipboardCommand(command);
    else if (command == CMD_PASTE)
        PasteFromOleClipboard(folder_);
    else
        runContextMenu(POINT{0, 0}, false, static_cast<int>(command));
}

void FolderView::clipboardCommand(UINT command) {
    auto items = selectedItems();
    const bool cut = command == CMD_CUT;
    const HRESULT result = CopyToOleClipboard(folder_, items.data(), static_cast<UINT>(items.size()), cut);
    if (cut && SUCCEEDED(result)) markCut(items.data(), static_cast<UINT>(items.size()));
}

UINT FolderView::contextMenuFlags(size_t selected) const {
    UINT flags = CMF_NORMAL;
    HWND tree = nullptr;
    if (browser_ != nullptr && SUCCEEDED(browser_->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr)
        flags |= CMF_EXPLORE;
    if (selected > 1) flags |= CMF_MANY_ITEMS;
    return flags;
}

void FolderView::runContextMenu(POINT point, bool runDefault, int command) {
    auto selected = uiState_ != UiState::ActiveNoFocus ? selectedItems() : std::vector<LPCITEMIDLIST>{};
    HeldMenu menuObject;
    const HRESULT made =
        selected.empty()
            ? folder_->CreateViewObject(window_, IID_IContextMenu, menuObject.out())
            : folder_->GetUIObjectOf(parent_, static_cast<UINT>(selected.size()), selected.data(), IID_IContextMenu,
                                     nullptr, menuObject.out());
    if (FAILED(made) || menuObject.pointer == nullptr) return;
    OwnedMenu popup(CreatePopupMenu());
    if (!popup) return;
    menuObject.pointer->QueryContextMenu(popup.get(), 0, 0, 100, contextMenuFlags(selected.size()));
    int chosen = command;
    if (runDefault) {
        const UINT found = GetMenuDefaultItem(popup.get(), FALSE, 0);
        if (found == static_cast<UINT>(-1)) return;
        chosen = static_cast<int>(found);
    } else if (command == TRACK_MENU) {
        chosen = TrackPopupMenu(popup.get(), TPM_RETURNCMD | TPM_LEFTALIGN, point.x, point.y, 0, window_, nullptr);
    }
    if (chosen <= 0) {
        // nothing chosen
    } else if (isViewModeCommand(static_cast<UINT>(chosen))) {
        setViewMode(static_cast<UINT>(chosen));
    } else {
        CMINVOKECOMMANDINFO information{};
        information.cbSize = sizeof information;
        information.hwnd = window_;
        information.lpVerb = MAKEINTRESOURCEA(chosen);
        information.nShow = SW_SHOWNORMAL;
        menuObject.pointer->InvokeCommand(&information);
    }
    checkModeButton();
}

void FolderView::setViewMode(UINT command) {
    settings_.ViewMode = command - CMD_LARGE_ICONS + FVM_ICON;
    if (listView_ == nullptr) return;
    LONG_PTR style = GetWindowLongPtrA(listView_, GWL_STYLE);
    style = (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | listTypeStyle(settings_.ViewMode);
    SetWindowLongPtrA(listView_, GWL_STYLE, style);
    SendMessageA(listView_, LVM_ARRANGE, LVA_ALIGNTOP, 0);
    if (settings_.ViewMode == FVM_LIST) {
        InvalidateRect(listView_, nullptr, TRUE);
        UpdateWindow(listView_);
        ListView_SetColumnWidth(listView_, 0, 200);
    }
}

}  // namespace kestrel::shellext
