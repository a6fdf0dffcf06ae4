// Conversions to a single at the top of its range.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tarvex10/automation.hpp"

namespace {

using tvx::Variant;

// Catches: the text of the largest single refused as an overflow, because
// it reads as a double just above the largest single.
TEST(SingleLimit, TheLargestSinglesTextReadsBack) {
    Variant largest;
    largest.vt = VT_R4;
    V_R4(&largest) = FLT_MAX;
    Variant text;
    ASSERT_EQ(VariantChangeType(&text, &largest, 0, VT_BSTR), S_OK);
    Variant back;
    ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_R4), S_OK);
    EXPECT_EQ(V_R4(&back), FLT_MAX);
}

TEST(SingleLimit, OnlyValuesThatRoundBeyondTheLargestSingleOverflow) {
    struct Case {
        double value;
        HRESULT status;
    } cases[] = {
        {0x1.fffffep+127, S_OK},          // the largest single itself
        {0x1.fffffefp+127, S_OK},         // rounds down to it
        {-0x1.fffffefp+127, S_OK},
        {0x1.ffffffp+127, DISP_E_OVERFLOW}, // halfway: rounds to infinity
        {1e39, DISP_E_OVERFLOW},
        {-1e39, DISP_E_OVERFLOW},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        Variant in = Variant::R8(c.value), out;
        EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_R4), c.status);
        if (c.status == S_OK) {
            EXPECT_EQ(std::fabs(V_R4(&out)), FLT_MAX);
        }
    }
}

} // namespace

namespace {

// Catches: integer text read through a double, which loses the last digits
// of 64-bit and currency values.
TEST(ExactIntegerText, SixtyFourBitAndCurrencyTargetsKeepEveryDigit) {
    struct Case {
        const char16_t *text;
        VARTYPE vt;
        int64_t expected; // currency: scaled by 10000
    } cases[] = {
        {u"1234567890123456789", VT_I8, 1234567890123456789},
        {u" -9223372036854775808 ", VT_I8, INT64_MIN},
        {u"+9007199254740993", VT_I8, 9007199254740993},
        {u"314350374381.1583", VT_CY, 3143503743811583},
        {u"-922337203685477.5808", VT_CY, INT64_MIN},
        {u"12", VT_CY, 120000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        tvx::Variant in = tvx::Variant::Str(c.text), out;
        ASSERT_EQ(VariantChangeType(&out, &in, 0, c.vt), S_OK);
        EXPECT_EQ(c.vt == VT_CY ? V_CY(&out).int64 : V_I8(&out), c.expected);
    }
    tvx::Variant big = tvx::Variant::Str(u"18446744073709551615"), out;
    ASSERT_EQ(VariantChangeType(&out, &big, 0, VT_UI8), S_OK);
    EXPECT_EQ(out.u.ullVal, UINT64_MAX);
    EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I8), DISP_E_OVERFLOW);
    tvx::Variant bigger = tvx::Variant::Str(u"18446744073709551616");
    EXPECT_EQ(VariantChangeType(&out, &bigger, 0, VT_UI8), DISP_E_OVERFLOW);
}

} // namespace
