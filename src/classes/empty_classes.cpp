// The three creatable classes whose interfaces have no members of their own:
// they can be created, queried, described and released, and every dispatch
// call finds no member.
#include "component/registry.h"
#include "frame/member.h"

namespace tvx {
namespace {

template <const ClassInfo &(*Info)()> class EmptyObject : public ObjectBase {
public:
    EmptyObject() : ObjectBase(Info()) {}
};

template <const ClassInfo &(*Info)()>
const ClassInfo &MakeEmptyClass(std::u16string_view name, std::u16string_view progid, const CLSID &clsid,
                                const IID &iid) {
    static const ClassInfo info(name, progid, clsid, iid, {}, &CreateObject<EmptyObject<Info>>,
                                &DestroyObject<EmptyObject<Info>>);
    return info;
}

} // namespace

const ClassInfo &VfwClass() {
    return MakeEmptyClass<&VfwClass>(u"clsKwVidoVfwA", u"Tarvex10.clsKwVidoVfwA",
                                     {0x0b9fb517, 0xc7ac, 0x45d2, {0xa7, 0x49, 0x16, 0x5c, 0x3a, 0x80, 0x60, 0xa4}},
                                     {0xa410c1f8, 0xa023, 0x4da6, {0x9c, 0xe1, 0xad, 0xc6, 0x8c, 0x16, 0x81, 0xc1}});
}

const ClassInfo &GeneralClass() {
    return MakeEmptyClass<&GeneralClass>(u"clsKwVidoGeneralA", u"Tarvex10.clsKwVidoGeneralA",
                                         {0xbc7b8055, 0xd640, 0x4e33, {0xaa, 0xe7, 0x88, 0x26, 0xf0, 0x76, 0x05, 0x78}},
                                         {0xc013968c, 0xd554, 0x481e, {0x81, 0xdd, 0x9f, 0x60, 0xdd, 0xb3, 0x78, 0x98}});
}

const ClassInfo &AdvancedClass() {
    return MakeEmptyClass<&AdvancedClass>(u"clsKwVidoAdvancedA", u"Tarvex10.clsKwVidoAdvancedA",
                                          {0x95e8e8cd, 0x2bb0, 0x4b59, {0xb0, 0x0c, 0xdb, 0x56, 0x07, 0xdb, 0xd2, 0xa2}},
                                          {0x53c3c10b, 0x24a6, 0x4568, {0x98, 0x36, 0x60, 0x9c, 0xc1, 0x95, 0xed, 0x82}});
}

} // namespace tvx
