// Device paths as people write them, and the short names the library
// stores as they are.
#include "tools/device_path.h"

#include <gtest/gtest.h>

namespace kestrel::cli {
namespace {

TEST(DevicePathTest, SlashesAreSeparatorsAndTheLeadingOneIsOptional) {
    std::string error;
    for (const char* text : {"/MUSIC/A.MP3", "MUSIC/A.MP3", "//MUSIC//A.MP3/"}) {
        const auto path = parseDevicePath(text, &error);
        ASSERT_TRUE(path) << text << ": " << error;
        EXPECT_EQ(path->components(), (std::vector<std::string>{"MUSIC", "A.MP3"})) << text;
        EXPECT_EQ(path->text(), "/MUSIC/A.MP3");
    }
    const auto root = parseDevicePath("/", &error);
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->isRoot());
    EXPECT_EQ(root->text(), "/");
    EXPECT_EQ(parseDevicePath("/A/My long name.txt", &error)->name(), "My long name.txt");
}

TEST(DevicePathTest, ComponentsNoEntryCanCarryAreRefusedWithTheReason) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"/A/../B", "'.' and '..'"},
        {"/./B", "'.' and '..'"},
        {"/A*B", "the character *"},
        {"/A?", "the character ?"},
        {"/A:B", "the character :"},
        {"/A\\B", "the character \\"},
        {"/caf\xC3\xA9", "non-ASCII"},
        {"/A\tB", "control character"},
        {"/" + std::string(40, 'A'), "longer than 39"},
    };
    for (const auto& [text, reason] : refused) {
        std::string error;
        EXPECT_FALSE(parseDevicePath(text, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
    }
    std::string error;
    EXPECT_TRUE(parseDevicePath("/" + std::string(39, 'A'), &error));
}

TEST(DevicePathTest, ShortNamesAreEightDotThreeFromTheDosSet) {
    for (const char* name : {"A", "A.MP3", "readme.txt", "ABCDEFGH.ABC", "~1", "A-B_C$", "X.Y", "{}!#.%&'"}) {
        EXPECT_TRUE(isShortName(name)) << name;
    }
    for (const char* name : {"", ".", ".X", "A.", "ABCDEFGHI", "A.MPEG", "A.B.C", "A B", "A+B", "A,B", "A;B", "A=B",
                             "A[1]", "A.B C"}) {
        EXPECT_FALSE(isShortName(name)) << name;
    }
}

TEST(DevicePathTest, LibraryPathsAreInCapitalsWithBackslashesAndLimitedInLength) {
    EXPECT_EQ(oryxPathOf({}), std::optional<std::string>("dev0:\\"));
    EXPECT_EQ(oryxPathOf({"music", "a.mp3"}), std::optional<std::string>("dev0:\\MUSIC\\A.MP3"));
    // 6 + 28 x 9 - 1 = 257 bytes, and "\X" makes the most the library takes.
    std::vector<std::string> deep(28, "ABCDEFGH");
    deep.push_back("X");
    EXPECT_EQ(oryxPathOf(deep)->size(), 259u);
    deep.back() = "XY";
    EXPECT_FALSE(oryxPathOf(deep));
}

}  // namespace
}  // namespace kestrel::cli
