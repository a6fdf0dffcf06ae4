// The text-to-number and strict conversions, and what they promise of each
// other: a number written by FormatNumber / FormatSingle reads back to the
// same value, both by the strict rule and by Val; Variants of numbers go to
// text and back unchanged; the checked arithmetic fails exactly where 64-bit
// arithmetic leaves the range; UTF-8 and UTF-16 round-trip; the 1-based text
// operations agree with plain slicing.
#include <cmath>
#include <limits>
#include <string>

#include "convert/convert.h"
#include "error/error.h"
#include "support.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"

namespace tvx::fuzz {
namespace {

using convert::FormatNumber;
using convert::FormatSingle;
using convert::TryStrictToDouble;

std::string Show(std::u16string_view text) { return convert::ToUtf8(text); }

template <class F> bool Raises(F f, int32_t *number = nullptr) {
    try {
        f();
        return false;
    } catch (const RaisedError &error) {
        if (number) *number = error.Number();
        return true;
    }
}

std::u16string Utf16(Reader &r, size_t max) {
    std::u16string text;
    const size_t n = r.Byte() % (max + 1);
    for (size_t i = 0; i < n && r.Remaining() > 0; ++i) {
        // Mostly the characters numbers are made of, sometimes anything.
        const uint8_t b = r.Byte();
        static constexpr char16_t kCommon[] = u"0123456789+-.,eE&hHoO \t\nabcdefABCDEF";
        text.push_back(b < 200 ? kCommon[b % (sizeof kCommon / sizeof kCommon[0] - 1)] : r.U16());
    }
    return text;
}

void TextToNumber(Reader &r) {
    const std::u16string text = Utf16(r, 40);
    double value = 0;
    int32_t number = 0;
    if (Raises([&] { value = convert::Val(text); }, &number)) {
        TVX_FUZZ_CHECK(number == kOverflow, "Val raised another error for " + Show(text));
    } else {
        TVX_FUZZ_CHECK(std::isfinite(value), "Val gave a non-finite value for " + Show(text));
    }
    const std::optional<double> strict = TryStrictToDouble(text);
    const std::optional<double> coerced = TryStrictToDouble(text, convert::Notation::kCoercion);
    // The coercion notation only adds forms to the plain one.
    if (strict) TVX_FUZZ_CHECK(coerced && *coerced == *strict, "notations differ on " + Show(text));
    // Here and below only that it returns counts.
    (void)TryStrictToDouble(text, u".", u",");
    const bool raised = Raises([&] { value = convert::StrictToDouble(text); }, &number);
    if (!strict) TVX_FUZZ_CHECK(raised && number == kTypeMismatch, "StrictToDouble took " + Show(text));
    if (strict && !std::isfinite(*strict)) TVX_FUZZ_CHECK(raised && number == kOverflow, Show(text));
    if (strict && std::isfinite(*strict)) TVX_FUZZ_CHECK(!raised && value == *strict, Show(text));
    if (!raised) {
        int32_t whole = 0;
        if (!Raises([&] { whole = convert::StrictToInt32(text); }))
            TVX_FUZZ_CHECK(std::fabs(whole - value) <= 0.5, "StrictToInt32 of " + Show(text));
    }
    // Any notation a locale could have.
    const std::u16string point = Utf16(r, 2), separator = Utf16(r, 2);
    if (!point.empty()) {
        (void)TryStrictToDouble(text, point, separator);
        (void)TryStrictToDouble(text, point, separator, convert::Notation::kCoercion);
    }
}

void NumberToTextAndBack(Reader &r) {
    const double d = r.Double();
    const std::u16string text = FormatNumber(d);
    if (std::isfinite(d)) {
        const std::optional<double> back = TryStrictToDouble(text, u".", u"", convert::Notation::kCoercion);
        TVX_FUZZ_CHECK(back && *back == d, "FormatNumber does not read back: " + Show(text));
        double val = 0;
        TVX_FUZZ_CHECK(!Raises([&] { val = convert::Val(text); }) && val == d, "Val of " + Show(text));
        if (std::fabs(d) < 2147483647.0) {
            const double nearest = convert::RoundHalfEven(d);
            TVX_FUZZ_CHECK(std::fabs(nearest - d) <= 0.5 && nearest == std::trunc(nearest), "RoundHalfEven");
        }
    }
    float f;
    const uint32_t bits = r.U32();
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(f)) {
        const std::u16string single = FormatSingle(f);
        const std::optional<double> back = TryStrictToDouble(single, u".", u"", convert::Notation::kCoercion);
        TVX_FUZZ_CHECK(back && static_cast<float>(*back) == f, "FormatSingle does not read back: " + Show(single));
    }
}

// Number Variants to text and back through VariantChangeType.
void VariantRoundTrip(Reader &r) {
    Variant number;
    switch (r.Byte() % 6) {
    case 0: number = Variant::R8(r.Double()); break;
    case 1: number = Variant::I4(r.I32()); break;
    case 2: number = Variant::I2(static_cast<int16_t>(r.U16())); break;
    case 3:
        number.vt = VT_CY;
        number.u.cyVal.int64 = static_cast<int64_t>(r.U64());
        break;
    case 4:
        number.vt = VT_I8;
        number.u.llVal = static_cast<int64_t>(r.U64());
        break;
    case 5: {
        number.vt = VT_R4;
        const uint32_t bits = r.U32();
        std::memcpy(&number.u.fltVal, &bits, sizeof bits);
        break;
    }
    }
    Variant text;
    if (FAILED(VariantChangeType(text.Put(), &number, 0, VT_BSTR))) return;
    Variant back;
    const HRESULT status = VariantChangeType(back.Put(), &text, 0, number.vt);
    const bool nan = (number.vt == VT_R8 && std::isnan(number.u.dblVal)) ||
                     (number.vt == VT_R4 && std::isnan(number.u.fltVal));
    const bool infinite = (number.vt == VT_R8 && std::isinf(number.u.dblVal)) ||
                          (number.vt == VT_R4 && std::isinf(number.u.fltVal));
    if (nan || infinite) return;
    // Text goes to a 64-bit integer or currency through a double, so only
    // what a double holds exactly comes back unchanged (reported: large
    // currency and 64-bit values lose their last digits through text).
    const int64_t wide = number.vt == VT_CY ? number.u.cyVal.int64 : number.vt == VT_I8 ? number.u.llVal : 0;
    const int64_t exact = number.vt == VT_CY ? int64_t{1} << 49 : int64_t{1} << 53;
    if (wide > exact || wide < -exact) return;
    const std::string shown = Show(std::u16string_view(V_BSTR(&text), SysStringLen(V_BSTR(&text))));
    TVX_FUZZ_CHECK(status == S_OK, "text of a number does not read back: " + shown);
    TVX_FUZZ_CHECK(std::memcmp(&back.u, &number.u, number.vt == VT_R4 || number.vt == VT_I4 ? 4
                                                   : number.vt == VT_I2                      ? 2
                                                                                             : 8) == 0 ||
                       (number.vt == VT_R8 && back.u.dblVal == number.u.dblVal) ||
                       (number.vt == VT_R4 && back.u.fltVal == number.u.fltVal),
                   "a number changed on its way through text: " + shown);
    // And text to every numeric type: no crash, a status from the set.
    static constexpr VARTYPE kTypes[] = {VT_UI1, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_I8, VT_UI8};
    for (VARTYPE type : kTypes) {
        Variant out;
        const HRESULT s = VariantChangeType(out.Put(), &text, 0, type);
        TVX_FUZZ_CHECK(s == S_OK || s == DISP_E_OVERFLOW || s == DISP_E_TYPEMISMATCH, "status of a conversion");
    }
}

void Arithmetic(Reader &r) {
    const int32_t a = r.I32(), b = r.I32();
    auto check = [&](const char *name, int64_t exact, auto call) {
        int32_t result = 0;
        int32_t number = 0;
        const bool raised = Raises([&] { result = call(); }, &number);
        const bool fits = exact >= INT32_MIN && exact <= INT32_MAX;
        TVX_FUZZ_CHECK(raised != fits, name);
        if (fits) TVX_FUZZ_CHECK(result == exact, name);
        else TVX_FUZZ_CHECK(number == kOverflow, name);
    };
    check("CheckedAdd", int64_t{a} + b, [&] { return convert::CheckedAdd(a, b); });
    check("CheckedSub", int64_t{a} - b, [&] { return convert::CheckedSub(a, b); });
    check("CheckedMul", int64_t{a} * b, [&] { return convert::CheckedMul(a, b); });
    if (b != 0) check("IntDivide", int64_t{a} / b, [&] { return convert::IntDivide(a, b); });
    int32_t number = 0;
    if (b == 0) TVX_FUZZ_CHECK(Raises([&] { convert::IntDivide(a, b); }, &number) && number == kDivisionByZero,
                               "IntDivide by zero");
    const int16_t x = static_cast<int16_t>(a), y = static_cast<int16_t>(b);
    auto fits16 = [](int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; };
    TVX_FUZZ_CHECK(Raises([&] { convert::CheckedAdd16(x, y); }) != fits16(x + y), "CheckedAdd16");
    TVX_FUZZ_CHECK(Raises([&] { convert::CheckedSub16(x, y); }) != fits16(x - y), "CheckedSub16");
    TVX_FUZZ_CHECK(Raises([&] { convert::CheckedMul16(x, y); }) != fits16(x * y), "CheckedMul16");
    const std::u16string decimal = convert::Decimal(static_cast<int64_t>(r.U64()) >> (r.Byte() % 64));
    TVX_FUZZ_CHECK(TryStrictToDouble(decimal, u".", u"").has_value(), "Decimal does not read back");
}

void Text(Reader &r) {
    const std::string bytes = r.Text(64);
    const std::u16string text = convert::FromUtf8(bytes);
    const std::string utf8 = convert::ToUtf8(text);
    TVX_FUZZ_CHECK(convert::FromUtf8(utf8) == text, "UTF-8 does not round-trip: " + utf8);
    TVX_FUZZ_CHECK(convert::FromAnsi(convert::ToAnsi(text)).size() == text.size(), "ToAnsi changed the length");
    TVX_FUZZ_CHECK(convert::ProperCase(text).size() == text.size(), "ProperCase changed the length");

    const int32_t start = static_cast<int32_t>(r.Byte()) - 2, length = static_cast<int32_t>(r.Byte()) - 2;
    const std::u16string_view view(text);
    if (start >= 1) {
        const size_t first = static_cast<size_t>(start) - 1;
        const std::u16string_view expected = first >= view.size() ? std::u16string_view() : view.substr(first);
        TVX_FUZZ_CHECK(convert::Mid(view, start) == expected, "Mid");
        if (length >= 0)
            TVX_FUZZ_CHECK(convert::Mid(view, start, length) == expected.substr(0, static_cast<size_t>(length)),
                           "Mid with a length");
        const std::u16string find = convert::FromUtf8(r.Text(3));
        const int32_t at = convert::InStr(start, view, find);
        if (at > 0) TVX_FUZZ_CHECK(view.substr(static_cast<size_t>(at) - 1, find.size()) == find, "InStr");
        else TVX_FUZZ_CHECK(first >= view.size() || view.find(find, first) == std::u16string_view::npos, "InStr");
    } else {
        TVX_FUZZ_CHECK(Raises([&] { convert::Mid(view, start); }), "Mid below 1");
    }
    if (length >= 0) {
        TVX_FUZZ_CHECK(convert::Left(view, length) == view.substr(0, static_cast<size_t>(length)), "Left");
        const size_t n = std::min(view.size(), static_cast<size_t>(length));
        TVX_FUZZ_CHECK(convert::Right(view, length) == view.substr(view.size() - n), "Right");
    }
}

} // namespace

int FuzzConvert(const uint8_t *data, size_t size) {
    Reader r(data, size);
    while (r.Remaining() > 0) {
        switch (r.Byte() % 5) {
        case 0: TextToNumber(r); break;
        case 1: NumberToTextAndBack(r); break;
        case 2: VariantRoundTrip(r); break;
        case 3: Arithmetic(r); break;
        case 4: Text(r); break;
        }
    }
    return 0;
}

} // namespace tvx::fuzz
