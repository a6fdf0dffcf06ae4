// clsKwvIDOTarvex10A, the library's descriptor and application object
// class: the thread's application object, the library's own resources, the
// About box shown by the framework, and the thread's buddy slot.
//
// The classes without a folder of their own:
//   descriptor.cpp         the descriptor class and its member table
//   framework_calls.h/.cpp the calls into the framework library (About box,
//                          error reports), made by name
//   thread_state.h/.cpp    the per-thread buddy slot and application object
//   empty_classes.cpp      the three classes without members
#include <string>

#include "classes/framework_calls.h"
#include "classes/thread_state.h"
#include "component/registry.h"
#include "component/resources.h"
#include "convert/convert.h"
#include "frame/member.h"

namespace tvx {
namespace {

// A failed look-up in the library's resources is error 326.
HRESULT CheckLookup(HRESULT status) {
    if (status == TVX_E_RESOURCENOTFOUND) Raise(kResourceNotFound);
    return Check(status);
}

// The runtime's resource type for a Variant: a text names a custom type, a
// number a standard one.
struct ResourceTypeArgument {
    std::string name;
    WORD id = 0;
    bool valid = true; // a number outside the 16-bit range names no type
};

ResourceTypeArgument ReadResourceType(const Variant &argument) {
    Variant value;
    Check(VariantCopyInd(&value, &argument));
    ResourceTypeArgument type;
    if (value.vt == VT_BSTR) {
        type.name = convert::ToUtf8(value.StrView());
        return type;
    }
    Variant number;
    HRESULT status = VariantChangeType(&number, &value, 0, VT_I4);
    if (status == DISP_E_OVERFLOW) Raise(kOverflow);
    if (FAILED(status)) Raise(kTypeMismatch);
    type.valid = V_I4(&number) >= 0 && V_I4(&number) <= 0xFFFF;
    type.id = static_cast<WORD>(V_I4(&number));
    return type;
}

class Descriptor : public ObjectBase {
public:
    Descriptor() : ObjectBase(DescriptorClass()) {}

    ComPtr<IDispatch> GetProStdProperties() { return tvx::ApplicationObject(); }

    std::u16string GetProResStrings(const int32_t &lResId) {
        Prepare();
        Bstr text;
        CheckLookup(lResId < 0 ? TVX_E_RESOURCENOTFOUND
                               : TvxLoadResourceString(ModulePath().c_str(), static_cast<UINT>(lResId), text.Put()));
        return text.Str();
    }

    Picture GetProResPicture(const int32_t &lResId, const ResourceKind &lRestype) {
        Prepare();
        // The kind is narrowed to 16 bits before anything is looked up.
        const int32_t kind = static_cast<int32_t>(lRestype);
        if (kind < -32768 || kind > 32767) Raise(kOverflow);
        ComPtr<IDispatch> picture;
        CheckLookup(lResId < 0 ? TVX_E_RESOURCENOTFOUND
                               : TvxLoadResourcePicture(ModulePath().c_str(), static_cast<UINT>(lResId),
                                                        static_cast<int16_t>(kind), picture.Put()));
        return Picture{picture};
    }

    Variant GetProResData(const int32_t &lResId, const Variant &vRestype) {
        Prepare();
        const ResourceTypeArgument type = ReadResourceType(vRestype);
        if (!type.valid || lResId < 0 || lResId > 0xFFFF) Raise(kResourceNotFound);
        SAFEARRAY *bytes = nullptr;
        CheckLookup(TvxLoadResourceData(ModulePath().c_str(), type.name.empty() ? nullptr : type.name.c_str(),
                                        type.id, static_cast<WORD>(lResId), &bytes));
        Variant result;
        result.vt = VT_ARRAY | VT_UI1;
        V_ARRAY(&result) = bytes;
        return result;
    }

    int32_t About() {
        AppAboutKwel_Pro();
        return 0;
    }

    ComPtr<IDispatch> get_BuddyObjectGlobal() { return CurrentThreadState().buddy; }
    // The object is stored as it is, neither inspected nor called.
    void putref_BuddyObjectGlobal(ComPtr<IDispatch> object) { CurrentThreadState().buddy = std::move(object); }

private:
    static void Prepare() {
        // Every resource getter makes sure the thread has its application
        // object, and that the library's resources are where the loader looks.
        tvx::ApplicationObject();
        PublishLibraryResources();
    }
};

} // namespace

const ClassInfo &DescriptorClass() {
    static const MemberInfo members[] = {
        Get<&Descriptor::GetProStdProperties>(0x68030004, u"GetProStdProperties"),
        Get<&Descriptor::GetProResStrings>(0x68030003, u"GetProResStrings", u"lResId"),
        Get<&Descriptor::GetProResPicture>(0x68030002, u"GetProResPicture", u"lResId,lRestype"),
        Get<&Descriptor::GetProResData>(0x68030001, u"GetProResData", u"lResId,vRestype"),
        Method<&Descriptor::About>(0x60030006, u"About"),
        Get<&Descriptor::get_BuddyObjectGlobal>(0x68030000, u"BuddyObjectGlobal"),
        PutRef<&Descriptor::putref_BuddyObjectGlobal>(0x68030000, u"BuddyObjectGlobal"),
    };
    static const ClassInfo info(u"clsKwvIDOTarvex10A", u"Tarvex10.clsKwvIDOTarvex10A",
                                {0x0f93ea12, 0x5e5b, 0x4e41, {0xa0, 0xf2, 0xf7, 0xbd, 0xc9, 0xe4, 0xa2, 0x8f}},
                                {0x15b2cb0a, 0x545d, 0x4d65, {0x97, 0xc2, 0xe3, 0x0b, 0xeb, 0x1e, 0x6b, 0x1a}},
                                members, &CreateObject<Descriptor>, &DestroyObject<Descriptor>,
                                /*application_object=*/true);
    return info;
}

} // namespace tvx
