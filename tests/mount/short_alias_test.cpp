// Short names of new entries made through the library.
#include "mount/short_alias.h"

#include <gtest/gtest.h>

namespace kestrel::mount::test {
namespace {

TEST(ShortAlias, ShortFormsAreKeptAndOthersNumbered) {
    EXPECT_EQ(shortAliasFor("README.TXT", {}), "README.TXT");
    EXPECT_EQ(shortAliasFor("README.TXT", {"readme.txt"}), "README~1.TXT");
    EXPECT_EQ(shortAliasFor("Long Name File.txt", {}), "LONGNA~1.TXT");
    EXPECT_EQ(shortAliasFor("Long Name File.txt", {"LONGNA~1.TXT", "longna~2.txt"}), "LONGNA~3.TXT");
    EXPECT_EQ(shortAliasFor("archive.tar.gzip", {}), "ARCHIV~1.GZI");
    EXPECT_EQ(shortAliasFor(".hidden", {}), "HIDDEN~1");
    EXPECT_EQ(shortAliasFor("a+b", {}), "A_B~1");
    EXPECT_EQ(shortAliasFor("...", {}), "_~1");
    std::vector<std::string> taken;
    for (int n = 1; n <= 9; ++n) taken.push_back("LONGNA~" + std::to_string(n) + ".TXT");
    EXPECT_EQ(shortAliasFor("Long Name File.txt", taken), "LONGN~10.TXT");
}

TEST(ShortAlias, NamesTheLibraryWouldListChangedAreRecognised) {
    EXPECT_FALSE(libraryWouldChange("NOTES.TXT"));
    EXPECT_FALSE(libraryWouldChange("ABCDEFGH"));
    EXPECT_FALSE(libraryWouldChange("Long Name File.txt"));
    EXPECT_FALSE(libraryWouldChange("ABCDEFGHI"));     // nine characters: stored as a long name
    EXPECT_FALSE(libraryWouldChange("ABCDEFGH.TEXT"));
    EXPECT_TRUE(libraryWouldChange("notes.txt"));
    EXPECT_TRUE(libraryWouldChange("Notes.TXT"));
    EXPECT_TRUE(libraryWouldChange("a b.c"));
    EXPECT_TRUE(libraryWouldChange("A.B.C"));
    EXPECT_TRUE(libraryWouldChange("abcdefgh"));
    EXPECT_TRUE(isShortForm("A-1_{}.~X"));
    EXPECT_FALSE(isShortForm("A.ABCD"));
    EXPECT_FALSE(isShortForm(".TXT"));
}

TEST(ShortAlias, OnlyCapitalisationIsToldApartFromOtherChanges) {
    EXPECT_TRUE(libraryWouldOnlyCapitalise("notes.txt"));
    EXPECT_TRUE(libraryWouldOnlyCapitalise("Music"));
    EXPECT_TRUE(libraryWouldOnlyCapitalise("abcdefg.a~c"));
    EXPECT_FALSE(libraryWouldOnlyCapitalise("abcdefgh.abc"));  // twelve characters: a long name
    EXPECT_FALSE(libraryWouldOnlyCapitalise("NOTES.TXT"));  // nothing changes at all
    EXPECT_FALSE(libraryWouldOnlyCapitalise("a b.c"));      // becomes an alias
    EXPECT_FALSE(libraryWouldOnlyCapitalise("a.b.c"));
    EXPECT_FALSE(libraryWouldOnlyCapitalise("abcdefghi"));  // a long name keeps its case
    EXPECT_FALSE(libraryWouldOnlyCapitalise("notes.text"));
}

}  // namespace
}  // namespace kestrel::mount::test
