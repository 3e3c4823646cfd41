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
    return fileIcons(IdAllocator::nameText(IdAllocator::last(item)), icon.pointer);
}

int FolderView::fileIcons(const std::string& name, IExtractIconA* extractor) {
    // The picture of a file depends on its extension alone (from the last
    // "."), so each extension is added to the shared lists once.
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    return ServerModule::instance().imageLists().fileImage(extension, [extractor](HICON* large, HICON* small) {
        extractor->Extract("", static_cast<UINT>(-1), large, small, static_cast<UINT>(-1));
    });
}

}  // namespace kestrel::shellext
