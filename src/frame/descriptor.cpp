// clsKwvIDOTarvex10A, the library's descriptor and application object
// class. The buddy slot works now; the application object, the resources
// and the About box come with the framework services.
#include "frame/member.h"
#include "frame/registry.h"
#include "frame/thread_state.h"

namespace tvx {
namespace {

class Descriptor : public ObjectBase {
public:
    Descriptor() : ObjectBase(DescriptorClass()) {}

    ComPtr<IDispatch> GetProStdProperties() { NotImplemented(); }
    std::u16string GetProResStrings(int32_t &) { NotImplemented(); }
    Picture GetProResPicture(int32_t &, ResourceKind &) { NotImplemented(); }
    Variant GetProResData(int32_t &, Variant &) { NotImplemented(); }
    int32_t About() { NotImplemented(); }

    ComPtr<IDispatch> get_BuddyObjectGlobal() { return CurrentThreadState().buddy; }
    // The object is stored as it is, neither inspected nor called.
    void putref_BuddyObjectGlobal(ComPtr<IDispatch> object) { CurrentThreadState().buddy = std::move(object); }
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
