// VARIANT lifetime, coercion and SAFEARRAY storage.
#include <atomic>
#include <clocale>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tarvex10/automation.hpp"

namespace {

using tvx::Bstr;
using tvx::Variant;

// A stand-in object whose reference count the tests can read; it answers
// IDispatch only when asked to, for the UNKNOWN-to-DISPATCH coercion.
class Counted final : public IDispatch {
public:
    explicit Counted(bool dispatchable = true) : dispatchable_(dispatchable) {}
    ULONG Count() const { return count_; }

    HRESULT QueryInterface(REFIID riid, void **ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown) || (dispatchable_ && IsEqualGUID(riid, IID_IDispatch))) {
            *ppv = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++count_; }
    ULONG Release() override { return --count_; } // lives on the test's stack
    HRESULT GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
        return E_NOTIMPL;
    }

private:
    bool dispatchable_;
    std::atomic<ULONG> count_{1};
};

// A readable form of a variant's type and value, so tables can compare
// results without caring which bytes of the union are in use.
std::string Describe(const VARIANT &v) {
    auto text = [](BSTR b) {
        std::string out;
        for (UINT i = 0; i < SysStringLen(b); ++i) out += static_cast<char>(b[i]);
        return out;
    };
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I1: return "I1:" + std::to_string(static_cast<int>(static_cast<int8_t>(v.u.cVal)));
    case VT_UI1: return "UI1:" + std::to_string(v.u.bVal);
    case VT_I2: return "I2:" + std::to_string(v.u.iVal);
    case VT_UI2: return "UI2:" + std::to_string(v.u.uiVal);
    case VT_I4: return "I4:" + std::to_string(v.u.lVal);
    case VT_UI4: return "UI4:" + std::to_string(v.u.ulVal);
    case VT_I8: return "I8:" + std::to_string(v.u.llVal);
    case VT_UI8: return "UI8:" + std::to_string(v.u.ullVal);
    case VT_R4: return "R4:" + testing::PrintToString(v.u.fltVal);
    case VT_R8: return "R8:" + testing::PrintToString(v.u.dblVal);
    case VT_DATE: return "DATE:" + testing::PrintToString(v.u.date);
    case VT_CY: return "CY:" + std::to_string(v.u.cyVal.int64);
    case VT_BOOL: return "BOOL:" + std::to_string(v.u.boolVal);
    case VT_ERROR: return "ERROR:" + std::to_string(v.u.scode);
    case VT_BSTR: return v.u.bstrVal ? "BSTR:'" + text(v.u.bstrVal) + "'" : "BSTR:null";
    case VT_DISPATCH: return v.u.pdispVal ? "DISPATCH" : "DISPATCH:null";
    case VT_UNKNOWN: return v.u.punkVal ? "UNKNOWN" : "UNKNOWN:null";
    default: return "vt " + std::to_string(v.vt);
    }
}

Variant Make(VARTYPE vt, const std::function<void(VARIANT &)> &fill = {}) {
    Variant v;
    std::memset(static_cast<VARIANT *>(&v), 0, sizeof(VARIANT));
    v.vt = vt;
    if (fill) fill(v);
    return v;
}

// ---- copy and clear -------------------------------------------------------

// Catches: a shallow BSTR copy (double free under the sanitizers, or the
// copy changing with the source), lengths cut at an embedded NUL, and
// VariantCopy leaking what the destination held.
TEST(VariantCopy, DuplicatesStringsAndClearsTheDestination) {
    Variant src = Variant::Str(std::u16string(u"a\0b", 3));
    Variant dest = Variant::Str(u"old value");
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_NE(V_BSTR(&dest), V_BSTR(&src));
    EXPECT_EQ(dest.StrView(), std::u16string_view(u"a\0b", 3));
    src.Clear();
    EXPECT_EQ(dest.StrView(), std::u16string_view(u"a\0b", 3));

    // Copying onto itself must not free the value first.
    ASSERT_EQ(VariantCopy(&dest, &dest), S_OK);
    EXPECT_EQ(dest.StrView(), std::u16string_view(u"a\0b", 3));
}

// Catches: interfaces copied without AddRef, cleared without Release, or
// released again when the holder was by-ref.
TEST(VariantCopy, BalancesInterfaceReferences) {
    Counted object;
    {
        Variant held = Variant::Dispatch(&object);
        EXPECT_EQ(object.Count(), 2u);
        Variant copy(held);
        EXPECT_EQ(object.Count(), 3u);
        copy = Variant::I4(1); // assignment clears the interface
        EXPECT_EQ(object.Count(), 2u);

        IDispatch *slot = &object;
        Variant ref = Variant::Ref(VT_DISPATCH, &slot);
        Variant ref_copy(ref);
        EXPECT_EQ(V_DISPATCHREF(&ref_copy), &slot);
        EXPECT_EQ(object.Count(), 2u);
    }
    EXPECT_EQ(object.Count(), 1u);
}

// Catches: arrays shared between copies (double destroy), and elements
// not duplicated with the array.
TEST(VariantCopy, DeepCopiesArrays) {
    Variant src = Make(VT_ARRAY | VT_BSTR, [](VARIANT &v) { V_ARRAY(&v) = SafeArrayCreateVector(VT_BSTR, 0, 2); });
    Bstr text(u"clip");
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(V_ARRAY(&src), &index, text.Get()), S_OK);

    Variant copy(src);
    ASSERT_EQ(copy.vt, VT_ARRAY | VT_BSTR);
    ASSERT_NE(V_ARRAY(&copy), V_ARRAY(&src));
    BSTR *a = nullptr, *b = nullptr;
    ASSERT_EQ(SafeArrayAccessData(V_ARRAY(&src), reinterpret_cast<void **>(&a)), S_OK);
    ASSERT_EQ(SafeArrayAccessData(V_ARRAY(&copy), reinterpret_cast<void **>(&b)), S_OK);
    EXPECT_NE(a[1], b[1]);
    EXPECT_EQ(std::u16string(b[1]), u"clip");
    EXPECT_EQ(b[0], nullptr);
    SafeArrayUnaccessData(V_ARRAY(&src));
    SafeArrayUnaccessData(V_ARRAY(&copy));

    // A locked array cannot go, and the variant keeps it.
    SafeArrayAccessData(V_ARRAY(&copy), reinterpret_cast<void **>(&b));
    EXPECT_EQ(VariantClear(&copy), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_BSTR);
    SafeArrayUnaccessData(V_ARRAY(&copy));
}

// Catches: VariantCopyInd copying the reference instead of the value, and
// a VT_BYREF|VT_VARIANT source not reaching (and deep-copying) the inner one.
TEST(VariantCopyInd, DereferencesTheSource) {
    LONG number = 29970;
    Variant ref = Variant::Ref(VT_I4, &number);
    Variant out;
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(Describe(out), "I4:29970");

    Variant inner = Variant::Str(u"stopped");
    Variant to_variant = Variant::Ref(VT_VARIANT, &inner);
    ASSERT_EQ(VariantCopyInd(&out, &to_variant), S_OK);
    EXPECT_EQ(Describe(out), "BSTR:'stopped'");
    EXPECT_NE(V_BSTR(&out), V_BSTR(&inner));

    // In place: the reference becomes the value.
    ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK);
    EXPECT_EQ(Describe(ref), "I4:29970");
}

// ---- coercion --------------------------------------------------------------

// Catches: rounding that is not half-to-even, missing range checks per
// target type, text read leniently (Val) instead of strictly, booleans that
// are +1 instead of -1, and NULL or objects silently becoming numbers.
TEST(VariantChangeType, CoercionTable) {
    std::setlocale(LC_NUMERIC, "C");
    Counted object;
    {
    struct Case {
        const char *what;
        Variant src;
        VARTYPE vt;
        HRESULT hr;
        std::string out;
    } cases[] = {
        {"I4 70000 to I2", Variant::I4(70000), VT_I2, DISP_E_OVERFLOW, ""},
        {"I4 -32768 to I2", Variant::I4(-32768), VT_I2, S_OK, "I2:-32768"},
        {"R8 2.5 to I4", Variant::R8(2.5), VT_I4, S_OK, "I4:2"},
        {"R8 3.5 to I4", Variant::R8(3.5), VT_I4, S_OK, "I4:4"},
        {"R8 -2.5 to I2", Variant::R8(-2.5), VT_I2, S_OK, "I2:-2"},
        {"R8 255.5 to UI1", Variant::R8(255.5), VT_UI1, DISP_E_OVERFLOW, ""},
        {"R8 -0.5 to UI1", Variant::R8(-0.5), VT_UI1, S_OK, "UI1:0"},
        {"R8 1e10 to I4", Variant::R8(1e10), VT_I4, DISP_E_OVERFLOW, ""},
        {"R8 1e10 to I8", Variant::R8(1e10), VT_I8, S_OK, "I8:10000000000"},
        {"R8 9.3e18 to I8", Variant::R8(9.3e18), VT_I8, DISP_E_OVERFLOW, ""},
        {"R8 1e300 to R4", Variant::R8(1e300), VT_R4, DISP_E_OVERFLOW, ""},
        {"I4 -1 to UI4", Variant::I4(-1), VT_UI4, DISP_E_OVERFLOW, ""},
        {"I4 -1 to UI2", Variant::I4(-1), VT_UI2, DISP_E_OVERFLOW, ""},
        {"I4 200 to I1", Variant::I4(200), VT_I1, DISP_E_OVERFLOW, ""},
        {"BSTR ' 42 ' to I4", Variant::Str(u" 42 "), VT_I4, S_OK, "I4:42"},
        {"BSTR '2.5' to I2", Variant::Str(u"2.5"), VT_I2, S_OK, "I2:2"},
        {"BSTR 'x' to I4", Variant::Str(u"x"), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"BSTR '' to I4", Variant::Str(u""), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"BSTR '500 x' to R8", Variant::Str(u"500 x"), VT_R8, DISP_E_TYPEMISMATCH, ""},
        {"BSTR '1e400' to R8", Variant::Str(u"1e400"), VT_R8, DISP_E_OVERFLOW, ""},
        {"BSTR '&HFF' to I4", Variant::Str(u"&HFF"), VT_I4, S_OK, "I4:255"},
        {"BSTR 'tRuE' to BOOL", Variant::Str(u"tRuE"), VT_BOOL, S_OK, "BOOL:-1"},
        {"BSTR 'False' to BOOL", Variant::Str(u"False"), VT_BOOL, S_OK, "BOOL:0"},
        {"BSTR '0.5' to BOOL", Variant::Str(u"0.5"), VT_BOOL, S_OK, "BOOL:-1"},
        {"BSTR 'True' to I4", Variant::Str(u"True"), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"EMPTY to BSTR", Variant(), VT_BSTR, S_OK, "BSTR:''"},
        {"EMPTY to I4", Variant(), VT_I4, S_OK, "I4:0"},
        {"EMPTY to BOOL", Variant(), VT_BOOL, S_OK, "BOOL:0"},
        {"EMPTY to DISPATCH", Variant(), VT_DISPATCH, S_OK, "DISPATCH:null"},
        {"BOOL to I2", Variant::Bool(true), VT_I2, S_OK, "I2:-1"},
        {"BOOL to BSTR", Variant::Bool(true), VT_BSTR, S_OK, "BSTR:'True'"},
        {"BOOL false to BSTR", Variant::Bool(false), VT_BSTR, S_OK, "BSTR:'False'"},
        {"BOOL to UI1", Variant::Bool(true), VT_UI1, DISP_E_OVERFLOW, ""},
        {"I2 7 to BOOL", Variant::I2(7), VT_BOOL, S_OK, "BOOL:-1"},
        {"NULL to I4", Make(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"NULL to BSTR", Make(VT_NULL), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {"NULL to EMPTY", Make(VT_NULL), VT_EMPTY, S_OK, "EMPTY"},
        {"I4 to BSTR", Variant::I4(-7), VT_BSTR, S_OK, "BSTR:'-7'"},
        {"R8 to BSTR", Variant::R8(29.97), VT_BSTR, S_OK, "BSTR:'29.97'"},
        {"R8 1e20 to BSTR", Variant::R8(1e20), VT_BSTR, S_OK, "BSTR:'1E+20'"},
        {"R4 0.1 to BSTR", Make(VT_R4, [](VARIANT &v) { v.u.fltVal = 0.1f; }), VT_BSTR, S_OK, "BSTR:'0.1'"},
        {"UI8 max to BSTR", Make(VT_UI8, [](VARIANT &v) { v.u.ullVal = UINT64_MAX; }), VT_BSTR, S_OK,
         "BSTR:'18446744073709551615'"},
        {"CY 2.5 to I4", Make(VT_CY, [](VARIANT &v) { v.u.cyVal.int64 = 25000; }), VT_I4, S_OK, "I4:2"},
        {"CY -3.5 to I4", Make(VT_CY, [](VARIANT &v) { v.u.cyVal.int64 = -35000; }), VT_I4, S_OK, "I4:-4"},
        {"CY to BSTR", Make(VT_CY, [](VARIANT &v) { v.u.cyVal.int64 = -12345; }), VT_BSTR, S_OK, "BSTR:'-1.2345'"},
        {"CY to R8", Make(VT_CY, [](VARIANT &v) { v.u.cyVal.int64 = 15000; }), VT_R8, S_OK, "R8:1.5"},
        {"R8 to CY", Variant::R8(1.5), VT_CY, S_OK, "CY:15000"},
        {"I8 huge to CY", Make(VT_I8, [](VARIANT &v) { v.u.llVal = INT64_MAX / 1000; }), VT_CY, DISP_E_OVERFLOW, ""},
        {"I4 to R8", Variant::I4(3), VT_R8, S_OK, "R8:3"},
        {"I4 to DATE", Variant::I4(2), VT_DATE, S_OK, "DATE:2"},
        {"R8 1e7 to DATE", Variant::R8(1e7), VT_DATE, DISP_E_OVERFLOW, ""},
        {"ERROR to I4", Variant::Missing(), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"ERROR to ERROR", Variant::Missing(), VT_ERROR, S_OK, "ERROR:" + std::to_string(DISP_E_PARAMNOTFOUND)},
        {"I4 to ERROR", Variant::I4(1), VT_ERROR, DISP_E_TYPEMISMATCH, ""},
        {"DISPATCH to I4", Variant::Dispatch(&object), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"DISPATCH to BSTR", Variant::Dispatch(&object), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {"I4 to UNKNOWN", Variant::I4(1), VT_UNKNOWN, DISP_E_TYPEMISMATCH, ""},
        {"to an unknown type", Variant::I4(1), static_cast<VARTYPE>(0x7F), DISP_E_BADVARTYPE, ""},
        {"to a by-ref type", Variant::I4(1), static_cast<VARTYPE>(VT_BYREF | VT_I4), DISP_E_BADVARTYPE, ""},
        {"array to I4", Make(VT_ARRAY | VT_I4), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"I4 to array", Variant::I4(1), static_cast<VARTYPE>(VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH, ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        Variant out;
        const HRESULT hr = VariantChangeType(&out, &c.src, 0, c.vt);
        EXPECT_EQ(hr, c.hr);
        if (SUCCEEDED(c.hr)) {
            EXPECT_EQ(Describe(out), c.out);
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY);
        }
    }
    }
    EXPECT_EQ(object.Count(), 1u);
}

// Catches: in-place conversion that frees the source before reading it,
// and a failed conversion that damages the destination.
TEST(VariantChangeType, InPlaceAndFailureLeavesDestination) {
    Variant v = Variant::Str(u" 12 ");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(Describe(v), "I4:12");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Describe(v), "BSTR:'12'");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Describe(v), "BSTR:'12'");

    Variant keep = Variant::Str(u"keep");
    const Variant bad = Variant::Str(u"x");
    EXPECT_EQ(VariantChangeType(&keep, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Describe(keep), "BSTR:'keep'");
}

// Catches: a by-ref source converted as its pointer, and VT_BYREF|VT_VARIANT
// not followed to the inner value.
TEST(VariantChangeType, ReadsThroughReferences) {
    SHORT number = 5;
    const Variant ref = Variant::Ref(VT_I2, &number);
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Describe(out), "BSTR:'5'");

    Variant inner = Variant::R8(2.5);
    const Variant to_variant = Variant::Ref(VT_VARIANT, &inner);
    ASSERT_EQ(VariantChangeType(&out, &to_variant, 0, VT_I4), S_OK);
    EXPECT_EQ(Describe(out), "I4:2");
    EXPECT_EQ(Describe(inner), "R8:2.5");
}

// Catches: UNKNOWN to DISPATCH without QueryInterface (a wrong pointer for
// objects that are not dispatchable), a failed query reported as anything
// but a type mismatch, and DISPATCH to UNKNOWN without AddRef.
TEST(VariantChangeType, ObjectConversions) {
    Counted dispatchable(true), plain(false);
    {
        const Variant unknown = Make(VT_UNKNOWN, [&](VARIANT &v) {
            dispatchable.AddRef();
            V_UNKNOWN(&v) = &dispatchable;
        });
        Variant out;
        ASSERT_EQ(VariantChangeType(&out, &unknown, 0, VT_DISPATCH), S_OK);
        EXPECT_EQ(V_DISPATCH(&out), &dispatchable);
        EXPECT_EQ(dispatchable.Count(), 3u);

        Variant back;
        ASSERT_EQ(VariantChangeType(&back, &out, 0, VT_UNKNOWN), S_OK);
        EXPECT_EQ(Describe(back), "UNKNOWN");
        EXPECT_EQ(dispatchable.Count(), 4u);

        const Variant not_dispatch = Make(VT_UNKNOWN, [&](VARIANT &v) {
            plain.AddRef();
            V_UNKNOWN(&v) = &plain;
        });
        EXPECT_EQ(VariantChangeType(&out, &not_dispatch, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(plain.Count(), 2u);
    }
    EXPECT_EQ(dispatchable.Count(), 1u);
    EXPECT_EQ(plain.Count(), 1u);
}

// Catches: arrays converted element-wise or shared instead of copied.
TEST(VariantChangeType, ArraysOnlyToTheirOwnType) {
    const Variant array = Make(VT_ARRAY | VT_I4, [](VARIANT &v) { V_ARRAY(&v) = SafeArrayCreateVector(VT_I4, 0, 3); });
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &array, 0, VT_ARRAY | VT_I4), S_OK);
    EXPECT_NE(V_ARRAY(&out), V_ARRAY(&array));
    EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_ARRAY | VT_BSTR), DISP_E_TYPEMISMATCH);
}

// ---- arrays ------------------------------------------------------------------

// Catches: bounds stored first dimension first (C clients read rgsabound[0]
// as the last dimension), dimension numbers off by one, and elements laid
// out with the last index varying fastest.
TEST(SafeArray, TwoDimensionalBoundsAndLayout) {
    const SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, 10}};
    SAFEARRAY *array = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 4u);
    EXPECT_EQ(array->rgsabound[0].cElements, 4u);
    EXPECT_EQ(array->rgsabound[0].lLbound, 10);
    EXPECT_EQ(array->rgsabound[1].cElements, 3u);

    struct Case {
        UINT dim;
        HRESULT hr;
        LONG lower, upper;
    } dims[] = {{1, S_OK, 1, 3}, {2, S_OK, 10, 13}, {0, DISP_E_BADINDEX, 0, 0}, {3, DISP_E_BADINDEX, 0, 0}};
    for (const auto &c : dims) {
        SCOPED_TRACE(c.dim);
        LONG lower = 0, upper = 0;
        EXPECT_EQ(SafeArrayGetLBound(array, c.dim, &lower), c.hr);
        EXPECT_EQ(SafeArrayGetUBound(array, c.dim, &upper), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(lower, c.lower);
            EXPECT_EQ(upper, c.upper);
        }
    }

    const LONG at[2] = {2, 11};
    const int32_t value = 352;
    ASSERT_EQ(SafeArrayPutElement(array, at, &value), S_OK);
    int32_t *data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, reinterpret_cast<void **>(&data)), S_OK);
    EXPECT_EQ(data[(11 - 10) * 3 + (2 - 1)], 352);
    SafeArrayUnaccessData(array);

    for (const auto &bad : std::initializer_list<std::pair<LONG, LONG>>{{0, 10}, {4, 10}, {1, 9}, {1, 14}}) {
        const LONG index[2] = {bad.first, bad.second};
        int32_t out = 0;
        EXPECT_EQ(SafeArrayGetElement(array, index, &out), DISP_E_BADINDEX) << bad.first << "," << bad.second;
        EXPECT_EQ(SafeArrayPutElement(array, index, &value), DISP_E_BADINDEX);
    }
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// Catches: Put storing the caller's BSTR instead of a copy, Get handing out
// the stored one, a replaced element leaking, and element storage that is
// not zeroed (an unset element must read as NULL).
TEST(SafeArray, StringElementsAreCopiedInAndOut) {
    SAFEARRAY *array = SafeArrayCreateVector(VT_BSTR, 1, 2);
    ASSERT_NE(array, nullptr);
    EXPECT_TRUE(array->fFeatures & FADF_BSTR);
    EXPECT_TRUE(array->fFeatures & FADF_HAVEVARTYPE);

    const LONG first = 1, second = 2;
    Bstr text(u"stopped");
    ASSERT_EQ(SafeArrayPutElement(array, &first, text.Get()), S_OK);
    Bstr replacement(u"playing");
    ASSERT_EQ(SafeArrayPutElement(array, &first, replacement.Get()), S_OK);

    Bstr out;
    ASSERT_EQ(SafeArrayGetElement(array, &first, out.Put()), S_OK);
    EXPECT_EQ(out.View(), u"playing");
    EXPECT_NE(out.Get(), replacement.Get());
    BSTR *data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void **>(&data));
    EXPECT_NE(data[0], out.Get());
    SafeArrayUnaccessData(array);

    ASSERT_EQ(SafeArrayGetElement(array, &second, out.Put()), S_OK);
    EXPECT_EQ(out.Get(), nullptr);

    SAFEARRAY *copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    ASSERT_EQ(SafeArrayGetElement(copy, &first, out.Put()), S_OK);
    EXPECT_EQ(out.View(), u"playing");
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

// Catches: destroying an array that a caller still has access to, and an
// unbalanced unlock going unnoticed.
TEST(SafeArray, LockedArrayCannotBeDestroyed) {
    SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, 16);
    void *data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// Catches: interface and variant elements not released (or released twice)
// when the array goes, and Get not adding the caller's reference.
TEST(SafeArray, ObjectElementsHoldReferences) {
    Counted object;
    SAFEARRAY *objects = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
    SAFEARRAY *variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    const LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch *>(&object)), S_OK);
    const Variant held = Variant::Dispatch(&object);
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &held), S_OK);
    EXPECT_EQ(object.Count(), 4u);

    IDispatch *out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &out), S_OK);
    EXPECT_EQ(out, &object);
    EXPECT_EQ(object.Count(), 5u);
    out->Release();

    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
    EXPECT_EQ(object.Count(), 2u);
}

// Catches: element types the array cannot describe accepted with a
// garbage size, and zero dimensions accepted.
TEST(SafeArray, RejectsWhatItCannotHold) {
    const SAFEARRAYBOUND bound{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(static_cast<VARTYPE>(0x7F), 1, &bound), nullptr);
}

} // namespace

namespace {

// Catches: descriptors whose fields disagree (a client may hand in any
// descriptor, or change one of ours) read as they claim, so that copying,
// reading, writing or destroying them runs past the element storage or the
// caller's buffer. Under the sanitizers these overflow at once.
TEST(SafeArray, InconsistentDescriptorsAreRefused) {
    const SAFEARRAYBOUND bound{4, 0};
    struct Tamper {
        const char *what;
        VARTYPE vt;
        void (*change)(SAFEARRAY *);
    } cases[] = {
        {"strings one byte wide", VT_BSTR, [](SAFEARRAY *a) { a->cbElements = 1; }},
        {"variants two bytes wide", VT_VARIANT, [](SAFEARRAY *a) { a->cbElements = 2; }},
        {"bytes that claim to be strings", VT_UI1, [](SAFEARRAY *a) { a->fFeatures |= FADF_BSTR; }},
        {"strings that claim to be variants too", VT_BSTR, [](SAFEARRAY *a) { a->fFeatures |= FADF_VARIANT; }},
        {"int32 wider than its type", VT_I4, [](SAFEARRAY *a) { a->cbElements = 64; }},
        {"no element size", VT_I2, [](SAFEARRAY *a) { a->cbElements = 0; }},
        {"no dimensions", VT_I4, [](SAFEARRAY *a) { a->cDims = 0; }},
        {"strings without dimensions", VT_BSTR, [](SAFEARRAY *a) { a->cDims = 0; }},
    };
    for (const Tamper &c : cases) {
        SCOPED_TRACE(c.what);
        SAFEARRAY *array = SafeArrayCreate(c.vt, 1, &bound);
        ASSERT_NE(array, nullptr);
        const SAFEARRAY intact = *array;
        c.change(array);

        SAFEARRAY *copy = reinterpret_cast<SAFEARRAY *>(1);
        EXPECT_EQ(SafeArrayCopy(array, &copy), E_INVALIDARG);
        EXPECT_EQ(copy, nullptr);
        const LONG index = 1;
        alignas(VARIANT) unsigned char element[sizeof(VARIANT)] = {};
        EXPECT_EQ(SafeArrayGetElement(array, &index, element), E_INVALIDARG);
        EXPECT_EQ(SafeArrayPutElement(array, &index, element), E_INVALIDARG);
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(array, &vt), E_INVALIDARG);
        // Through a Variant, as late-bound arguments arrive.
        VARIANT holder;
        holder.vt = static_cast<VARTYPE>(VT_ARRAY | c.vt);
        V_ARRAY(&holder) = array;
        VARIANT target;
        VariantInit(&target);
        EXPECT_EQ(VariantCopy(&target, &holder), E_INVALIDARG);
        EXPECT_EQ(target.vt, VT_EMPTY);
        // Destroying it would free what its fields make up: it stays.
        EXPECT_EQ(SafeArrayDestroy(array), E_INVALIDARG);
        EXPECT_EQ(VariantClear(&holder), E_INVALIDARG);

        *array = intact;
        EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    }
}

// Catches: a Variant whose type names other elements than its array holds
// copied as it is, so that whoever reads the elements by the Variant's type
// writes past a buffer sized for that type, or frees what it does not own.
TEST(SafeArray, VariantsMustNameTheirArraysElements) {
    const SAFEARRAYBOUND bound{2, 0};
    struct Mismatch {
        VARTYPE claimed, held;
    } cases[] = {{VT_R8, VT_VARIANT}, {VT_BSTR, VT_I8}, {VT_I4, VT_I2}, {VT_VARIANT, VT_BSTR}};
    for (const Mismatch &c : cases) {
        SCOPED_TRACE(c.claimed);
        VARIANT holder;
        holder.vt = static_cast<VARTYPE>(VT_ARRAY | c.claimed);
        V_ARRAY(&holder) = SafeArrayCreate(c.held, 1, &bound);
        ASSERT_NE(V_ARRAY(&holder), nullptr);
        VARIANT copy;
        VariantInit(&copy);
        EXPECT_EQ(VariantCopy(&copy, &holder), E_INVALIDARG);
        EXPECT_EQ(copy.vt, VT_EMPTY);
        holder.vt = static_cast<VARTYPE>(VT_ARRAY | c.held);
        EXPECT_EQ(VariantCopy(&copy, &holder), S_OK);
        EXPECT_EQ(VariantClear(&copy), S_OK);
        EXPECT_EQ(VariantClear(&holder), S_OK);
    }
}

} // namespace

