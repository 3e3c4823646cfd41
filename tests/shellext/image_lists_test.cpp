// The image lists every view shares: file icons are added once per file
// extension, and the lists stop growing at their bound.
#include "shellext/image_lists.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::shellext::test {
namespace {

class ImageListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        lists.build(GetModuleHandleA(nullptr));  // this program carries the library's icons
        ASSERT_NE(lists.small(), nullptr);
        ASSERT_NE(lists.large(), nullptr);
        ASSERT_EQ(ImageList_GetImageCount(lists.small()), 4);
    }
    // Counts the extractions; hands out copies the lists may destroy.
    int fileImage(const std::string& extension) {
        return lists.fileImage(extension, [this](HICON* large, HICON* small) {
            ++extracted;
            *large = CopyIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));
            *small = CopyIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));
        });
    }
    ImageLists lists;
    int extracted = 0;
};

TEST_F(ImageListsTest, AFileExtensionGetsItsIconsOnceInBothLists) {
    EXPECT_EQ(fileImage(".txt"), 4);
    EXPECT_EQ(fileImage(".TXT"), 4) << "extensions compare without regard to case";
    EXPECT_EQ(fileImage(".txt"), 4);
    EXPECT_EQ(fileImage(""), 5) << "files without an extension";
    EXPECT_EQ(fileImage(".mp3"), 6);
    EXPECT_EQ(extracted, 3);
    EXPECT_EQ(ImageList_GetImageCount(lists.small()), 7);
    EXPECT_EQ(ImageList_GetImageCount(lists.large()), 7);
}

TEST_F(ImageListsTest, TheListsStopGrowingAtTheirBound) {
    for (size_t i = 0; i < MAX_FILE_IMAGES + 50; ++i) fileImage(".x" + std::to_string(i));
    EXPECT_EQ(ImageList_GetImageCount(lists.small()), static_cast<int>(4 + MAX_FILE_IMAGES));
    EXPECT_EQ(ImageList_GetImageCount(lists.large()), static_cast<int>(4 + MAX_FILE_IMAGES));
    EXPECT_EQ(fileImage(".new"), IMAGE_FILE) << "past the bound a file shows the generic picture";
    EXPECT_EQ(fileImage(".x0"), 4) << "what was added stays";
    EXPECT_EQ(extracted, static_cast<int>(MAX_FILE_IMAGES));
}

TEST_F(ImageListsTest, AnExtensionWithoutBothIconsAddsNothing) {
    const int index = lists.fileImage(".half", [](HICON* large, HICON*) {
        *large = CopyIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));
    });
    EXPECT_EQ(index, -1);
    EXPECT_EQ(ImageList_GetImageCount(lists.small()), 4);
    EXPECT_EQ(ImageList_GetImageCount(lists.large()), 4);
}

}  // namespace
}  // namespace kestrel::shellext::test
