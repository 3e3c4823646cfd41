// The two icon image lists that every view of the extension shares: small
// (SM_CXSMICON x SM_CYSMICON) and large (SM_CXICON x SM_CYICON) icons, with
// the same image at the same index in both:
//   0  a file (icon group 100)     1  the device root (group 9)
//   2  a closed folder (group 4)   3  an open folder (group 5)
// They are built once per process, at library load.
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext {

inline constexpr int IMAGE_FILE = 0;
inline constexpr int IMAGE_DISK = 1;
inline constexpr int IMAGE_FOLDER = 2;
inline constexpr int IMAGE_FOLDER_OPEN = 3;

class ImageLists {
public:
    ImageLists() = default;
    ~ImageLists() { destroy(); }
    ImageLists(const ImageLists&) = delete;
    ImageLists& operator=(const ImageLists&) = delete;

    // Destroys any earlier lists, then creates both and loads the icons of
    // `resources` into them. A list that cannot be created stays null.
    void build(HINSTANCE resources);
    void destroy();

    HIMAGELIST small() const { return small_; }
    HIMAGELIST large() const { return large_; }

private:
    HIMAGELIST small_ = nullptr;
    HIMAGELIST large_ = nullptr;
};

}  // namespace kestrel::shellext
