// FolderView: the notifications of its list view, of the list's header and
// of the browser's toolbar tooltips.
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/menu_items.h"
#include "shellext/context_menu_verbs.h"
#include "shellext/resource_ids.h"
#include "shellext/transfer.h"

namespace kestrel::shellext {

namespace {

// Releases the interface when it goes.
template <class T>
struct Held {
    T* pointer = nullptr;
    ~Held() {
        if (pointer != nullptr) pointer->Release();
    }
};

// The wait cursor while it lives.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// The tooltip string of a toolbar command: 9 to 12 for commands 14 to 17.
UINT tooltipString(UINT_PTR command) { return static_cast<UINT>(command - CMD_LARGE_ICONS + IDS_LARGE_ICONS); }

}  // namespace

LRESULT FolderView::onNotify(NMHDR& header) {
    switch (header.code) {
    case TTN_GETDISPINFOA:
    case TTN_GETDISPINFOW: return onToolTip(header);
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW: onHeaderEndTrack(reinterpret_cast<NMHEADERA&>(header)); return 0;
    default: break;
    }
    if (header.hwndFrom != listView_ || listView_ == nullptr) return 0;
    return onListNotify(header);
}

LRESULT FolderView::onListNotify(NMHDR& header) {
    switch (header.code) {
    case LVN_GETDISPINFOA: onGetDisplayInfo(reinterpret_cast<NMLVDISPINFOA&>(header).item); return 0;
    case LVN_GETDISPINFOW: onGetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(header).item); return 0;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW: return onBeginLabelEdit(reinterpret_cast<NMLVDISPINFOA&>(header).item.iItem);
    case LVN_ENDLABELEDITA: {
        const LVITEMA& item = reinterpret_cast<NMLVDISPINFOA&>(header).item;
        return onEndLabelEdit(item.iItem, item.pszText == nullptr ? nullptr : wideText(item.pszText).c_str());
    }
    case LVN_ENDLABELEDITW: {
        const LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
        return onEndLabelEdit(item.iItem, item.pszText);
    }
    case LVN_DELETEITEM:
        allocator_->free(reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<NMLISTVIEW&>(header).lParam));
        return 0;
    case LVN_ITEMCHANGED: onItemChanged(reinterpret_cast<NMLISTVIEW&>(header)); return 0;
    case NM_SETFOCUS: onListFocus(true); return 0;
    case NM_KILLFOCUS: onListFocus(false); return 0;
    case LVN_ITEMACTIVATE: onItemActivate(); return 0;
    case LVN_BEGINDRAG: onBeginDrag(MK_LBUTTON); return 0;
    case LVN_BEGINRDRAG: onBeginDrag(MK_RBUTTON); return 0;
    default: return 0;
    }
}

std::wstring FolderView::wideText(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

BOOL FolderView::onBeginLabelEdit(int index) {
    LPCITEMIDLIST item = itemAt(index);
    SFGAOF attributes = 0;
    if (item == nullptr || FAILED(folder_->GetAttributesOf(1, &item, &attributes)) ||
        !(attributes & SFGAO_CANRENAME))
        return TRUE;  // refused
    labelEditing_ = true;
    return FALSE;
}

BOOL FolderView::onEndLabelEdit(int index, const wchar_t* text) {
    labelEditing_ = false;
    LPCITEMIDLIST item = itemAt(index);
    if (text == nullptr || item == nullptr) return FALSE;
    LPITEMIDLIST renamed = nullptr;
    const HRESULT result = folder_->SetNameOf(nullptr, item, text, SHGDN_NORMAL, &renamed);
    if (FAILED(result) || renamed == nullptr) return FALSE;  // the label keeps its old text
    replaceItem(index, renamed);
    allocator_->free(renamed);
    tellBrowser(CDBOSC_RENAME);
    return TRUE;
}

void FolderView::onItemChanged(const NMLISTVIEW& change) {
    checkModeButton();
    if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
        tellBrowser(CDBOSC_SELCHANGE);
}

void FolderView::onListFocus(bool gained) {
    if (gained) {
        if (browser_ != nullptr) browser_->OnViewWindowActive(this);
        UIActivate(SVUIA_ACTIVATE_FOCUS);
        tellBrowser(CDBOSC_SETFOCUS);
    } else {
        UIActivate(SVUIA_ACTIVATE_NOFOCUS);
        tellBrowser(CDBOSC_KILLFOCUS);
    }
}

void FolderView::onItemActivate() {
    if (dialogBrowser_ != nullptr && dialogBrowser_->OnDefaultCommand(this) == S_OK) return;
    runContextMenu(POINT{0, 0}, true, 0);
}

void FolderView::onBeginDrag(DWORD button) {
    WaitCursor wait;
    auto items = selectedItems();
    if (items.empty()) return;
    Held<IDataObject> data;
    Held<IDropSource> source;
    if (FAILED(CreateItemDataObject(folder_, items.data(), static_cast<UINT>(items.size()), &data.pointer)) ||
        FAILED(CreateItemDropSource(button, &source.pointer)))
        return;
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data.pointer, source.pointer, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
}

void FolderView::onHeaderEndTrack(const NMHEADERA& change) {
    if (listView_ == nullptr) return;
    // The header tells the width the user chose before it applies it.
    int width = ListView_GetColumnWidth(listView_, 0);
    if (change.iItem == 0 && change.pitem != nullptr && (change.pitem->mask & HDI_WIDTH)) width = change.pitem->cxy;
    ServerModule::instance().setNameColumnWidth(width);
    ListView_SetColumnWidth(listView_, 1, LVSCW_AUTOSIZE_USEHEADER);
}

void FolderView::tellBrowser(ULONG change) {
    if (dialogBrowser_ != nullptr) dialogBrowser_->OnStateChange(this, change);
}

LRESULT FolderView::onToolTip(NMHDR& header) {
    if (!isViewModeCommand(static_cast<UINT>(header.idFrom))) return 0;
    const UINT id = tooltipString(header.idFrom);
    if (header.code == TTN_GETDISPINFOA) {
        auto& info = reinterpret_cast<NMTTDISPINFOA&>(header);
        LoadStringA(ServerModule::instance().resources(), id, info.szText, 80);
    } else {
        auto& info = reinterpret_cast<NMTTDISPINFOW&>(header);
        LoadStringW(ServerModule::instance().resources(), id, info.szText, 80);
    }
    return 0;
}

}  // namespace kestrel::shellext
