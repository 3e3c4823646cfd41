#include "shellext/image_lists.h"

#include "shellext/resource_ids.h"

namespace kestrel::shellext {

namespace {

// Icon groups in image-list order.
constexpr int ICON_GROUPS[] = {IDI_DOCUMENT, IDI_DEVICE, IDI_FOLDER_CLOSED, IDI_FOLDER_OPEN};

HIMAGELIST createList(HINSTANCE resources, int width, int height, int initial) {
    HIMAGELIST list = ImageList_Create(width, height, ILC_MASK | ILC_COLORDDB, initial, 0);
    if (list == nullptr) return nullptr;
    for (const int group : ICON_GROUPS) {
        auto icon = static_cast<HICON>(LoadImageA(resources, MAKEINTRESOURCEA(group), IMAGE_ICON, width, height, 0));
        ImageList_ReplaceIcon(list, -1, icon);
        if (icon != nullptr) DestroyIcon(icon);
    }
    return list;
}

}  // namespace

void ImageLists::build(HINSTANCE resources) {
    destroy();
    small_ = createList(resources, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 3);
    large_ = createList(resources, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 4);
}

void ImageLists::destroy() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (small_ != nullptr) ImageList_Destroy(small_);
    if (large_ != nullptr) ImageList_Destroy(large_);
    small_ = large_ = nullptr;
    fileImages_.clear();
}

std::string ImageLists::foldedCase(const std::string& text) {
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

int ImageLists::addPair(HICON large, HICON small) const {
    // Both lists grow together, so that an index names the same picture in
    // each; without both icons nothing is added.
    if (large == nullptr || small == nullptr || large_ == nullptr || small_ == nullptr) return -1;
    const int count = ImageList_GetImageCount(large_);
    if (count != ImageList_GetImageCount(small_)) return -1;
    const int largeIndex = ImageList_ReplaceIcon(large_, -1, large);
    const int smallIndex = ImageList_ReplaceIcon(small_, -1, small);
    if (largeIndex != count || smallIndex != count) {
        if (largeIndex >= 0) ImageList_Remove(large_, largeIndex);
        if (smallIndex >= 0) ImageList_Remove(small_, smallIndex);
        return -1;
    }
    return count;
}

}  // namespace kestrel::shellext
