// VARIANT lifetime and coercion.
//
// Every function builds its result in a local VARIANT and only then clears
// and overwrites the destination, so a failure leaves the destination as it
// was and a destination that is also the source is handled naturally.
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "error/error.h"
#include "tarvex10/platform.h"
#include "variant/value_size.h"

namespace {

using tvx::Raise;

// Types a VARIANT may hold directly.
bool IsScalarType(VARTYPE base) {
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return true;
    default: return false;
    }
}

bool IsValidType(VARTYPE vt) {
    if (vt & ~(VT_BYREF | VT_ARRAY | VT_TYPEMASK)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) return base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL);
    if (vt & VT_BYREF) return base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL);
    return IsScalarType(base);
}

// Bytes that a by-ref variant's pointer refers to, for a non-variant type.
size_t ReferencedSize(VARTYPE type) {
    return (type & VT_ARRAY) ? sizeof(SAFEARRAY *) : tvx::ValueSize(type);
}

// A shallow, non-reference view of `src`: the value a by-ref variant refers
// to, one level of VT_VARIANT included. The view owns nothing.
HRESULT Dereference(const VARIANT &src, VARIANT &view) {
    if (!IsValidType(src.vt)) return DISP_E_BADVARTYPE;
    if (!(src.vt & VT_BYREF)) {
        view = src;
        return S_OK;
    }
    if (!src.u.byref) return E_POINTER;
    const VARTYPE type = src.vt & ~VT_BYREF;
    if (type == VT_VARIANT) {
        const VARIANT &inner = *src.u.pvarVal;
        // A variant reference to a variant reference is not a value.
        if (inner.vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        return Dereference(inner, view);
    }
    VariantInit(&view);
    view.vt = type;
    std::memcpy(&view.u, src.u.byref, ReferencedSize(type));
    return S_OK;
}

BSTR CopyBstr(BSTR text) {
    return text ? SysAllocStringByteLen(reinterpret_cast<const char *>(text), SysStringByteLen(text)) : nullptr;
}

// Whether `array` holds what a variant of type `vt` (VT_ARRAY|element)
// says: whoever reads its elements sizes the buffer, and owns what it gets,
// by the variant's type.
bool ArrayFits(VARTYPE vt, SAFEARRAY *array) {
    if (!array) return true;
    const VARTYPE element = vt & VT_TYPEMASK;
    if (SafeArrayGetElemsize(array) != tvx::ValueSize(element)) return false;
    VARTYPE held = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(array, &held))) return held == element;
    // An array without its element type (made by a client) can only hold
    // plain values.
    return element != VT_BSTR && element != VT_VARIANT && element != VT_DISPATCH && element != VT_UNKNOWN;
}

// Makes `out` an independent copy of `src`; on failure `out` is VT_EMPTY.
HRESULT DeepCopy(VARIANT &out, const VARIANT &src) {
    VariantInit(&out);
    if (!IsValidType(src.vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = src;
    if (!(src.vt & VT_BYREF)) {
        if (src.vt & VT_ARRAY) {
            if (!ArrayFits(src.vt, src.u.parray)) return E_INVALIDARG;
            const HRESULT hr = SafeArrayCopy(src.u.parray, &copy.u.parray);
            if (FAILED(hr)) return hr;
        } else if (src.vt == VT_BSTR) {
            copy.u.bstrVal = CopyBstr(src.u.bstrVal);
            if (src.u.bstrVal && !copy.u.bstrVal) return E_OUTOFMEMORY;
        } else if ((src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) && src.u.punkVal) {
            src.u.punkVal->AddRef();
        }
    }
    out = copy;
    return S_OK;
}

// Replaces `*dest` with `value`, which it takes over; on failure `value` is
// cleared and `*dest` kept.
HRESULT Store(VARIANT *dest, VARIANT &value) {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

// ---- coercion --------------------------------------------------------------
// Internally a failed coercion throws tvx::RaisedError with the error number
// of the conversions module; the exported function maps it to a status.

struct Number {
    enum Kind { kSigned, kUnsigned, kReal, kCurrency } kind;
    int64_t i = 0; // kSigned, kCurrency (scaled by 10000)
    uint64_t u = 0;
    double d = 0;
};

Number Signed(int64_t v) { return {Number::kSigned, v, 0, 0}; }

std::u16string_view TextOf(BSTR text) { return {text ? text : u"", SysStringLen(text)}; }

// A plain integer (blanks, an optional sign, digits) is read exactly, and
// for a currency target so is a decimal with at most four places, so that
// 64-bit and currency targets keep every digit that a double would lose.
std::optional<Number> ExactNumber(std::u16string_view text, VARTYPE target) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    const char point = *std::localeconv()->decimal_point;
    uint64_t magnitude = 0;
    int places = -1; // digits after the point, -1 without a point
    bool digits = false;
    for (char16_t c : text) {
        if (c == char16_t(static_cast<unsigned char>(point)) && places < 0 && target == VT_CY) {
            places = 0;
            continue;
        }
        if (c < u'0' || c > u'9' || places >= 4) return std::nullopt;
        if (__builtin_mul_overflow(magnitude, uint64_t{10}, &magnitude) ||
            __builtin_add_overflow(magnitude, uint64_t(c - u'0'), &magnitude))
            return std::nullopt;
        digits = true;
        if (places >= 0) ++places;
    }
    if (!digits) return std::nullopt;
    if (places >= 0) {
        for (; places < 4; ++places) {
            if (__builtin_mul_overflow(magnitude, uint64_t{10}, &magnitude)) return std::nullopt;
        }
        if (magnitude > uint64_t(INT64_MAX)) return std::nullopt;
        const int64_t scaled = static_cast<int64_t>(magnitude);
        return Number{Number::kCurrency, negative ? -scaled : scaled, 0, 0};
    }
    if (!negative) {
        if (magnitude <= uint64_t(INT64_MAX)) return Signed(static_cast<int64_t>(magnitude));
        return Number{Number::kUnsigned, 0, magnitude, 0};
    }
    if (magnitude <= uint64_t(INT64_MAX)) return Signed(-static_cast<int64_t>(magnitude));
    if (magnitude == uint64_t(INT64_MAX) + 1) return Signed(INT64_MIN);
    return std::nullopt;
}

Number ReadNumber(const VARIANT &v, VARTYPE target) {
    switch (v.vt) {
    case VT_EMPTY: return Signed(0);
    case VT_I1: return Signed(static_cast<int8_t>(v.u.cVal));
    case VT_UI1: return Signed(v.u.bVal);
    case VT_I2: return Signed(v.u.iVal);
    case VT_UI2: return Signed(v.u.uiVal);
    case VT_I4: return Signed(v.u.lVal);
    case VT_UI4: return Signed(v.u.ulVal);
    case VT_INT: return Signed(v.u.intVal);
    case VT_UINT: return Signed(v.u.uintVal);
    case VT_I8: return Signed(v.u.llVal);
    case VT_BOOL: return Signed(v.u.boolVal ? -1 : 0);
    case VT_UI8: return {Number::kUnsigned, 0, v.u.ullVal, 0};
    case VT_R4: return {Number::kReal, 0, 0, v.u.fltVal};
    case VT_R8: return {Number::kReal, 0, 0, v.u.dblVal};
    case VT_DATE: return {Number::kReal, 0, 0, v.u.date};
    case VT_CY: return {Number::kCurrency, v.u.cyVal.int64, 0, 0};
    case VT_BSTR: {
        const std::u16string_view text = TextOf(v.u.bstrVal);
        if (target == VT_BOOL) {
            if (tvx::ascii::EqualFolded(text, u"true")) return Signed(-1);
            if (tvx::ascii::EqualFolded(text, u"false")) return Signed(0);
        }
        if (std::optional<Number> exact = ExactNumber(text, target)) return *exact;
        const std::optional<double> value = tvx::convert::TryStrictToDouble(text, tvx::convert::Notation::kCoercion);
        if (!value) Raise(tvx::kTypeMismatch);
        if (!std::isfinite(*value)) Raise(tvx::kOverflow);
        return {Number::kReal, 0, 0, *value};
    }
    default: Raise(tvx::kTypeMismatch); // NULL, ERROR, DISPATCH, UNKNOWN
    }
}

// Currency to the nearest integer, halves to even.
int64_t RoundCurrency(int64_t scaled) {
    int64_t whole = scaled / 10000;
    const int64_t rest = scaled % 10000;
    const bool odd = whole % 2 != 0;
    if (rest > 5000 || (rest == 5000 && odd)) ++whole;
    if (rest < -5000 || (rest == -5000 && odd)) --whole;
    return whole;
}

template <class Int> Int FromReal(double value) {
    if constexpr (std::is_same_v<Int, int32_t>) return tvx::convert::RoundToInt32(value);
    if constexpr (std::is_same_v<Int, int16_t>) return tvx::convert::RoundToInt16(value);
    if constexpr (std::is_same_v<Int, uint8_t>) return tvx::convert::RoundToByte(value);
    if (!std::isfinite(value)) Raise(tvx::kOverflow);
    const double rounded = tvx::convert::RoundHalfEven(value);
    // Powers of two are exact even where the integer limits are not.
    const double upper = std::ldexp(1.0, std::numeric_limits<Int>::digits);
    const double lower = std::is_signed_v<Int> ? -upper : 0.0;
    if (rounded < lower || rounded >= upper) Raise(tvx::kOverflow);
    return static_cast<Int>(rounded);
}

template <class Int> Int ToInteger(const Number &n) {
    using Limits = std::numeric_limits<Int>;
    switch (n.kind) {
    case Number::kReal: return FromReal<Int>(n.d);
    case Number::kUnsigned:
        if (n.u > static_cast<uint64_t>(Limits::max())) Raise(tvx::kOverflow);
        return static_cast<Int>(n.u);
    case Number::kSigned:
    case Number::kCurrency: {
        const int64_t v = n.kind == Number::kSigned ? n.i : RoundCurrency(n.i);
        if (!std::in_range<Int>(v)) Raise(tvx::kOverflow);
        return static_cast<Int>(v);
    }
    }
    Raise(tvx::kTypeMismatch);
}

double ToDouble(const Number &n) {
    switch (n.kind) {
    case Number::kSigned: return static_cast<double>(n.i);
    case Number::kUnsigned: return static_cast<double>(n.u);
    case Number::kCurrency: return static_cast<double>(n.i) / 10000.0;
    case Number::kReal: break;
    }
    return n.d;
}

int64_t ToCurrency(const Number &n) {
    int64_t scaled = 0;
    switch (n.kind) {
    case Number::kCurrency: return n.i;
    case Number::kSigned:
        if (__builtin_mul_overflow(n.i, int64_t{10000}, &scaled)) Raise(tvx::kOverflow);
        return scaled;
    case Number::kUnsigned:
        if (n.u > static_cast<uint64_t>(INT64_MAX / 10000)) Raise(tvx::kOverflow);
        return static_cast<int64_t>(n.u) * 10000;
    case Number::kReal: break;
    }
    return FromReal<int64_t>(n.d * 10000.0);
}

bool ToBool(const Number &n) {
    switch (n.kind) {
    case Number::kSigned:
    case Number::kCurrency: return n.i != 0;
    case Number::kUnsigned: return n.u != 0;
    case Number::kReal: break;
    }
    return n.d != 0.0;
}

// Serial day numbers of 1 January 100 and the day after 31 December 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kPastLastDate = 2958466.0;

void ToNumeric(const VARIANT &src, VARTYPE vt, VARIANT &out) {
    const Number n = ReadNumber(src, vt);
    switch (vt) {
    case VT_I1: out.u.cVal = static_cast<char>(ToInteger<int8_t>(n)); break;
    case VT_UI1: out.u.bVal = ToInteger<uint8_t>(n); break;
    case VT_I2: out.u.iVal = ToInteger<int16_t>(n); break;
    case VT_UI2: out.u.uiVal = ToInteger<uint16_t>(n); break;
    case VT_I4: out.u.lVal = ToInteger<int32_t>(n); break;
    case VT_UI4: out.u.ulVal = ToInteger<uint32_t>(n); break;
    case VT_INT: out.u.intVal = ToInteger<int32_t>(n); break;
    case VT_UINT: out.u.uintVal = ToInteger<uint32_t>(n); break;
    case VT_I8: out.u.llVal = ToInteger<int64_t>(n); break;
    case VT_UI8: out.u.ullVal = ToInteger<uint64_t>(n); break;
    case VT_BOOL: out.u.boolVal = ToBool(n) ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_CY: out.u.cyVal.int64 = ToCurrency(n); break;
    case VT_R8: out.u.dblVal = ToDouble(n); break;
    case VT_R4: {
        // A double rounds to the largest single up to halfway to the next
        // power of two, so the largest single's own text reads back.
        constexpr double kFirstBeyondSingle = 0x1.ffffffp+127;
        const double d = ToDouble(n);
        if (std::isfinite(d) && std::fabs(d) >= kFirstBeyondSingle) Raise(tvx::kOverflow);
        out.u.fltVal = std::fabs(d) > FLT_MAX ? std::copysign(FLT_MAX, static_cast<float>(d)) : static_cast<float>(d);
        break;
    }
    case VT_DATE: {
        const double d = ToDouble(n);
        if (!(d >= kFirstDate && d < kPastLastDate)) Raise(tvx::kOverflow);
        out.u.date = d;
        break;
    }
    default: Raise(tvx::kTypeMismatch);
    }
    out.vt = vt;
}

std::u16string UnsignedDecimal(uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, result.ptr);
}

// Currency with its four decimals, trailing zeros dropped.
std::u16string CurrencyText(int64_t scaled) {
    const bool negative = scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::u16string text = negative ? u"-" : u"";
    text += UnsignedDecimal(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        std::u16string digits = UnsignedDecimal(fraction + 10000).substr(1);
        while (digits.back() == u'0') digits.pop_back();
        text += u'.';
        text += digits;
    }
    return text;
}

std::u16string ToText(const VARIANT &src) {
    using tvx::convert::Decimal;
    switch (src.vt) {
    case VT_EMPTY: return {};
    case VT_BOOL: return src.u.boolVal ? u"True" : u"False";
    case VT_R4: return tvx::convert::FormatSingle(src.u.fltVal);
    case VT_R8: return tvx::convert::FormatNumber(src.u.dblVal);
    // A date as text is its serial day number, the only form that
    // reads back through the strict conversion.
    case VT_DATE: return tvx::convert::FormatNumber(src.u.date);
    case VT_CY: return CurrencyText(src.u.cyVal.int64);
    case VT_UI8: return UnsignedDecimal(src.u.ullVal);
    default: return Decimal(ToInteger<int64_t>(ReadNumber(src, VT_I8)));
    }
}

HRESULT Coerce(const VARIANT &src, VARTYPE vt, VARIANT &out) {
    if (src.vt == vt) return DeepCopy(out, src);
    if ((src.vt | vt) & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        if (src.vt != VT_EMPTY && src.vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out.vt = vt;
        return S_OK;
    case VT_DISPATCH:
        if (src.vt == VT_EMPTY) {
            out.u.pdispVal = nullptr;
        } else if (src.vt == VT_UNKNOWN) {
            IDispatch *dispatch = nullptr;
            if (src.u.punkVal) {
                const HRESULT hr = src.u.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch));
                if (hr == E_NOINTERFACE) return DISP_E_TYPEMISMATCH;
                if (FAILED(hr)) return hr;
            }
            out.u.pdispVal = dispatch;
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_DISPATCH;
        return S_OK;
    case VT_UNKNOWN:
        if (src.vt == VT_EMPTY) {
            out.u.punkVal = nullptr;
        } else if (src.vt == VT_DISPATCH) {
            if (src.u.pdispVal) src.u.pdispVal->AddRef();
            out.u.punkVal = src.u.pdispVal;
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_UNKNOWN;
        return S_OK;
    case VT_ERROR: return DISP_E_TYPEMISMATCH;
    case VT_BSTR: {
        const std::u16string text = ToText(src);
        BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!result) return E_OUTOFMEMORY;
        out.vt = VT_BSTR;
        out.u.bstrVal = result;
        return S_OK;
    }
    default: ToNumeric(src, vt, out); return S_OK;
    }
}

HRESULT StatusOf(const tvx::RaisedError &error) {
    switch (error.Number()) {
    case tvx::kOverflow: return DISP_E_OVERFLOW;
    case tvx::kTypeMismatch: return DISP_E_TYPEMISMATCH;
    case tvx::kOutOfMemory: return E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

} // namespace

extern "C" {

TVX_PLATFORM_API void VariantInit(VARIANT *v) {
    if (v) v->vt = VT_EMPTY;
}

TVX_PLATFORM_API HRESULT VariantClear(VARIANT *v) {
    if (!v) return E_INVALIDARG;
    if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(v->u.parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->u.bstrVal);
        } else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->u.punkVal) {
            v->u.punkVal->Release();
        }
    }
    v->vt = VT_EMPTY;
    return S_OK;
}

TVX_PLATFORM_API HRESULT VariantCopy(VARIANT *dest, const VARIANT *src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return IsValidType(src->vt) ? S_OK : DISP_E_BADVARTYPE;
    VARIANT copy;
    const HRESULT hr = DeepCopy(copy, *src);
    if (FAILED(hr)) return hr;
    return Store(dest, copy);
}

TVX_PLATFORM_API HRESULT VariantCopyInd(VARIANT *dest, const VARIANT *src) {
    if (!dest || !src) return E_INVALIDARG;
    VARIANT view;
    HRESULT hr = Dereference(*src, view);
    if (FAILED(hr)) return hr;
    VARIANT copy;
    hr = DeepCopy(copy, view);
    if (FAILED(hr)) return hr;
    return Store(dest, copy);
}

TVX_PLATFORM_API HRESULT VariantChangeType(VARIANT *dest, const VARIANT *src, USHORT flags, VARTYPE vt) {
    // Booleans always become "True"/"False" and no object is asked for its
    // default value, so no flag changes the outcome.
    (void)flags;
    if (!dest || !src) return E_INVALIDARG;
    if ((vt & VT_BYREF) || !IsValidType(vt)) return DISP_E_BADVARTYPE;
    VARIANT view;
    HRESULT hr = Dereference(*src, view);
    if (FAILED(hr)) return hr;

    VARIANT result;
    VariantInit(&result);
    try {
        hr = Coerce(view, vt, result);
    } catch (const tvx::RaisedError &error) {
        hr = StatusOf(error);
    } catch (const std::bad_alloc &) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_FAIL;
    }
    if (FAILED(hr)) return hr;
    return Store(dest, result);
}

} // extern "C"
