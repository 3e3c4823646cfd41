// The two icon image lists that every view of the extension shares: small
// (SM_CXSMICON x SM_CYSMICON) and large (SM_CXICON x SM_CYICON) icons, with
// the same image at the same index in both:
//   0  a file (icon group 100)     1  the device root (group 9)
//   2  a closed folder (group 4)   3  an open folder (group 5)
// They are built once per process, at library load. The icons of files
// follow: one pair per file extension (the picture depends on nothing
// else), at most MAX_FILE_IMAGES pairs; past that a file shows image 0.
#pragma once

#include "shellext/shell_api.h"

#include <map>
#include <mutex>
#include <string>

namespace kestrel::shellext {

inline constexpr int IMAGE_FILE = 0;
inline constexpr int IMAGE_DISK = 1;
inline constexpr int IMAGE_FOLDER = 2;
inline constexpr int IMAGE_FOLDER_OPEN = 3;
inline constexpr size_t MAX_FILE_IMAGES = 256;

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

    // The index of the file icons of `extension` (compared without regard
    // to case) in both lists: the one added before, or else the pair that
    // `extract` gives (large, small), copied in and then destroyed.
    // IMAGE_FILE once MAX_FILE_IMAGES extensions have their pictures; -1
    // when no pair can be had. Views of several threads share the lists.
    template <class Extract>
    int fileImage(const std::string& extension, Extract&& extract) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::string key = foldedCase(extension);
        if (const auto found = fileImages_.find(key); found != fileImages_.end()) return found->second;
        if (fileImages_.size() >= MAX_FILE_IMAGES) return IMAGE_FILE;
        HICON large = nullptr;
        HICON small = nullptr;
        extract(&large, &small);
        const int index = addPair(large, small);
        if (large != nullptr) DestroyIcon(large);
        if (small != nullptr) DestroyIcon(small);
        if (index >= 0) fileImages_.emplace(key, index);
        return index;
    }

private:
    static std::string foldedCase(const std::string& text);
    // Both icons at the end of both lists; their index, or -1.
    int addPair(HICON large, HICON small) const;

    HIMAGELIST small_ = nullptr;
    HIMAGELIST large_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::map<std::string, int> fileImages_;
};

}  // namespace kestrel::shellext
