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
