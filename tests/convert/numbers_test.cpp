// Rounding, checked arithmetic and the number readers and writers.
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "error/error.h"

namespace tvx::convert {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Runs `f` and returns the raised error number, or 0 when nothing is raised.
template <class F> int32_t RaisedBy(F &&f) {
    try {
        f();
    } catch (const RaisedError &e) {
        return e.Number();
    }
    return 0;
}

// Catches: ties rounded away from zero (std::round) or toward zero
// (truncation), and the range checked before rounding instead of after.
TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double in;
        double out;
    } cases[] = {{2.5, 2},   {3.5, 4},   {-2.5, -2}, {-3.5, -4}, {0.5, 0},  {-0.5, 0}, {1.5, 2},
                 {2.4999, 2}, {2.5001, 3}, {-1.2, -1}, {7, 7},      {1e300, 1e300}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(RoundHalfEven(c.in), c.out);
    }
}

// Catches: off-by-one range limits, a missing check after rounding (a value
// just outside that rounds back inside must pass, one that rounds outside
// must not), and NaN or infinity slipping through as some integer.
TEST(Rounding, RangeEdgesPerTargetType) {
    struct Case {
        const char *what;
        double in;
        bool overflows;
        int64_t out;
    } cases32[] = {
        {"min", -2147483648.0, false, INT32_MIN},  {"max", 2147483647.0, false, INT32_MAX},
        {"min-1", -2147483649.0, true, 0},          {"max+1", 2147483648.0, true, 0},
        {"max+0.5 ties up", 2147483647.5, true, 0}, {"min-0.5 ties to even min", -2147483648.5, false, INT32_MIN},
        {"max+0.4", 2147483647.4, false, INT32_MAX}, {"nan", kNaN, true, 0}, {"inf", kInf, true, 0},
        {"-inf", -kInf, true, 0},
    };
    for (const auto &c : cases32) {
        SCOPED_TRACE(c.what);
        if (c.overflows) {
            EXPECT_EQ(RaisedBy([&] { RoundToInt32(c.in); }), kOverflow);
        } else {
            EXPECT_EQ(RoundToInt32(c.in), c.out);
        }
    }

    struct Case16 {
        const char *what;
        double in;
        bool overflows;
        int16_t out;
    } cases16[] = {
        {"min", -32768, false, INT16_MIN},    {"max", 32767, false, INT16_MAX}, {"min-1", -32769, true, 0},
        {"max+1", 32768, true, 0},            {"32767.5 ties to 32768", 32767.5, true, 0},
        {"-32768.5 ties to -32768", -32768.5, false, INT16_MIN}, {"-2.5", -2.5, false, -2},
        {"nan", kNaN, true, 0},
    };
    for (const auto &c : cases16) {
        SCOPED_TRACE(c.what);
        if (c.overflows) {
            EXPECT_EQ(RaisedBy([&] { RoundToInt16(c.in); }), kOverflow);
        } else {
            EXPECT_EQ(RoundToInt16(c.in), c.out);
        }
    }

    struct CaseByte {
        const char *what;
        double in;
        bool overflows;
        uint8_t out;
    } cases8[] = {
        {"0", 0, false, 0},           {"255", 255, false, 255},   {"-1", -1, true, 0},
        {"256", 256, true, 0},        {"-0.5 ties to 0", -0.5, false, 0}, {"255.5 ties to 256", 255.5, true, 0},
        {"254.5 ties to 254", 254.5, false, 254}, {"-0.6", -0.6, true, 0}, {"inf", kInf, true, 0},
    };
    for (const auto &c : cases8) {
        SCOPED_TRACE(c.what);
        if (c.overflows) {
            EXPECT_EQ(RaisedBy([&] { RoundToByte(c.in); }), kOverflow);
        } else {
            EXPECT_EQ(RoundToByte(c.in), c.out);
        }
    }
}

// Catches: signed wrap-around instead of error 6, and the int16 forms
// computing in int16 (or not checking at all).
TEST(CheckedArithmetic, OverflowRaisesAndEdgesPass) {
    EXPECT_EQ(CheckedAdd(INT32_MAX - 1, 1), INT32_MAX);
    EXPECT_EQ(RaisedBy([] { CheckedAdd(INT32_MAX, 1); }), kOverflow);
    EXPECT_EQ(RaisedBy([] { CheckedAdd(INT32_MIN, -1); }), kOverflow);
    EXPECT_EQ(CheckedSub(INT32_MIN + 1, 1), INT32_MIN);
    EXPECT_EQ(RaisedBy([] { CheckedSub(INT32_MIN, 1); }), kOverflow);
    EXPECT_EQ(RaisedBy([] { CheckedSub(0, INT32_MIN); }), kOverflow);
    EXPECT_EQ(CheckedMul(46340, 46340), 2147395600);
    EXPECT_EQ(RaisedBy([] { CheckedMul(46341, 46341); }), kOverflow);
    EXPECT_EQ(RaisedBy([] { CheckedMul(INT32_MIN, -1); }), kOverflow);

    EXPECT_EQ(CheckedAdd16(32766, 1), 32767);
    EXPECT_EQ(RaisedBy([] { CheckedAdd16(32767, 1); }), kOverflow);
    EXPECT_EQ(CheckedSub16(-32767, 1), -32768);
    EXPECT_EQ(RaisedBy([] { CheckedSub16(-32768, 1); }), kOverflow);
    EXPECT_EQ(CheckedMul16(181, 181), 32761);
    EXPECT_EQ(RaisedBy([] { CheckedMul16(182, 182); }), kOverflow);
    EXPECT_EQ(RaisedBy([] { CheckedMul16(-32768, -1); }), kOverflow);
}

// Catches: flooring instead of truncating, a crash (SIGFPE) on b = 0 or on
// INT32_MIN / -1, and the wrong error number for either.
TEST(CheckedArithmetic, IntDivideTruncatesAndGuards) {
    EXPECT_EQ(IntDivide(7, 2), 3);
    EXPECT_EQ(IntDivide(-7, 2), -3);
    EXPECT_EQ(IntDivide(7, -2), -3);
    EXPECT_EQ(IntDivide(INT32_MIN, 1), INT32_MIN);
    EXPECT_EQ(RaisedBy([] { IntDivide(5, 0); }), kDivisionByZero);
    EXPECT_EQ(RaisedBy([] { IntDivide(INT32_MIN, -1); }), kOverflow);
}

// Catches: blanks only skipped in front, the exponent letter swallowed
// without digits, a NUL treated as the end of the view instead of a stop,
// lost precision from hand-rolled parsing, and the 16/32-bit sign rule of
// the radix forms.
TEST(Val, ReadsTheLeadingNumber) {
    struct Case {
        std::u16string in;
        double out;
    } cases[] = {
        {u"1 2 3", 123},
        {u" - 5", -5},
        {u"0 0 352 288", 352288},
        {u"1999.5", 1999.5},
        {std::u16string(u"29970\0xyz", 9), 29970},
        {u"\t\n42\n", 42},
        {u"1e", 1},
        {u"2E+", 2},
        {u"1e5", 1e5},
        {u"1.5E-2", 0.015},
        {u".5", 0.5},
        {u"5.", 5},
        {u"-.5", -0.5},
        {u"+7", 7},
        {u"1.2.3", 1.2},
        {u"  -1.5e3x", -1500},
        {u"12:34", 12},
        {u"abc", 0},
        {u"", 0},
        {u".", 0},
        {u"-", 0},
        {u"-e5", 0},
        {u"0.1", 0.1},
        {u"123456789012345678901234567890", 123456789012345678901234567890.0},
        {u"&HFFFF", -1},
        {u"&H7FFF", 32767},
        {u"&H8000", -32768},
        {u"&h10000", 65536},
        {u"&HFFFFFFFF", -1},
        {u"&H00000000FF", 255},
        {u"&O17", 15},
        {u"&o177777", -1},
        {u"&H", 0},
        {u"&H1G", 1},
        {u"& H 1 0", 16},
        {u"&X10", 0},
        {u"1e-400", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(Val(c.in), c.out);
    }
}

// Catches: silently returning infinity, or wrapping a radix value over 32 bits.
TEST(Val, TooLargeRaisesOverflow) {
    for (std::u16string text : {u"1e400", u"-1e400", u"&H100000000", u"&O40000000000"}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(RaisedBy([&] { Val(text); }), kOverflow);
    }
}

// Catches: the wrong decimal point under a host locale (strtod reads the
// locale), trailing garbage accepted, empty text read as 0, a missing
// distinction between "not a number" (13) and "too large" (6), and device
// replies read in the wider coercion notation (exponents, "&H", tabs).
TEST(StrictToDouble, AcceptsOneNumberOnly) {
    std::setlocale(LC_NUMERIC, "C");
    struct Case {
        std::u16string in;
        double out;
    } good[] = {{u" 750 ", 750}, {u"  -1.25", -1.25}, {u"+3", 3}, {u".5", 0.5}, {u"5.", 5}};
    for (const auto &c : good) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(StrictToDouble(c.in), c.out);
        EXPECT_EQ(TryStrictToDouble(c.in, Notation::kCoercion), c.out);
    }
    for (const std::u16string &text : std::initializer_list<std::u16string>{
             u"500 x", u"", u"   ", u"1,000", u"1 000", u"1e", u"-", u".", u"&H", u"&HZ", u"12abc", u"--1", u"1.2.3",
             std::u16string(u"5\0", 2), u"1e3", u"5E2", u"&H1F4", u"&o17", u"\t750\t", u"1e400"}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(RaisedBy([&] { StrictToDouble(text); }), kTypeMismatch);
        EXPECT_FALSE(TryStrictToDouble(text).has_value());
    }
    const std::u16string huge = u"1" + std::u16string(400, u'0');
    EXPECT_EQ(RaisedBy([&] { StrictToDouble(huge); }), kOverflow);
    EXPECT_TRUE(std::isinf(*TryStrictToDouble(huge)));
}

// Catches: the coercion notation losing the forms that text coerced to a
// number may take, or that FormatNumber writes.
TEST(StrictToDouble, CoercionNotationAlsoTakesExponentsRadixAndTabs) {
    std::setlocale(LC_NUMERIC, "C");
    struct Case {
        std::u16string in;
        double out;
    } good[] = {{u"\t-1.25\t", -1.25}, {u"1e3", 1000}, {u"2.5E-1", 0.25}, {u"&HFFFF", -1}, {u" &o17 ", 15}};
    for (const auto &c : good) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(TryStrictToDouble(c.in, Notation::kCoercion), c.out);
    }
    for (const std::u16string text : {u"1e", u"&H", u"1e3x", u"&H1G"}) {
        EXPECT_FALSE(TryStrictToDouble(text, Notation::kCoercion).has_value());
    }
    EXPECT_TRUE(std::isinf(*TryStrictToDouble(u"1e400", Notation::kCoercion)));
}

// Catches: grouping accepted anywhere (after the point, doubled, leading or
// trailing), and the locale's decimal separator not honoured.
TEST(StrictToDouble, ExplicitNotationGroupsOnlyTheIntegerPart) {
    struct Case {
        std::u16string in;
        std::optional<double> out;
    } cases[] = {
        {u"1,000", 1000.0},      {u"1,234,567.5", 1234567.5}, {u"-12,5", -125.0}, {u",100", std::nullopt},
        {u"100,", std::nullopt}, {u"1,,000", std::nullopt},  {u"1.000,5", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(TryStrictToDouble(c.in, u".", u","), c.out);
    }
    // A comma-decimal notation: '.' groups, ',' separates.
    EXPECT_EQ(TryStrictToDouble(u"1.234,5", u",", u"."), 1234.5);
    EXPECT_EQ(TryStrictToDouble(u"1,5", u",", u""), 1.5);
    EXPECT_EQ(TryStrictToDouble(u"1.5", u",", u""), std::nullopt);
}

// Catches: rounding before the range check being skipped for the strict
// integer form.
TEST(StrictToInt32, RoundsHalfEvenAndChecksRange) {
    EXPECT_EQ(StrictToInt32(u" 2.5 "), 2);
    EXPECT_EQ(StrictToInt32(u"-3.5"), -4);
    EXPECT_EQ(RaisedBy([] { StrictToInt32(u"2147483648"); }), kOverflow);
    EXPECT_EQ(RaisedBy([] { StrictToInt32(u"x"); }), kTypeMismatch);
}

// Catches: INT64_MIN negated in signed arithmetic, and any decoration.
TEST(Decimal, PlainDigits) {
    EXPECT_EQ(Decimal(0), u"0");
    EXPECT_EQ(Decimal(-42), u"-42");
    EXPECT_EQ(Decimal(INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(Decimal(INT64_MAX), u"9223372036854775807");
}

// Catches: fixed precision instead of shortest digits (0.1 as
// 0.1000000000000000055...), the switch to exponent form at the wrong
// magnitude, one-digit exponents, and integers printed with a point.
TEST(FormatNumber, ShortestDigitsAndExponentForm) {
    struct Case {
        double in;
        std::u16string out;
    } cases[] = {
        {24, u"24"},
        {-3, u"-3"},
        {0, u"0"},
        {-0.0, u"0"},
        {1e15, u"1000000000000000"},
        {0.1, u"0.1"},
        {-2.5, u"-2.5"},
        {29.97, u"29.97"},
        {1.0 / 3, u"0.3333333333333333"},
        {0.00001, u"0.00001"},
        {0.000015, u"0.000015"},
        {1.5e-6, u"1.5E-06"},
        {1.5e-7, u"1.5E-07"},
        {1e20, u"1E+20"},
        {1e16, u"1E+16"},
        {123456789012345.5, u"123456789012345.5"},
        {1.2345e100, u"1.2345E+100"},
        {-4.5e-300, u"-4.5E-300"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(FormatNumber(c.in), c.out);
    }
    // Round trip through the reader for values that need all 17 digits.
    for (double d : {0.1 + 0.2, 1.0 / 7, 9007199254740993.0 / 3, 5e-324}) {
        SCOPED_TRACE(d);
        EXPECT_EQ(Val(FormatNumber(d)), d);
    }
    EXPECT_EQ(FormatSingle(0.1f), u"0.1");
    EXPECT_EQ(FormatSingle(3.0f), u"3");
}

} // namespace
} // namespace tvx::convert
