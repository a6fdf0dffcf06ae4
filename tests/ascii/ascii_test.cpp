#include <gtest/gtest.h>

#include "ascii/ascii.h"

namespace {

using namespace tvx::ascii;

// The letters fold both ways; the characters just outside A-Z and a-z
// (@ [ ` {) and everything beyond ASCII stand for themselves.
TEST(Ascii, FoldsOnlyTheTwentySixLetters) {
    EXPECT_EQ(LowerCase(std::string_view("AZaz@[`{09")), "azaz@[`{09");
    EXPECT_EQ(UpperCase(std::string_view("AZaz@[`{09")), "AZAZ@[`{09");
    EXPECT_EQ(LowerCase(std::u16string_view(u"\u00C0\u00C9Name\u0130")), u"\u00C0\u00C9name\u0130");
    EXPECT_EQ(UpperCase(std::u16string_view(u"\u00E0\u00FFname")), u"\u00E0\u00FFNAME");
    static_assert(Lower(u'Q') == u'q' && Upper('q') == 'Q' && Lower('[') == '[' && Upper('{') == '{');
}

TEST(Ascii, EqualFoldedComparesWholeTexts) {
    EXPECT_TRUE(EqualFolded("ProgID", "progid"));
    EXPECT_TRUE(EqualFolded(u"getLengthInMS", u"GETLENGTHINms"));
    EXPECT_TRUE(EqualFolded("", ""));
    EXPECT_FALSE(EqualFolded("play", "playing"));
    EXPECT_FALSE(EqualFolded("playing", "play"));
    EXPECT_FALSE(EqualFolded("@", "`"));
    // Latin-1 capitals do not match their small letters, so a name outside
    // ASCII matches only itself.
    EXPECT_FALSE(EqualFolded(u"\u00C9t\u00E9", u"\u00E9t\u00E9"));
    EXPECT_TRUE(EqualFolded(u"\u00C9T\u00C9", u"\u00C9t\u00C9"));
    // A NUL inside the text counts like any other character.
    EXPECT_FALSE(EqualFolded(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
}

} // namespace
