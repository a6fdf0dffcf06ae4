// Late binding through the generic Invoke: argument order, named
// arguments, property puts, by-ref arguments written back to the caller,
// conversion failures with their argument index, refusals that leave the
// member unentered, and agreement with the early-bound entries.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "frame/member.h"
#include "support/early_slot.h"

namespace tvx {
namespace {

using namespace std::string_literals;

class Args;
const ClassInfo &ArgsClass();

constexpr GUID kArgsClsid = {0x5a0e33c1, 0x8f2d, 0x4c6b, {0xb1, 0x7e, 0x93, 0x04, 0xd2, 0x5f, 0x61, 0xa8}};
constexpr GUID kArgsIid = {0x5a0e33c2, 0x8f2d, 0x4c6b, {0xb1, 0x7e, 0x93, 0x04, 0xd2, 0x5f, 0x61, 0xa8}};

class Args : public ObjectBase {
public:
    Args() : ObjectBase(ArgsClass()) {}

    int entries = 0;
    int32_t level = 0;
    ComPtr<IDispatch> partner;

    // Result: the value the member found; the caller's variable gains 1000.
    int32_t BumpLong(ByRef<int32_t> value) {
        ++entries;
        int32_t found = value;
        value += 1000;
        return found;
    }
    // Result: the length the member found; the caller's text gains a tail.
    int32_t ExtendText(ByRef<std::u16string> text) {
        ++entries;
        auto found = static_cast<int32_t>(text->size());
        text += u"\0tail"s;
        return found;
    }
    // Result: the type the member found; the caller's Variant becomes text.
    int32_t SwapVariant(ByRef<Variant> value) {
        ++entries;
        int32_t found = value->Type();
        value = Variant::Str(u"re\0placed"s);
        return found;
    }
    std::u16string Describe(int32_t a, std::u16string b, double c, Bool16 d, uint8_t e, int16_t f) {
        ++entries;
        auto text = [](auto n) { return convert::FromUtf8(std::to_string(n)); };
        return text(a) + u"|" + b + u"|" + text(c) + u"|" + text(static_cast<int>(d)) + u"|" + text(e) + u"|" +
               text(f);
    }
    int32_t Weighted(int32_t a, int32_t b, int32_t c) {
        ++entries;
        return a * 10000 + b * 100 + c;
    }
    int32_t get_Level() { return level; }
    void put_Level(int32_t value) {
        ++entries;
        level = value;
    }
    ComPtr<IDispatch> get_Partner() { return partner; }
    void putref_Partner(ComPtr<IDispatch> value) {
        ++entries;
        partner = std::move(value);
    }
    // Negative input raises, zero is not built, otherwise the double.
    void Checked(Result<int32_t> &result, int32_t value) {
        ++entries;
        result = value;
        if (value < 0) Raise(kOverflow);
        if (value == 0) NotImplemented();
        result = value * 2;
    }
};

enum : DISPID {
    kBumpLong = 0x200,
    kExtendText,
    kSwapVariant,
    kDescribe,
    kWeighted,
    kLevel,
    kPartner,
    kChecked,
};

const ClassInfo &ArgsClass() {
    static const MemberInfo members[] = {
        Method<&Args::BumpLong>(kBumpLong, u"BumpLong", u"value"),
        Method<&Args::ExtendText>(kExtendText, u"ExtendText", u"text"),
        Method<&Args::SwapVariant>(kSwapVariant, u"SwapVariant", u"value"),
        Method<&Args::Describe>(kDescribe, u"Describe", u"a,b,c,d,e,f"),
        Method<&Args::Weighted>(kWeighted, u"Weighted", u"a,b,c"),
        Get<&Args::get_Level>(kLevel, u"Level"),
        Put<&Args::put_Level>(kLevel, u"Level"),
        Get<&Args::get_Partner>(kPartner, u"Partner"),
        PutRef<&Args::putref_Partner>(kPartner, u"Partner"),
        Method<&Args::Checked>(kChecked, u"Checked", u"value"),
    };
    static const ClassInfo info(u"clsDispatchProbe", u"TvxTests.clsDispatchProbe", kArgsClsid, kArgsIid, members,
                                &CreateObject<Args>, &DestroyObject<Args>);
    return info;
}

// Early-bound slot positions, in table order.
enum Slot { kSlotBumpLong = 1, kSlotExtendText, kSlotSwapVariant, kSlotDescribe, kSlotWeighted, kSlotChecked = 10 };

using tvx::testing::CallSlot;

// A VARIANT that refers to `target` (VT_BYREF|vt), owning nothing.
VARIANT RefTo(VARTYPE vt, void *target) {
    VARIANT v;
    v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    V_BYREF(&v) = target;
    return v;
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { args_ = static_cast<Args *>(ArgsClass().create()); }
    void TearDown() override {
        SetErrorInfo(0, nullptr);
        args_->Release();
    }
    IDispatch *Object() { return args_->Interface(); }

    // `rgvarg` is passed as it is: already in reverse order. The array holds
    // bitwise copies, so the caller keeps ownership of what they refer to.
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> rgvarg, VARIANT *result = nullptr,
                 std::vector<DISPID> named = {}, UINT *arg_err = nullptr, EXCEPINFO *excep = nullptr) {
        DISPPARAMS params{rgvarg.empty() ? nullptr : rgvarg.data(), named.empty() ? nullptr : named.data(),
                          static_cast<UINT>(rgvarg.size()), static_cast<UINT>(named.size())};
        HRESULT status =
            Object()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, arg_err);
        last_rgvarg_ = rgvarg;
        return status;
    }

    Args *args_ = nullptr;
    std::vector<VARIANT> last_rgvarg_;
};

// Catches: arguments taken in call order instead of reversed, or converted
// to the wrong parameter's type, when parameters of several types meet.
TEST_F(DispatchTest, ArgumentsArriveReversedEachInItsParameter) {
    Variant a = Variant::I4(-12), b = Variant::Str(u"x\0y"s), c = Variant::R8(2.5), d = Variant::Bool(true),
            e = Variant::UI1(200), f = Variant::I2(-300);
    Variant result;
    ASSERT_EQ(Call(kDescribe, DISPATCH_METHOD, {f, e, d, c, b, a}, result.Put()), S_OK);
    ASSERT_EQ(result.Type(), VT_BSTR);
    EXPECT_EQ(result.StrView(), u"-12|x\0y|2.500000|-1|200|-300"s);

    // Arguments of other types are converted to each parameter's type.
    Variant text_a = Variant::Str(u"7"), short_c = Variant::I2(3), long_e = Variant::I4(9), double_f = Variant::R8(4);
    ASSERT_EQ(Call(kDescribe, DISPATCH_METHOD, {double_f, long_e, d, short_c, b, text_a}, result.Put()), S_OK);
    EXPECT_EQ(result.StrView(), u"7|x\0y|3.000000|-1|9|4"s);
}

// Catches: named arguments matched by their order in the array instead of
// by their ids, or positional ones placed after the named ones.
TEST_F(DispatchTest, NamedArgumentsFindTheirParameters) {
    struct Case {
        const char *fault;
        std::vector<DISPID> named;
        std::vector<int32_t> rgvarg; // values as placed in the array
        int32_t expected;
    };
    const Case cases[] = {
        {"all named, shuffled", {1, 2, 0}, {2, 3, 1}, 10203},
        {"all named, reverse of positional", {0, 1, 2}, {1, 2, 3}, 10203},
        {"one positional, two named", {2, 1}, {3, 2, 1}, 10203},
        {"one positional, one named, one positional", {2}, {3, 2, 1}, 10203},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        std::vector<VARIANT> rgvarg;
        for (int32_t v : c.rgvarg) rgvarg.push_back(Variant::I4(v));
        Variant result;
        ASSERT_EQ(Call(kWeighted, DISPATCH_METHOD, rgvarg, result.Put(), c.named), S_OK);
        EXPECT_EQ(V_I4(&result), c.expected);
    }
}

// Catches: a put that ignores DISPID_PROPERTYPUT, reaches the get, or does
// not store; a putref that loses or leaks the object; a get refused when a
// client asks for method-or-get as scripting clients do.
TEST_F(DispatchTest, PropertyPutsAndGets) {
    ASSERT_EQ(Call(kLevel, DISPATCH_PROPERTYPUT, {Variant::I4(17)}, nullptr, {DISPID_PROPERTYPUT}), S_OK);
    EXPECT_EQ(args_->level, 17);
    Variant text = Variant::Str(u"23");
    ASSERT_EQ(Call(kLevel, DISPATCH_PROPERTYPUT, {text}, nullptr, {DISPID_PROPERTYPUT}), S_OK);
    Variant got;
    ASSERT_EQ(Call(kLevel, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, got.Put()), S_OK);
    EXPECT_EQ(got.Type(), VT_I4);
    EXPECT_EQ(V_I4(&got), 23);

    Args *other = static_cast<Args *>(ArgsClass().create());
    IUnknown *other_unknown = reinterpret_cast<IUnknown *>(other->Interface());
    other->AddRef();
    const ULONG baseline = other->Release();
    {
        Variant object = Variant::Dispatch(other->Interface());
        ASSERT_EQ(Call(kPartner, DISPATCH_PROPERTYPUTREF, {object}, nullptr, {DISPID_PROPERTYPUT}), S_OK);
        Variant back;
        ASSERT_EQ(Call(kPartner, DISPATCH_PROPERTYGET, {}, back.Put()), S_OK);
        ASSERT_EQ(back.Type(), VT_DISPATCH);
        EXPECT_EQ(V_DISPATCH(&back), other->Interface());
    }
    // Storing nothing lets the object go again.
    VARIANT none;
    none.vt = VT_DISPATCH;
    V_DISPATCH(&none) = nullptr;
    ASSERT_EQ(Call(kPartner, DISPATCH_PROPERTYPUTREF, {none}, nullptr, {DISPID_PROPERTYPUT}), S_OK);
    EXPECT_FALSE(args_->partner);
    other_unknown->AddRef();
    EXPECT_EQ(other_unknown->Release(), baseline);
    other->Release();
}

// Catches: a typed by-ref argument whose variable is not written through;
// a by-value argument for a by-ref parameter written back into the caller's
// array; an embedded NUL lost on the way back.
TEST_F(DispatchTest, ByRefArgumentsAreTheCallersOwnVariables) {
    LONG number = 5;
    Variant result;
    ASSERT_EQ(Call(kBumpLong, DISPATCH_METHOD, {RefTo(VT_I4, &number)}, result.Put()), S_OK);
    EXPECT_EQ(V_I4(&result), 5);
    EXPECT_EQ(number, 1005);

    Bstr text(u"a\0b"s);
    BSTR slot = text.Detach();
    ASSERT_EQ(Call(kExtendText, DISPATCH_METHOD, {RefTo(VT_BSTR, &slot)}, result.Put()), S_OK);
    text = Bstr::Attach(slot);
    EXPECT_EQ(V_I4(&result), 3);
    EXPECT_EQ(text.View(), u"a\0b\0tail"s);

    Variant inner = Variant::R8(1.5);
    ASSERT_EQ(Call(kSwapVariant, DISPATCH_METHOD, {RefTo(VT_VARIANT, &inner)}, result.Put()), S_OK);
    EXPECT_EQ(V_I4(&result), VT_R8);
    ASSERT_EQ(inner.Type(), VT_BSTR);
    EXPECT_EQ(inner.StrView(), u"re\0placed"s);

    // A plain value stands in a temporary: the caller's array keeps it.
    struct Case {
        const char *fault;
        DISPID id;
        Variant argument;
    };
    Case temporaries[] = {
        {"int32 by value", kBumpLong, Variant::I4(5)},
        {"string by value", kExtendText, Variant::Str(u"keep")},
        {"Variant by value", kSwapVariant, Variant::I2(3)},
    };
    for (Case &c : temporaries) {
        SCOPED_TRACE(c.fault);
        VARIANT before = c.argument;
        ASSERT_EQ(Call(c.id, DISPATCH_METHOD, {c.argument}, result.Put()), S_OK);
        ASSERT_EQ(last_rgvarg_.size(), 1u);
        EXPECT_EQ(last_rgvarg_[0].vt, before.vt);
        EXPECT_EQ(last_rgvarg_[0].u.llVal, before.u.llVal);
    }
    EXPECT_EQ(Variant(temporaries[1].argument).StrView(), u"keep");
}

// Catches: a Variant reference not dereferenced, its value not written
// back, or written back in the parameter's type although the Variant's own
// type could hold it (and not widened when it cannot).
TEST_F(DispatchTest, VariantReferencesAreWrittenBackInTheirOwnType) {
    struct Case {
        const char *fault;
        Variant start;
        VARTYPE type_after;
        int32_t value_after;
    };
    Case cases[] = {
        {"long stays long", Variant::I4(5), VT_I4, 1005},
        {"short that still fits stays short", Variant::I2(5), VT_I2, 1005},
        {"short that overflows becomes long", Variant::I2(32000), VT_I4, 33000},
        {"double stays double", Variant::R8(2), VT_R8, 1002},
        {"empty takes the parameter's type", Variant(), VT_I4, 1000},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.fault);
        Variant result;
        ASSERT_EQ(Call(kBumpLong, DISPATCH_METHOD, {RefTo(VT_VARIANT, &c.start)}, result.Put()), S_OK);
        EXPECT_EQ(c.start.Type(), c.type_after);
        Variant as_long;
        ASSERT_EQ(VariantChangeType(&as_long, &c.start, 0, VT_I4), S_OK);
        EXPECT_EQ(V_I4(&as_long), c.value_after);
    }

    Variant text = Variant::Str(u"12");
    Variant result;
    ASSERT_EQ(Call(kBumpLong, DISPATCH_METHOD, {RefTo(VT_VARIANT, &text)}, result.Put()), S_OK);
    EXPECT_EQ(V_I4(&result), 12);
    ASSERT_EQ(text.Type(), VT_BSTR);
    EXPECT_EQ(text.StrView(), u"1012");

    Variant nul_text = Variant::Str(u"n\0ul"s);
    ASSERT_EQ(Call(kExtendText, DISPATCH_METHOD, {RefTo(VT_VARIANT, &nul_text)}, result.Put()), S_OK);
    EXPECT_EQ(V_I4(&result), 4);
    EXPECT_EQ(nul_text.StrView(), u"n\0ul\0tail"s);
}

// Catches: a member entered despite an unknown id, a wrong kind of call, a
// wrong argument count or an argument that cannot be converted; a wrong
// index reported for the argument at fault.
TEST_F(DispatchTest, RefusalsLeaveTheMemberUnentered) {
    struct Case {
        const char *fault;
        DISPID id;
        WORD flags;
        std::vector<Variant> rgvarg;
        std::vector<DISPID> named;
        HRESULT status;
        UINT arg_err; // checked when the status names an argument
    };
    const Case cases[] = {
        {"unknown id", 0x999, DISPATCH_METHOD, {}, {}, DISP_E_MEMBERNOTFOUND, 0},
        {"put of a method", kWeighted, DISPATCH_PROPERTYPUT, {Variant::I4(1)}, {DISPID_PROPERTYPUT},
         DISP_E_MEMBERNOTFOUND, 0},
        {"too few", kWeighted, DISPATCH_METHOD, {Variant::I4(1), Variant::I4(2)}, {}, DISP_E_BADPARAMCOUNT, 0},
        {"too many", kWeighted, DISPATCH_METHOD, {Variant::I4(1), Variant::I4(2), Variant::I4(3), Variant::I4(4)},
         {}, DISP_E_BADPARAMCOUNT, 0},
        {"put without its value", kLevel, DISPATCH_PROPERTYPUT, {}, {}, DISP_E_BADPARAMCOUNT, 0},
        {"text for the middle parameter", kWeighted, DISPATCH_METHOD,
         {Variant::I4(3), Variant::Str(u"abc"), Variant::I4(1)}, {}, DISP_E_TYPEMISMATCH, 1},
        {"too large for the first parameter", kWeighted, DISPATCH_METHOD,
         {Variant::I4(3), Variant::I4(2), Variant::R8(1e12)}, {}, DISP_E_OVERFLOW, 2},
        {"too large for a byte among six", kDescribe, DISPATCH_METHOD,
         {Variant::I2(1), Variant::I4(300), Variant::Bool(false), Variant::R8(1), Variant::Str(u""), Variant::I4(1)},
         {}, DISP_E_OVERFLOW, 1},
        {"text for a named parameter", kWeighted, DISPATCH_METHOD,
         {Variant::I4(3), Variant::Str(u"abc"), Variant::I4(1)}, {2, 1}, DISP_E_TYPEMISMATCH, 1},
        {"text for a by-ref parameter", kBumpLong, DISPATCH_METHOD, {Variant::Str(u"abc")}, {}, DISP_E_TYPEMISMATCH,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        std::vector<VARIANT> rgvarg(c.rgvarg.begin(), c.rgvarg.end());
        UINT arg_err = 77;
        Variant result;
        EXPECT_EQ(Call(c.id, c.flags, rgvarg, result.Put(), c.named, &arg_err), c.status);
        if (c.status == DISP_E_TYPEMISMATCH || c.status == DISP_E_OVERFLOW) {
            EXPECT_EQ(arg_err, c.arg_err);
        }
        EXPECT_EQ(result.Type(), VT_EMPTY);
    }
    // A Variant reference to text that is no number is refused the same way.
    Variant text = Variant::Str(u"abc");
    UINT arg_err = 77;
    EXPECT_EQ(Call(kBumpLong, DISPATCH_METHOD, {RefTo(VT_VARIANT, &text)}, nullptr, {}, &arg_err),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_err, 0u);
    EXPECT_EQ(text.StrView(), u"abc");
    EXPECT_EQ(args_->entries, 0);
    EXPECT_EQ(args_->level, 0);
}

// Catches: early and late binding that disagree on a result, a by-ref
// write, or a status (late failures carry the early status in the
// exception record).
TEST_F(DispatchTest, EarlyAndLateBindingAgree) {
    for (int32_t input : {21, -3, 0}) {
        SCOPED_TRACE(input);
        LONG early = 99;
        HRESULT early_status = CallSlot(Object(), kSlotChecked, LONG{input}, &early);

        Variant late;
        EXCEPINFO excep{};
        HRESULT late_status = Call(kChecked, DISPATCH_METHOD, {Variant::I4(input)}, late.Put(), {}, nullptr, &excep);
        Bstr source = Bstr::Attach(excep.bstrSource), description = Bstr::Attach(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        if (SUCCEEDED(early_status)) {
            EXPECT_EQ(late_status, S_OK);
            ASSERT_EQ(late.Type(), VT_I4);
            EXPECT_EQ(V_I4(&late), early);
        } else {
            EXPECT_EQ(late_status, DISP_E_EXCEPTION);
            EXPECT_EQ(excep.scode, early_status);
            EXPECT_EQ(late.Type(), VT_EMPTY);
        }
    }

    for (auto [a, b, c] : {std::tuple{1, 2, 3}, std::tuple{-4, 0, 99}, std::tuple{7, -7, 0}}) {
        LONG early = 0;
        ASSERT_EQ(CallSlot(Object(), kSlotWeighted, LONG{a}, LONG{b}, LONG{c}, &early), S_OK);
        Variant late;
        ASSERT_EQ(Call(kWeighted, DISPATCH_METHOD, {Variant::I4(c), Variant::I4(b), Variant::I4(a)}, late.Put()), S_OK);
        EXPECT_EQ(V_I4(&late), early);
    }

    LONG early_value = 40, late_value = 40, early_result = 0;
    ASSERT_EQ(CallSlot(Object(), kSlotBumpLong, &early_value, &early_result), S_OK);
    Variant late_result;
    ASSERT_EQ(Call(kBumpLong, DISPATCH_METHOD, {RefTo(VT_I4, &late_value)}, late_result.Put()), S_OK);
    EXPECT_EQ(V_I4(&late_result), early_result);
    EXPECT_EQ(late_value, early_value);

    Bstr b(u"p\0q"s);
    BSTR early_text = nullptr;
    ASSERT_EQ(CallSlot(Object(), kSlotDescribe, LONG{1}, b.Get(), 0.25, VARIANT_FALSE, BYTE{2}, SHORT{3}, &early_text),
              S_OK);
    Variant late_text;
    Variant b_text = Variant::Str(b.View());
    ASSERT_EQ(Call(kDescribe, DISPATCH_METHOD,
                   {Variant::I2(3), Variant::UI1(2), Variant::Bool(false), Variant::R8(0.25), b_text, Variant::I4(1)},
                   late_text.Put()),
              S_OK);
    EXPECT_EQ(late_text.StrView(), Bstr::Attach(early_text).View());
}

} // namespace
} // namespace tvx
