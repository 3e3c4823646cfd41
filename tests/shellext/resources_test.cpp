// The library's resources as the system reads them: the string table, the
// icon groups with their sizes and colour depths, the accelerators, the
// "Confirm File Replace" dialog and the progress animation.
#include "tests/shellext/harness/shellext_library.h"
#include "tests/shellext/harness/test_window.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

namespace kestrel::shellext::test {
namespace {

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(libraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    // The bytes of resource `id` of `type`.
    std::vector<uint8_t> resource(LPCSTR type, int id) const {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return {};
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
        return std::vector<uint8_t>(data, data + SizeofResource(module_, found));
    }
    std::string text(int id) const {
        char buffer[256] = {};
        LoadStringA(module_, static_cast<UINT>(id), buffer, sizeof buffer);
        return buffer;
    }

    HMODULE module_ = nullptr;
};

TEST_F(ResourcesTest, TheStringTableHoldsTheNameAndTheMenuTexts) {
    const std::map<int, std::string> expected = {
        {5, "Kestrel"},      {8, "View"},           {9, "Lar&ge Icons"}, {10, "S&mall Icons"},
        {11, "&List"},       {12, "&Details"},      {13, "New"},         {14, "New &Folder"},
        {15, "New &Item"},   {16, "&Paste"},        {17, "&Explore"},    {18, "&Open"},
        {19, "&Rename"},     {20, "Cu&t"},          {21, "&Copy"},       {22, "&Delete"},
        {23, "&Modify Data"}};
    for (const auto& [id, wanted] : expected) EXPECT_EQ(text(id), wanted) << "string " << id;
}

BOOL CALLBACK collectGroup(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<int>*>(found)->push_back(static_cast<int>(
        reinterpret_cast<uintptr_t>(name)));
    return TRUE;
}

TEST_F(ResourcesTest, FourIconGroupsWithTheirSizesAndColourDepths) {
    std::vector<int> groups;
    EnumResourceNamesA(module_, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, collectGroup,
                       reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, (std::vector<int>{4, 5, 9, 100})) << "so icon index 3 is group 100";

    using Image = std::tuple<int, int>;  // size, bits per pixel
    const std::set<Image> large = {{16, 4}, {16, 8}, {32, 4}, {32, 8}, {48, 4}, {48, 8}};
    const std::set<Image> small = {{16, 4}, {16, 8}, {32, 4}, {32, 8}};
    for (const int group : {4, 5, 9, 100}) {
        SCOPED_TRACE("icon group " + std::to_string(group));
        const auto bytes = resource(MAKEINTRESOURCEA(14), group);
        ASSERT_GE(bytes.size(), 6u);
        const int count = bytes[4] | (bytes[5] << 8);
        ASSERT_EQ(bytes.size(), 6u + 14u * static_cast<size_t>(count));
        std::set<Image> images;
        for (int i = 0; i < count; ++i) {
            const uint8_t* entry = bytes.data() + 6 + 14 * i;
            EXPECT_EQ(entry[0], entry[1]) << "square";
            images.insert({entry[0], entry[6] | (entry[7] << 8)});
            const int id = entry[12] | (entry[13] << 8);
            EXPECT_FALSE(resource(MAKEINTRESOURCEA(3) /* RT_ICON */, id).empty()) << "image " << id;
        }
        EXPECT_EQ(images, group == 100 ? small : large);
        for (const int size : {16, 32}) {
            HICON icon = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(group), IMAGE_ICON, size, size, 0));
            EXPECT_NE(icon, nullptr) << size;
            if (icon != nullptr) DestroyIcon(icon);
        }
    }
}

TEST_F(ResourcesTest, TheViewAcceleratorsGiveTheEditCommands) {
    HACCEL table = LoadAcceleratorsA(module_, MAKEINTRESOURCEA(101));
    ASSERT_NE(table, nullptr);
    ACCEL keys[8];
    const int count = CopyAcceleratorTableA(table, keys, 8);
    std::set<std::tuple<int, int, int>> found;  // key, control held, command
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(keys[i].fVirt & FVIRTKEY);
        found.insert({keys[i].key, (keys[i].fVirt & FCONTROL) != 0, keys[i].cmd});
    }
    EXPECT_EQ(found, (std::set<std::tuple<int, int, int>>{{'C', 1, 9}, {'V', 1, 11}, {VK_DELETE, 0, 8}, {'X', 1, 10}}));
    DestroyAcceleratorTable(table);
}

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST_F(ResourcesTest, TheReplaceDialogAsksWithFourButtonsOnOneRow) {
    const auto bytes = resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, 111);
    ASSERT_GE(bytes.size(), 18u);
    const DWORD style = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
    EXPECT_TRUE(style & DS_SETFONT);
    EXPECT_EQ(bytes[14] | (bytes[15] << 8), 240) << "width in dialog units";
    EXPECT_EQ(bytes[16] | (bytes[17] << 8), 79) << "height in dialog units";

    HWND dialog = CreateDialogParamA(module_, MAKEINTRESOURCEA(111), nullptr, quietDialog, 0);
    ASSERT_NE(dialog, nullptr);
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Confirm File Replace");
    char question[128] = {};
    GetDlgItemTextA(dialog, 1006, question, sizeof question);
    EXPECT_STREQ(question, "Are you sure you want to overwrite this item?");
    EXPECT_NE(GetDlgItem(dialog, 1007), nullptr) << "the static that receives the file name";

    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");

    RECT previous{};
    bool first = true;
    for (const int button : {IDYES, 8, IDNO, IDCANCEL}) {  // Yes, Yes to All, No, Cancel
        HWND control = GetDlgItem(dialog, button);
        ASSERT_NE(control, nullptr) << button;
        RECT at{};
        GetWindowRect(control, &at);
        if (!first) {
            EXPECT_EQ(at.top, previous.top) << "one row";
            EXPECT_GT(at.left, previous.right) << "left to right";
        }
        previous = at;
        first = false;
    }
    DestroyWindow(dialog);
}

TEST_F(ResourcesTest, TheProgressAnimationPlaysInAnAnimationControl) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    TestWindow window;
    ASSERT_NE(window.frame(), nullptr);
    HWND animation = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | ACS_TRANSPARENT, 0, 0, 200, 60,
                                     window.frame(), nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(animation, nullptr);
    // The real library, not a data file: the control reads the clip itself.
    HMODULE library = LoadLibraryA(libraryPath().c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(library), 103));
    EXPECT_TRUE(SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, -1))) << "more than one frame";
    EXPECT_TRUE(SendMessageA(animation, ACM_STOP, 0, 0));
    SendMessageA(animation, ACM_OPENA, 0, 0);
    DestroyWindow(animation);
    FreeLibrary(library);
}

}  // namespace
}  // namespace kestrel::shellext::test
