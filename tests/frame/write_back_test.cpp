// Write-back of converted by-ref arguments: what the member stored comes
// back, and nothing else; a string the member left as it was stays the
// caller's own string.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/member.h"

namespace tvx {
namespace {

class Reader;
const ClassInfo &ReaderClass();

class Reader : public ObjectBase {
public:
    Reader() : ObjectBase(ReaderClass()) {}
    int32_t Look(const Variant &value) { return value.Type(); }
    int32_t Stamp(ByRef<Variant> value) {
        value = Variant::Str(u"stamped");
        return 0;
    }
    int32_t Peek(const int32_t &number, const int16_t &) { return number; }
    int32_t Double(ByRef<int32_t> number) {
        number *= 2;
        return 0;
    }
    // Store the value they were given, the second through the first.
    void Keep(ByRef<int32_t> number) { number = number.Get(); }
    void Relay(ByRef<int32_t> number) { CallMember<&Reader::Keep>(*this, number); }
    void Restate(ByRef<std::u16string> text) { text = text.Get(); }
};

const ClassInfo &ReaderClass() {
    static const MemberInfo members[] = {
        Method<&Reader::Look>(1, u"Look", u"value"),
        Method<&Reader::Stamp>(2, u"Stamp", u"value"),
        Method<&Reader::Peek>(3, u"Peek", u"number,small"),
        Method<&Reader::Double>(4, u"Double", u"number"),
        Method<&Reader::Keep>(5, u"Keep", u"number"),
        Method<&Reader::Relay>(6, u"Relay", u"number"),
        Method<&Reader::Restate>(7, u"Restate", u"text"),
    };
    static const ClassInfo info(u"Reader", u"Test.Reader", {9, 9, 9, {9}}, {8, 8, 8, {8}}, members,
                                &CreateObject<Reader>, &DestroyObject<Reader>);
    return info;
}

HRESULT CallWith(IDispatch *object, DISPID id, VARIANT argument) {
    DISPPARAMS params{&argument, nullptr, 1, 0};
    Variant result;
    return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr);
}

// Catches: an unchanged string replaced by an equal copy, which frees the
// string that the caller may still hold elsewhere.
TEST(WriteBack, AStringReferenceTheMemberLeftAloneKeepsItsPointer) {
    auto object = ComPtr<IDispatch>::Attach(ReaderClass().create()->Interface());
    BSTR text = SysAllocString(u"kept");
    const BSTR before = text;
    VARIANT argument;
    argument.vt = VT_BYREF | VT_BSTR;
    V_BSTRREF(&argument) = &text;
    ASSERT_EQ(CallWith(object.Get(), 1, argument), S_OK);
    EXPECT_EQ(text, before);
    EXPECT_EQ(View(text), u"kept");

    ASSERT_EQ(CallWith(object.Get(), 2, argument), S_OK);
    EXPECT_EQ(View(text), u"stamped") << "a changed string still reaches the caller";
    SysFreeString(text);
}

TEST(WriteBack, AStringInsideAVariantReferenceKeepsItsPointerToo) {
    auto object = ComPtr<IDispatch>::Attach(ReaderClass().create()->Interface());
    Variant holder = Variant::Str(u"kept");
    const BSTR before = V_BSTR(&holder);
    VARIANT argument;
    argument.vt = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&argument) = &holder;
    ASSERT_EQ(CallWith(object.Get(), 1, argument), S_OK);
    EXPECT_EQ(V_BSTR(&holder), before);
}

// Catches: a converted by-ref argument written back although the member
// stored nothing into it (2.5 coming back as 2), or although the call was
// refused before the member ran.
TEST(WriteBack, OnlyWhatTheMemberStoredComesBack) {
    auto object = ComPtr<IDispatch>::Attach(ReaderClass().create()->Interface());
    auto by_ref = [](VARTYPE type, void *p) {
        VARIANT v;
        v.vt = VT_BYREF | type;
        V_BYREF(&v) = p;
        return v;
    };
    double number = 2.5;
    SHORT small = 1;
    VARIANT args[2] = {by_ref(VT_I2, &small), by_ref(VT_R8, &number)}; // reversed
    DISPPARAMS params{args, nullptr, 2, 0};
    Variant result;
    ASSERT_EQ(object->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(V_I4(&result), 2) << "the member saw the converted value";
    EXPECT_EQ(number, 2.5);

    Variant empty;
    args[1] = by_ref(VT_VARIANT, &empty);
    ASSERT_EQ(object->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(empty.Type(), VT_EMPTY);

    // Refused at the second argument: the member never ran.
    Bstr word(u"zz");
    BSTR text = word.Get();
    args[0] = by_ref(VT_BSTR, &text);
    args[1] = by_ref(VT_R8, &number);
    UINT bad = 99;
    EXPECT_EQ(object->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, &bad),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(number, 2.5);

    // What the member does store comes back in the caller's type.
    number = 2.5;
    VARIANT one = by_ref(VT_R8, &number);
    DISPPARAMS single{&one, nullptr, 1, 0};
    ASSERT_EQ(object->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &single, result.Put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(number, 4.0);
}

// Catches: a store equal to the converted value taken for no store, also
// when the member that stores is reached through another member's by-ref
// parameter, and for a text that converts back to another number.
TEST(WriteBack, AStoreOfTheConvertedValueItselfComesBack) {
    auto object = ComPtr<IDispatch>::Attach(ReaderClass().create()->Interface());
    double number = 2.5;
    VARIANT argument;
    argument.vt = VT_BYREF | VT_R8;
    V_R8REF(&argument) = &number;
    ASSERT_EQ(CallWith(object.Get(), 5, argument), S_OK);
    EXPECT_EQ(number, 2.0);

    number = 3.5;
    ASSERT_EQ(CallWith(object.Get(), 6, argument), S_OK);
    EXPECT_EQ(number, 4.0);

    number = -0.0;
    ASSERT_EQ(CallWith(object.Get(), 7, argument), S_OK);
    EXPECT_FALSE(std::signbit(number)) << "-0 came back as the text's 0";
    EXPECT_EQ(number, 0.0);
}

// Catches: a value the member stored that does not fit the caller's variable
// lost silently, with the call reporting success.
TEST(WriteBack, AStoredValueTheCallersTypeCannotHoldFailsTheCall) {
    auto object = ComPtr<IDispatch>::Attach(ReaderClass().create()->Interface());
    SHORT small = 20000;
    VARIANT argument;
    argument.vt = VT_BYREF | VT_I2;
    V_I2REF(&argument) = &small;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    Variant result;
    UINT bad = 99;
    EXPECT_EQ(object->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, &bad),
              DISP_E_OVERFLOW);
    EXPECT_EQ(bad, 0u) << "the argument that could not take the value";
    EXPECT_EQ(small, 20000);

    small = 300;
    EXPECT_EQ(object->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, &bad), S_OK);
    EXPECT_EQ(small, 600);
}

} // namespace
} // namespace tvx
