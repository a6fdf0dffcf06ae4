// BSTR storage and identifier text.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tarvex10/platform.h"

namespace {

uint32_t PrefixOf(BSTR text) {
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const char *>(text) - 4, sizeof bytes);
    return bytes;
}

// Catches: a length taken from the first NUL, a prefix holding characters
// instead of bytes, and a missing terminator that C clients rely on.
TEST(Bstr, LengthPrefixCountsBytesAndKeepsEmbeddedNuls) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(PrefixOf(text), 6u);
    EXPECT_EQ(std::u16string(text, 3), std::u16string(u"a\0b", 3));
    EXPECT_EQ(text[3], u'\0');
    SysFreeString(text);

    BSTR plain = SysAllocString(u"stop");
    EXPECT_EQ(SysStringLen(plain), 4u);
    EXPECT_EQ(plain[4], u'\0');
    SysFreeString(plain);
}

// Catches: NULL treated as an error rather than the empty string, and
// SysAllocStringLen(NULL, n) leaving the characters uninitialised.
TEST(Bstr, NullStandsForEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR zeros = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(zeros[i], u'\0') << i;
    SysFreeString(zeros);

    BSTR empty = SysAllocStringLen(u"", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);
}

// Catches: byte lengths rounded to whole characters, and an odd-length
// string without a terminating NUL character.
TEST(Bstr, ByteLengthMayBeOdd) {
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);
    SysFreeString(bytes);
}

// Catches: freeing the old string before copying from it (the new text may
// be a piece of the old one), and a FALSE result on success.
TEST(Bstr, ReallocateFromItsOwnCharacters) {
    BSTR text = SysAllocString(u"playing");
    EXPECT_EQ(SysReAllocStringLen(&text, text + 4, 3), 1);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"ing");
    EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), 0);
    SysFreeString(text);
}

// Catches: lower-case output, swapped byte order in the last two groups,
// and writing past a buffer too small for the 39 characters.
TEST(GuidText, FormatsAndParsesBothWays) {
    OLECHAR buffer[39];
    ASSERT_EQ(StringFromGUID2(IID_IErrorInfo, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");
    OLECHAR small[38] = {u'z'};
    EXPECT_EQ(StringFromGUID2(IID_IErrorInfo, small, 38), 0);
    EXPECT_EQ(small[0], u'z');

    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(u"{1cf2b120-547d-101b-8e65-08002b2bd119}", &parsed), S_OK);
    EXPECT_EQ(IsEqualGUID(parsed, IID_IErrorInfo), 1);
    EXPECT_EQ(IsEqualGUID(parsed, IID_ICreateErrorInfo), 0);
}

// Catches: a parser that accepts missing braces, misplaced dashes, non-hex
// digits, or reads on past a short text.
TEST(GuidText, RejectsMalformedText) {
    const char16_t *bad[] = {
        u"",
        u"1CF2B120-547D-101B-8E65-08002B2BD119",
        u"{1CF2B120-547D-101B-8E65-08002B2BD119",
        u"{1CF2B120-547D-101B-8E65-08002B2BD119}x",
        u"{1CF2B120-547D-101B-8E6508-002B2BD119}",
        u"{1CF2B12G-547D-101B-8E65-08002B2BD119}",
        u"{1CF2B120}",
    };
    for (const char16_t *text : bad) {
        SCOPED_TRACE(std::string(text, text + std::char_traits<char16_t>::length(text)));
        CLSID parsed{};
        EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING);
    }
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), CO_E_CLASSSTRING);
}

} // namespace
