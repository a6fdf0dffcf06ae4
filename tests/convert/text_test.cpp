// The 1-based text operations, ProperCase and the 8-bit encodings.
#include <string>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "error/error.h"

namespace tvx::convert {
namespace {

template <class F> int32_t RaisedBy(F &&f) {
    try {
        f();
    } catch (const RaisedError &e) {
        return e.Number();
    }
    return 0;
}

// Catches: 0-based indexing, a throw (or out-of-range read) when start or
// length run past the end, and negative values accepted.
TEST(TextOperations, MidLeftRight) {
    const std::u16string_view text = u"playing";
    struct Case {
        int32_t start, length;
        std::u16string_view out;
    } mids[] = {{1, 4, u"play"}, {5, 3, u"ing"}, {5, 99, u"ing"}, {7, 1, u"g"}, {8, 1, u""}, {100, 0, u""}, {3, 0, u""}};
    for (const auto &c : mids) {
        SCOPED_TRACE(c.start);
        EXPECT_EQ(Mid(text, c.start, c.length), c.out);
    }
    EXPECT_EQ(Mid(text, 5), u"ing");
    EXPECT_EQ(Mid(text, 8), u"");
    EXPECT_EQ(Left(text, 4), u"play");
    EXPECT_EQ(Left(text, 50), text);
    EXPECT_EQ(Right(text, 3), u"ing");
    EXPECT_EQ(Right(text, 50), text);
    EXPECT_EQ(Right(text, 0), u"");

    EXPECT_EQ(RaisedBy([&] { Mid(text, 0); }), kInvalidArgument);
    EXPECT_EQ(RaisedBy([&] { Mid(text, -1, 2); }), kInvalidArgument);
    EXPECT_EQ(RaisedBy([&] { Mid(text, 1, -1); }), kInvalidArgument);
    EXPECT_EQ(RaisedBy([&] { Left(text, -1); }), kInvalidArgument);
    EXPECT_EQ(RaisedBy([&] { Right(text, -1); }), kInvalidArgument);
}

// Catches: a 0-based result, the start ignored, and the empty-find rule
// (start itself up to len+1, 0 beyond).
TEST(TextOperations, InStr) {
    const std::u16string_view text = u"mode: stopped";
    struct Case {
        int32_t start;
        std::u16string_view find;
        int32_t out;
    } cases[] = {
        {1, u"mode", 1}, {1, u"stop", 7}, {2, u"mode", 0}, {1, u"p", 10}, {11, u"p", 11}, {12, u"p", 0},
        {1, u"", 1},     {5, u"", 5},     {14, u"", 14},   {15, u"", 0},  {14, u"d", 0},  {1, u"stopped!", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        EXPECT_EQ(InStr(c.start, text, c.find), c.out);
    }
    EXPECT_EQ(InStr(text, u":"), 5);
    EXPECT_EQ(RaisedBy([&] { InStr(0, text, u"m"); }), kInvalidArgument);
}

// Catches: only the first letter capitalised, other letters left as they
// were, NUL/tab/CR not treated as word breaks, and Latin-1 letters (or the
// multiplication/division signs, which are not letters) mapped wrongly.
TEST(ProperCase, CapitalisesEveryWord) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {std::u16string(u"paused\0\0", 8), std::u16string(u"Paused\0\0", 8)},
        {u"hELLO wORLD", u"Hello World"},
        {u"a\tb\nc\rd\ve\ff", u"A\tB\nC\rD\vE\fF"},
        {std::u16string(u"x\0y", 3), std::u16string(u"X\0Y", 3)},
        {u"o'neil 2nd-PLACE", u"O'neil 2nd-place"},
        {u"\u00e9T\u00c9 \u00e0", u"\u00c9t\u00e9 \u00c0"},
        {u"\u00f7\u00d7", u"\u00f7\u00d7"},
        {u"\u0432\u0410", u"\u0432\u0410"},
        {u"", u""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.in.begin(), c.in.end())));
        EXPECT_EQ(ProperCase(c.in), c.out);
    }
}

// Catches: a NUL cutting the text short, lengths that change, characters
// above 0xFF not replaced, and bytes above 0x7F sign-extended on the way back.
TEST(EightBitText, AnsiRoundTripKeepsLengthAndNuls) {
    const std::u16string text(u"a\0b\u00ff\u00e9\0", 6);
    const std::string bytes = ToAnsi(text);
    ASSERT_EQ(bytes.size(), 6u);
    EXPECT_EQ(bytes, std::string("a\0b\xff\xe9\0", 6));
    EXPECT_EQ(FromAnsi(bytes), text);
    EXPECT_EQ(ToAnsi(u"\u20ac1\U0001F600"), "?1??");
}

// Catches: surrogate pairs encoded as two 3-byte sequences, unpaired
// surrogates passed through, and overlong, surrogate or truncated UTF-8
// accepted instead of becoming U+FFFD.
TEST(EightBitText, Utf8BothWays) {
    const std::u16string text(u"A\u00e9\u20ac\U0001F600\0z", 7);
    const std::string utf8 = ToUtf8(text);
    EXPECT_EQ(utf8, std::string("A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\0z", 12));
    EXPECT_EQ(FromUtf8(utf8), text);

    EXPECT_EQ(ToUtf8(u"\xd800x"), "\xef\xbf\xbdx");
    EXPECT_EQ(ToUtf8(u"x\xdc00"), "x\xef\xbf\xbd");

    struct Case {
        std::string in;
        std::u16string out;
    } invalid[] = {
        {"\xc0\xaf", u"\xfffd\xfffd"},         // overlong '/'
        {"\xed\xa0\x80", u"\xfffd\xfffd\xfffd"}, // encoded surrogate
        {"\xe2\x82", u"\xfffd"},               // truncated at the end
        {"\xe2\x82x", u"\xfffdx"},             // truncated before ASCII
        {"\xf4\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"}, // past U+10FFFF
        {"\x80", u"\xfffd"},
        {"\xff", u"\xfffd"},
    };
    for (const auto &c : invalid) {
        SCOPED_TRACE(testing::PrintToString(c.in));
        EXPECT_EQ(FromUtf8(c.in), c.out);
    }
}

} // namespace
} // namespace tvx::convert
