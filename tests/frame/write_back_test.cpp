// Write-back of converted by-ref arguments: a string the member left as it
// was stays the caller's own string.
#include <gtest/gtest.h>

#include "frame/member.h"

namespace tvx {
namespace {

class Reader;
const ClassInfo &ReaderClass();

class Reader : public ObjectBase {
public:
    Reader() : ObjectBase(ReaderClass()) {}
    int32_t Look(Variant &value) { return value.Type(); }
    int32_t Stamp(Variant &value) {
        value = Variant::Str(u"stamped");
        return 0;
    }
};

const ClassInfo &ReaderClass() {
    static const MemberInfo members[] = {
        Method<&Reader::Look>(1, u"Look", u"value"),
        Method<&Reader::Stamp>(2, u"Stamp", u"value"),
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

} // namespace
} // namespace tvx
