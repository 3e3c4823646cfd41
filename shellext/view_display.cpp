// FolderView: the texts and images the list view asks for (LVN_GETDISPINFO).
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/icon_handle.h"
#include "shellext/view_columns.h"

namespace kestrel::shellext {

namespace {

// Releases the interface when it goes.
struct HeldIcon {
    IExtractIconA* pointer = nullptr;
    ~HeldIcon() {
        if (pointer != nullptr) pointer->Release();
    }
};

// The item's name (the display name relative to its folder).
std::string nameOf(DeviceFolder& folder, LPCITEMIDLIST item) {
    STRRET name{};
    if (FAILED(folder.GetDisplayNameOf(item, SHGDN_INFOLDER, &name))) return {};
    char text[MAX_PATH] = {};
    StrRetToBufA(&name, item, text, MAX_PATH);
    return text;
}

}  // namespace

std::string FolderView::itemText(LPCITEMIDLIST item, int column) const {
    return column == 0 ? nameOf(*folder_, item) : columnText(column, item);
}

void FolderView::onGetDisplayInfo(LVITEMA& entry) {
    const auto item = reinterpret_cast<LPCITEMIDLIST>(entry.lParam);
    if (item == nullptr) return;
    if ((entry.mask & LVIF_TEXT) && entry.pszText != nullptr && entry.cchTextMax > 0)
        lstrcpynA(entry.pszText, itemText(item, entry.iSubItem).c_str(), entry.cchTextMax);
    if ((entry.mask & LVIF_IMAGE) && entry.iSubItem == 0) entry.iImage = itemImage(item);
    entry.mask |= LVIF_DI_SETITEM;
}

void FolderView::onGetDisplayInfo(LVITEMW& entry) {
    const auto item = reinterpret_cast<LPCITEMIDLIST>(entry.lParam);
    if (item == nullptr) return;
    if ((entry.mask & LVIF_TEXT) && entry.pszText != nullptr && entry.cchTextMax > 0) {
        const std::string text = itemText(item, entry.iSubItem);
        if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, entry.pszText, entry.cchTextMax) == 0)
            entry.pszText[entry.cchTextMax - 1] = L'\0';
    }
    if ((entry.mask & LVIF_IMAGE) && entry.iSubItem == 0) entry.iImage = itemImage(item);
    entry.mask |= LVIF_DI_SETITEM;
}

int FolderView::itemImage(LPCITEMIDLIST item) {
    HeldIcon icon;
    if (FAILED(folder_->GetUIObjectOf(window_, 1, &item, IID_IExtractIconA, nullptr,
                                      reinterpret_cast<void**>(&icon.pointer))) ||
        icon.pointer == nullptr)
        return -1;
    char file[MAX_PATH] = {};
    int index = -1;
    UINT flags = 0;
    if (FAILED(icon.pointer->GetIconLocation(GIL_FORSHELL, file, MAX_PATH, &index, &flags))) return -1;
    if (!(flags & GIL_SIMULATEDOC)) return index;
    return appendFileIcons(icon.pointer);
}

int FolderView::appendFileIcons(IExtractIconA* extractor) {
    HICON largeIcon = nullptr;
    HICON smallIcon = nullptr;
    extractor->Extract("", static_cast<UINT>(-1), &largeIcon, &smallIcon, static_cast<UINT>(-1));
    const OwnedIcon large(largeIcon);
    const OwnedIcon small(smallIcon);
    const ImageLists& images = ServerModule::instance().imageLists();
    // Both lists grow together, so that an index names the same picture in
    // each; an item without both icons shows without an image.
    if (!large || !small || images.large() == nullptr || images.small() == nullptr) return -1;
    const int largeIndex = ImageList_ReplaceIcon(images.large(), -1, large.get());
    const int smallIndex = ImageList_ReplaceIcon(images.small(), -1, small.get());
    return settings_.ViewMode == FVM_ICON ? largeIndex : smallIndex;
}

}  // namespace kestrel::shellext
