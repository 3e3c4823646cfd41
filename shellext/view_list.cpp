// FolderView: the list-view control, its columns and items, and the item
// operations that NotifyViews uses. Each item holds a copy of its one-element
// identifier list in its lParam; the copy goes with the item (LVN_DELETEITEM).
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/trace.h"
#include "shellext/view_columns.h"
#include "shellext/view_settings.h"

namespace kestrel::shellext {

namespace {

// Releases the enumerator when it goes.
struct HeldEnumerator {
    IEnumIDList* pointer = nullptr;
    ~HeldEnumerator() {
        if (pointer != nullptr) pointer->Release();
    }
};

// The list view's order: the folder's CompareIDs on the stored copies.
int CALLBACK compareStored(LPARAM first, LPARAM second, LPARAM folder) {
    const HRESULT order = reinterpret_cast<DeviceFolder*>(folder)->CompareIDs(
        0, reinterpret_cast<LPCITEMIDLIST>(first), reinterpret_cast<LPCITEMIDLIST>(second));
    return static_cast<int16_t>(order & 0xFFFF);
}

}  // namespace

bool FolderView::createListView() {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | LVS_SHAREIMAGELISTS |
                  LVS_SHOWSELALWAYS | LVS_EDITLABELS | listTypeStyle(settings_.ViewMode);
    if (settings_.fFlags & FWF_AUTOARRANGE) style |= LVS_AUTOARRANGE;
    RECT area{};
    GetClientRect(window_, &area);
    listView_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", style, 0, 0, area.right, area.bottom, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(LIST_VIEW_ID)),
                                ServerModule::instance().resources(), nullptr);
    return listView_ != nullptr;
}

void FolderView::insertColumns() {
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        LVCOLUMNA header{};
        header.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        header.fmt = COLUMNS[column].format;
        header.cx = COLUMNS[column].width;
        header.pszText = const_cast<char*>(COLUMNS[column].title);
        SendMessageA(listView_, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header));
    }
}

void FolderView::applyExtendedStyle() {
    if (listView_ != nullptr) ListView_SetExtendedListViewStyle(listView_, clickExtendedStyle());
}

void FolderView::fillList() {
    HeldEnumerator entries;
    if (FAILED(folder_->EnumObjects(window_, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &entries.pointer)) ||
        entries.pointer == nullptr)
        return;
    SendMessageA(listView_, WM_SETREDRAW, FALSE, 0);
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 0;
    while (entries.pointer->Next(1, &item, &fetched) == S_OK && fetched == 1) {
        OwnedItemList owned = allocator_->own(item);
        if (dialogBrowser_ == nullptr || dialogBrowser_->IncludeObject(this, owned.get()) == S_OK)
            insertItem(owned.get());
    }
    sortList();
    SendMessageA(listView_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView_, nullptr, TRUE);
    UpdateWindow(listView_);
}

bool FolderView::insertItem(LPCITEMIDLIST item) {
    LPITEMIDLIST copy = allocator_->clone(item);
    if (copy == nullptr) return false;
    LVITEMA entry{};
    entry.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    entry.iItem = ListView_GetItemCount(listView_);
    entry.pszText = LPSTR_TEXTCALLBACKA;
    entry.iImage = I_IMAGECALLBACK;
    entry.lParam = reinterpret_cast<LPARAM>(copy);
    if (SendMessageA(listView_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)) == -1) {
        allocator_->free(copy);
        return false;
    }
    return true;
}

void FolderView::sortList() { ListView_SortItems(listView_, compareStored, reinterpret_cast<LPARAM>(folder_)); }

LPCITEMIDLIST FolderView::itemAt(int index) const {
    LVITEMA entry{};
    entry.mask = LVIF_PARAM;
    entry.iItem = index;
    if (!SendMessageA(listView_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry))) return nullptr;
    return reinterpret_cast<LPCITEMIDLIST>(entry.lParam);
}

int FolderView::findItem(LPCITEMIDLIST item) const {
    if (listView_ == nullptr || item == nullptr) return -1;
    const int count = ListView_GetItemCount(listView_);
    for (int index = 0; index < count; ++index) {
        const HRESULT order = folder_->CompareIDs(0, itemAt(index), item);
        if (order >= 0 && (order & 0xFFFF) == 0) return index;
    }
    return -1;
}

std::vector<LPCITEMIDLIST> FolderView::selectedItems() const {
    std::vector<LPCITEMIDLIST> items;
    if (listView_ == nullptr) return items;
    for (int index = ListView_GetNextItem(listView_, -1, LVNI_SELECTED); index != -1;
         index = ListView_GetNextItem(listView_, index, LVNI_SELECTED))
        if (LPCITEMIDLIST item = itemAt(index)) items.push_back(item);
    return items;
}

std::vector<LPCITEMIDLIST> FolderView::allItems() const {
    std::vector<LPCITEMIDLIST> items;
    if (listView_ == nullptr) return items;
    const int count = ListView_GetItemCount(listView_);
    for (int index = 0; index < count; ++index)
        if (LPCITEMIDLIST item = itemAt(index)) items.push_back(item);
    return items;
}

void FolderView::replaceItem(int index, LPCITEMIDLIST newItem) {
    LPITEMIDLIST copy = allocator_->clone(newItem);
    if (copy == nullptr) return;
    allocator_->free(const_cast<LPITEMIDLIST>(itemAt(index)));
    // The name and icon were kept by the list view (LVIF_DI_SETITEM): ask
    // for them again.
    LVITEMA entry{};
    entry.mask = LVIF_PARAM | LVIF_TEXT | LVIF_IMAGE;
    entry.iItem = index;
    entry.pszText = LPSTR_TEXTCALLBACKA;
    entry.iImage = I_IMAGECALLBACK;
    entry.lParam = reinterpret_cast<LPARAM>(copy);
    SendMessageA(listView_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&entry));
    ListView_Update(listView_, index);
}

void FolderView::appendItem(LPCITEMIDLIST item) {
    SHX_TRACE("FolderView::appendItem(%p)\n", static_cast<const void*>(item));
    if (listView_ == nullptr || item == nullptr) return;
    // An item that replaced one of the same name (a paste over it) keeps
    // its one row, with what the new item says.
    const int index = findItem(item);
    if (index >= 0)
        replaceItem(index, item);
    else
        insertItem(item);
}

void FolderView::removeItem(LPCITEMIDLIST item) {
    SHX_TRACE("FolderView::removeItem(%p)\n", static_cast<const void*>(item));
    const int index = findItem(item);
    if (index >= 0) ListView_DeleteItem(listView_, index);
}

void FolderView::renameItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
    SHX_TRACE("FolderView::renameItem(%p,%p)\n", static_cast<const void*>(item), static_cast<const void*>(newItem));
    if (!labelEditing_) updateItem(item, newItem);
}

void FolderView::updateItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
    SHX_TRACE("FolderView::updateItem(%p,%p)\n", static_cast<const void*>(item), static_cast<const void*>(newItem));
    if (newItem == nullptr) return;
    const int index = findItem(item);
    if (index >= 0) replaceItem(index, newItem);
}

void FolderView::markCut(LPCITEMIDLIST const* items, UINT count) {
    SHX_TRACE("FolderView::markCut(%p,%u)\n", static_cast<const void*>(items), count);
    if (items == nullptr) return;
    for (UINT i = 0; i < count; ++i) {
        const int index = findItem(items[i]);
        if (index >= 0) ListView_SetItemState(listView_, index, LVIS_CUT, LVIS_CUT);
    }
}

void FolderView::editLabel(LPCITEMIDLIST item) {
    SHX_TRACE("FolderView::editLabel(%p)\n", static_cast<const void*>(item));
    if (listView_ == nullptr) return;
    focusList();
    const int index = findItem(item);
    if (index >= 0) SendMessageA(listView_, LVM_EDITLABELA, index, 0);
}

}  // namespace kestrel::shellext
