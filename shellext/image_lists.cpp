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
    if (small_ != nullptr) ImageList_Destroy(small_);
    if (large_ != nullptr) ImageList_Destroy(large_);
    small_ = large_ = nullptr;
}

}  // namespace kestrel::shellext
