// The descriptor class's members: the thread's application object, the
// library's resources through the three getters, and the version record and
// type library those resources hold.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "support/late_property.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using tvx::operator==;
using Descriptor = _clsKwvIDOTarvex10A;

ComPtr<Descriptor> NewDescriptor() {
    return ComPtr<Descriptor>::Attach(reinterpret_cast<Descriptor *>(tvx::DescriptorClass().create()));
}

using tvx::testing::Property;

// The bytes of GetProResData, or the status it failed with.
struct Data {
    HRESULT status;
    std::vector<uint8_t> bytes;
    VARTYPE vt;
};

Data ResData(Descriptor *d, LONG id, Variant type) {
    Variant result = Variant::I4(12345); // must be replaced
    LONG id_before = id;
    Variant type_before(type);
    Data data{d->get_GetProResData(&id, &type, result.Put()), {}, 0};
    EXPECT_EQ(id, id_before);
    EXPECT_EQ(type.vt, type_before.vt);
    data.vt = result.vt;
    if (result.vt == (VT_ARRAY | VT_UI1)) {
        SAFEARRAY *a = V_ARRAY(&result);
        EXPECT_EQ(SafeArrayGetDim(a), 1u);
        LONG lower = -1;
        SafeArrayGetLBound(a, 1, &lower);
        EXPECT_EQ(lower, 0);
        const auto *p = static_cast<const uint8_t *>(a->pvData);
        data.bytes.assign(p, p + a->rgsabound[0].cElements);
    }
    return data;
}

// Catches: an application object made anew for every call, one shared by
// all threads, or one that does not describe the library (version 1.0.89,
// the version record's comment, the module's own file).
TEST(DescriptorMembers, ApplicationObjectIsOnePerThread) {
    auto descriptor = NewDescriptor();
    IDispatch *first = nullptr, *second = nullptr;
    ASSERT_EQ(descriptor->get_GetProStdProperties(&first), S_OK);
    ASSERT_EQ(NewDescriptor()->get_GetProStdProperties(&second), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    second->Release();

    auto number = [](IDispatch *app, std::u16string name) {
        Variant value = Property(app, std::move(name));
        EXPECT_EQ(value.vt, VT_I2);
        return V_I2(&value);
    };
    EXPECT_EQ(number(first, u"Major"), 1);
    EXPECT_EQ(number(first, u"Minor"), 0);
    EXPECT_EQ(number(first, u"Revision"), 89);
    EXPECT_EQ(Property(first, u"Comments").StrView(),
              u"This library contains Multimedia Video classes like VFW, cut video, video capture devices etc.");
    char path[4096];
    ASSERT_GT(TvxGetModuleFileName(reinterpret_cast<const void *>(&NewDescriptor), path, sizeof path), 0u);
    const std::string file = path;
    const std::string name = file.substr(file.rfind('/') + 1), folder = file.substr(0, file.rfind('/'));
    EXPECT_EQ(tvx::convert::ToUtf8(Property(first, u"EXEName").StrView()), name.substr(0, name.rfind('.')));
    EXPECT_EQ(tvx::convert::ToUtf8(Property(first, u"Path").StrView()), folder);

    IDispatch *other = nullptr;
    std::thread([&] {
        IDispatch *a = nullptr, *b = nullptr;
        auto local = NewDescriptor();
        ASSERT_EQ(local->get_GetProStdProperties(&a), S_OK);
        ASSERT_EQ(local->get_GetProStdProperties(&b), S_OK);
        EXPECT_EQ(a, b);
        other = a;
        a->Release();
        b->Release();
    }).join();
    // The other thread's object went with its thread; only its identity is
    // compared.
    EXPECT_NE(other, first);
    first->Release();
}

// Catches: a type library resource whose member tables differ from those of
// the live objects' type information (names, dispatch ids, kinds, slots,
// parameters, results), or whose classes, identifiers or flags are wrong.
TEST(DescriptorMembers, TypeLibraryLoadsBackIntoTheLiveMemberTables) {
    auto descriptor = NewDescriptor();
    Data data = ResData(descriptor.Get(), 1, Variant::Str(u"TYPELIB"));
    ASSERT_EQ(data.status, S_OK);
    ASSERT_EQ(data.vt, VT_ARRAY | VT_UI1);
    TVXTYPELIBINFO *lib = nullptr;
    ASSERT_EQ(TvxLoadTypeLib(data.bytes.data(), data.bytes.size(), &lib), S_OK);
    EXPECT_EQ(std::string(lib->name), "Tarvex10");
    EXPECT_TRUE(lib->id == LIBID_Tarvex10);
    EXPECT_EQ(lib->major_version, 1);
    EXPECT_EQ(lib->minor_version, 0);
    EXPECT_EQ(lib->locale, 0x0409u);

    const auto classes = tvx::AllClasses();
    ASSERT_EQ(lib->class_count, classes.size());
    ASSERT_EQ(lib->interface_count, classes.size());
    for (size_t c = 0; c < classes.size(); ++c) {
        const tvx::ClassInfo &live = *classes[c];
        SCOPED_TRACE(tvx::convert::ToUtf8(live.name));
        const TVXCLASSENTRY &entry = lib->classes[c];
        EXPECT_EQ(tvx::convert::FromUtf8(entry.name), live.name);
        EXPECT_TRUE(entry.clsid == live.clsid);
        const WORD app_flags = TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID;
        EXPECT_EQ(entry.type_flags & app_flags, live.application_object ? app_flags : 0);
        EXPECT_TRUE(entry.type_flags & TYPEFLAG_FCANCREATE);
        const TVXINTERFACEINFO &face = lib->interfaces[entry.default_interface];
        EXPECT_TRUE(face.iid == live.iid);
        EXPECT_EQ(tvx::convert::FromUtf8(face.name), live.InterfaceName());

        // The loaded table against the live object's own type information.
        tvx::ObjectBase *object = live.create();
        ComPtr<ITypeInfo> live_info, loaded_info;
        ASSERT_EQ(object->Interface()->GetTypeInfo(0, LOCALE_USER_DEFAULT, live_info.Put()), S_OK);
        object->Release();
        ASSERT_EQ(TvxCreateTypeInfo(&face, loaded_info.Put()), S_OK);
        TYPEATTR *a = nullptr, *b = nullptr;
        ASSERT_EQ(live_info->GetTypeAttr(&a), S_OK);
        ASSERT_EQ(loaded_info->GetTypeAttr(&b), S_OK);
        ASSERT_EQ(a->cFuncs, b->cFuncs);
        EXPECT_EQ(a->wTypeFlags, b->wTypeFlags);
        EXPECT_TRUE(a->guid == b->guid);
        for (UINT f = 0; f < a->cFuncs; ++f) {
            FUNCDESC *x = nullptr, *y = nullptr;
            ASSERT_EQ(live_info->GetFuncDesc(f, &x), S_OK);
            ASSERT_EQ(loaded_info->GetFuncDesc(f, &y), S_OK);
            EXPECT_EQ(x->memid, y->memid) << f;
            EXPECT_EQ(x->invkind, y->invkind) << f;
            EXPECT_EQ(x->oVft, y->oVft) << f;
            EXPECT_EQ(x->elemdescFunc.tdesc.vt, y->elemdescFunc.tdesc.vt) << f;
            ASSERT_EQ(x->cParams, y->cParams) << f;
            for (SHORT p = 0; p < x->cParams; ++p) {
                const ELEMDESC &u = x->lprgelemdescParam[p], &v = y->lprgelemdescParam[p];
                EXPECT_EQ(u.tdesc.vt, v.tdesc.vt);
                if (u.tdesc.vt == VT_PTR) {
                    EXPECT_EQ(u.tdesc.u.lptdesc->vt, v.tdesc.u.lptdesc->vt);
                }
                EXPECT_EQ(u.u.paramdesc.wParamFlags, v.u.paramdesc.wParamFlags);
            }
            BSTR live_names[10] = {}, loaded_names[10] = {};
            UINT live_count = 0, loaded_count = 0;
            ASSERT_EQ(live_info->GetNames(x->memid, live_names, 10, &live_count), S_OK);
            ASSERT_EQ(loaded_info->GetNames(y->memid, loaded_names, 10, &loaded_count), S_OK);
            ASSERT_EQ(live_count, loaded_count);
            for (UINT n = 0; n < live_count; ++n) {
                EXPECT_EQ(Bstr::Attach(live_names[n]).View(), Bstr::Attach(loaded_names[n]).View());
            }
            live_info->ReleaseFuncDesc(x);
            loaded_info->ReleaseFuncDesc(y);
        }
        live_info->ReleaseTypeAttr(a);
        loaded_info->ReleaseTypeAttr(b);
    }
    TvxFreeTypeLib(lib);
}

// Catches: a missing or misnamed interface-id resource, a count that is not
// 16 or not little-endian, an identifier in another byte order or of
// another class.
TEST(DescriptorMembers, EachClassHasItsInterfaceIdResource) {
    auto descriptor = NewDescriptor();
    for (const tvx::ClassInfo *info : tvx::AllClasses()) {
        std::u16string type = u"_IID_" + std::u16string(info->name);
        for (char16_t &c : type) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
        SCOPED_TRACE(tvx::convert::ToUtf8(type));
        Data data = ResData(descriptor.Get(), 1, Variant::Str(type));
        ASSERT_EQ(data.status, S_OK);
        const GUID &g = info->iid;
        std::vector<uint8_t> expected = {16, 0, 0, 0,
                                         static_cast<uint8_t>(g.Data1), static_cast<uint8_t>(g.Data1 >> 8),
                                         static_cast<uint8_t>(g.Data1 >> 16), static_cast<uint8_t>(g.Data1 >> 24),
                                         static_cast<uint8_t>(g.Data2), static_cast<uint8_t>(g.Data2 >> 8),
                                         static_cast<uint8_t>(g.Data3), static_cast<uint8_t>(g.Data3 >> 8)};
        expected.insert(expected.end(), g.Data4, g.Data4 + 8);
        EXPECT_EQ(data.bytes, expected);
        EXPECT_EQ(ResData(descriptor.Get(), 2, Variant::Str(type)).status, static_cast<HRESULT>(0x800A0146));
    }
}

// A block of the classic binary version-record layout, read here without the
// runtime's reader, so that a fault in the writer cannot hide behind the
// same fault in the runtime.
struct Block {
    std::u16string key;
    uint16_t value_length, type;
    std::vector<uint8_t> value;
    std::vector<Block> children;
};

uint16_t U16(const std::vector<uint8_t> &b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t> &b, size_t at) { return U16(b, at) | (uint32_t{U16(b, at + 2)} << 16); }

Block ReadBlock(const std::vector<uint8_t> &b, size_t at, size_t &end) {
    Block block;
    const size_t length = U16(b, at);
    end = at + length;
    EXPECT_LE(end, b.size());
    block.value_length = U16(b, at + 2);
    block.type = U16(b, at + 4);
    size_t p = at + 6;
    while (U16(b, p)) {
        block.key += static_cast<char16_t>(U16(b, p));
        p += 2;
    }
    p = (p + 2 + 3) & ~size_t{3};
    const size_t value_bytes = block.type == 1 ? block.value_length * 2u : block.value_length;
    block.value.assign(b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p + value_bytes));
    p = (p + value_bytes + 3) & ~size_t{3};
    while (p < end) {
        size_t child_end = 0;
        block.children.push_back(ReadBlock(b, p, child_end));
        p = (child_end + 3) & ~size_t{3};
    }
    // Only the padding to the next 32-bit boundary may follow the block.
    EXPECT_TRUE(p >= end && p - end < 4);
    return block;
}

std::u16string TextValue(const Block &b) {
    std::u16string text;
    for (size_t i = 0; i + 1 < b.value.size(); i += 2) text += static_cast<char16_t>(b.value[i] | (b.value[i + 1] << 8));
    return text;
}

// Catches: a version record that is not in the classic layout (lengths,
// alignment, keys), versions other than 1.0.0.89, version texts other than
// "1.00.0089", a missing comment or self-registration marker.
TEST(DescriptorMembers, VersionRecordIsInTheClassicLayout) {
    auto descriptor = NewDescriptor();
    // The standard type by number, and the same by its "#16" name.
    Data data = ResData(descriptor.Get(), 1, Variant::I4(16));
    ASSERT_EQ(data.status, S_OK);
    EXPECT_EQ(ResData(descriptor.Get(), 1, Variant::Str(u"#16")).bytes, data.bytes);
    size_t end = 0;
    const Block root = ReadBlock(data.bytes, 0, end);
    EXPECT_EQ(end, data.bytes.size());
    EXPECT_EQ(root.key, u"VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    EXPECT_EQ(U32(root.value, 0), 0xFEEF04BDu);
    EXPECT_EQ(U32(root.value, 8), 0x00010000u);  // file version 1.0
    EXPECT_EQ(U32(root.value, 12), 0x00000059u); // .0.89
    EXPECT_EQ(U32(root.value, 16), 0x00010000u); // product version 1.0
    EXPECT_EQ(U32(root.value, 20), 0x00000059u); // .0.89

    std::map<std::u16string, std::u16string> texts;
    bool translation = false;
    for (const Block &child : root.children) {
        if (child.key == u"StringFileInfo") {
            ASSERT_EQ(child.children.size(), 1u);
            EXPECT_EQ(child.children[0].key, u"040904B0");
            for (const Block &text : child.children[0].children) {
                EXPECT_EQ(text.type, 1);
                std::u16string value = TextValue(text);
                ASSERT_FALSE(value.empty());
                EXPECT_EQ(value.back(), u'\0'); // the count includes the terminating NUL
                value.pop_back();
                texts[text.key] = value;
            }
        } else if (child.key == u"VarFileInfo") {
            ASSERT_EQ(child.children.size(), 1u);
            EXPECT_EQ(child.children[0].key, u"Translation");
            EXPECT_EQ(child.children[0].value, (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
            translation = true;
        }
    }
    EXPECT_TRUE(translation);
    EXPECT_EQ(texts[u"FileVersion"], u"1.00.0089");
    EXPECT_EQ(texts[u"ProductVersion"], u"1.00.0089");
    EXPECT_EQ(texts[u"Comments"],
              u"This library contains Multimedia Video classes like VFW, cut video, video capture devices etc.");
    ASSERT_EQ(texts.count(u"OLESelfRegister"), 1u);
    EXPECT_EQ(texts[u"OLESelfRegister"], u"");
}

// Catches: resources that the library does not have being found, a failure
// status other than error 326, and a result that is not the zero value
// after the failure.
TEST(DescriptorMembers, MissingResourcesFailWithError326) {
    auto descriptor = NewDescriptor();
    const HRESULT kNotFound = static_cast<HRESULT>(0x800A0146);
    Data data = ResData(descriptor.Get(), 2, Variant::Str(u"TYPELIB"));
    EXPECT_EQ(data.status, kNotFound);
    EXPECT_EQ(data.vt, VT_EMPTY);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Put()), S_OK);
    Bstr description;
    error->GetDescription(description.Put());
    EXPECT_EQ(description.View(), u"Resource not found");

    EXPECT_EQ(ResData(descriptor.Get(), 1, Variant::Str(u"BITMAP")).status, kNotFound);
    EXPECT_EQ(ResData(descriptor.Get(), 1, Variant::I4(2)).status, kNotFound);   // standard bitmaps
    EXPECT_EQ(ResData(descriptor.Get(), 1, Variant::I4(70000)).status, kNotFound); // no such type
    EXPECT_EQ(ResData(descriptor.Get(), 65537, Variant::Str(u"TYPELIB")).status, kNotFound);
    EXPECT_EQ(ResData(descriptor.Get(), -1, Variant::Str(u"TYPELIB")).status, kNotFound);

    for (LONG id : {0, 1, 2, 101, 65535}) {
        LONG in = id;
        BSTR text = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(descriptor->get_GetProResStrings(&in, &text), kNotFound) << id;
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(in, id);
        for (LONG kind : {0, 1, 2}) {
            IDispatch *picture = reinterpret_cast<IDispatch *>(1);
            EXPECT_EQ(descriptor->get_GetProResPicture(&in, &kind, &picture), kNotFound) << id << " " << kind;
            EXPECT_EQ(picture, nullptr);
        }
    }
}

// Catches: a resource kind not narrowed to 16 bits, or narrowed only after
// the look-up (which would fail with 326 first).
TEST(DescriptorMembers, PictureKindOutsideInt16OverflowsBeforeTheLookUp) {
    auto descriptor = NewDescriptor();
    for (LONG kind : {70000, 32768, -32769, 0x7FFFFFFF}) {
        LONG id = 1, in = kind;
        IDispatch *picture = reinterpret_cast<IDispatch *>(1);
        EXPECT_EQ(descriptor->get_GetProResPicture(&id, &in, &picture), static_cast<HRESULT>(0x800A0006)) << kind;
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(in, kind);
    }
    for (LONG kind : {32767, -32768}) {
        LONG id = 1, in = kind;
        IDispatch *picture = nullptr;
        EXPECT_EQ(descriptor->get_GetProResPicture(&id, &in, &picture), static_cast<HRESULT>(0x800A0146)) << kind;
    }
}

// Catches: a type argument that is not a text or number turned into some
// type instead of failing, and late binding of the getters disagreeing with
// the early-bound entries.
TEST(DescriptorMembers, ResourceTypeArgumentAndLateBinding) {
    auto descriptor = NewDescriptor();
    Variant object = Variant::Dispatch(descriptor.Get());
    EXPECT_EQ(ResData(descriptor.Get(), 1, object).status, static_cast<HRESULT>(0x800A000D));

    // By name, with a by-ref text argument for the type and a short id.
    std::u16string name = u"getproresdata";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(descriptor->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    // The caller's variable; the call may hand it back as a new string.
    BSTR type_text = SysAllocString(u"typelib");
    Variant args[2] = {Variant::Ref(VT_BSTR, &type_text), Variant::I2(1)};
    DISPPARAMS params{args, nullptr, 2, 0};
    Variant result;
    ASSERT_EQ(descriptor->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, result.Put(),
                                 nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_ARRAY | VT_UI1);
    Data early = ResData(descriptor.Get(), 1, Variant::Str(u"TYPELIB"));
    const auto *p = static_cast<const uint8_t *>(V_ARRAY(&result)->pvData);
    EXPECT_EQ(std::vector<uint8_t>(p, p + V_ARRAY(&result)->rgsabound[0].cElements), early.bytes);
    EXPECT_EQ(Bstr::Attach(type_text).View(), u"typelib");
}

} // namespace
