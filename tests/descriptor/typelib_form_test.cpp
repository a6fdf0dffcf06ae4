// The runtime's binary type-library form: what is written comes back
// unchanged, the bytes follow the documented layout, and damaged input is
// refused without reading past its end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"

namespace {

using tvx::operator==;

constexpr GUID kLibId = {0x01020304, 0x0506, 0x0708, {0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10}};
constexpr GUID kIid = {0xa1b2c3d4, 0xe5f6, 0x1718, {0x19, 0x2a, 0x3b, 0x4c, 0x5d, 0x6e, 0x7f, 0x80}};
constexpr GUID kClsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A small library with every kind of entry: a named by-ref parameter, an
// unnamed put value, a negative dispatch id, two interfaces and two classes.
struct Sample {
    TVXPARAMINFO step[2] = {{"Value", VT_I4, PARAMFLAG_FIN | PARAMFLAG_FOUT}, {"how", VT_BSTR, PARAMFLAG_FIN}};
    TVXPARAMINFO put[1] = {{nullptr, VT_VARIANT, PARAMFLAG_FIN}};
    TVXMEMBERINFO members[3] = {
        {"stepFrames", 0x60030001, INVOKE_FUNC, 56, VT_VARIANT, 2, step},
        {"picture_rate", 0x40030001, INVOKE_PROPERTYPUTREF, 64, VT_VOID, 1, put},
        {"Item", -4, INVOKE_PROPERTYGET, 72, VT_DISPATCH, 0, nullptr},
    };
    TVXINTERFACEINFO interfaces[2] = {
        {"_clsSample", kIid, TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN, 1, 0, 3, members},
        {"_clsEmpty", kClsid, TYPEFLAG_FDISPATCHABLE, 2, 7, 0, nullptr},
    };
    TVXCLASSENTRY classes[2] = {
        {"clsSample", kClsid, TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT, 0},
        {"clsEmpty", kIid, TYPEFLAG_FCANCREATE, 1},
    };
    TVXTYPELIBINFO library = {"SampleLib", kLibId, 3, 4, 0x0409, 2, interfaces, 2, classes};

    std::vector<BYTE> Bytes() const {
        size_t size = 0;
        EXPECT_EQ(TvxWriteTypeLib(&library, nullptr, 0, &size), E_NOT_SUFFICIENT_BUFFER);
        std::vector<BYTE> bytes(size);
        EXPECT_EQ(TvxWriteTypeLib(&library, bytes.data(), bytes.size(), &size), S_OK);
        EXPECT_EQ(size, bytes.size());
        return bytes;
    }
};

std::string Text(const char *text) { return text ? text : "(null)"; }

void ExpectSameInterface(const TVXINTERFACEINFO &a, const TVXINTERFACEINFO &b) {
    SCOPED_TRACE(Text(a.name));
    EXPECT_EQ(Text(a.name), Text(b.name));
    EXPECT_TRUE(a.iid == b.iid);
    EXPECT_EQ(a.type_flags, b.type_flags);
    EXPECT_EQ(a.major_version, b.major_version);
    EXPECT_EQ(a.minor_version, b.minor_version);
    ASSERT_EQ(a.member_count, b.member_count);
    for (USHORT m = 0; m < a.member_count; ++m) {
        const TVXMEMBERINFO &x = a.members[m], &y = b.members[m];
        SCOPED_TRACE(Text(x.name));
        EXPECT_EQ(Text(x.name), Text(y.name));
        EXPECT_EQ(x.dispid, y.dispid);
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.vtable_offset, y.vtable_offset);
        EXPECT_EQ(x.result, y.result);
        ASSERT_EQ(x.param_count, y.param_count);
        for (USHORT p = 0; p < x.param_count; ++p) {
            EXPECT_EQ(Text(x.params[p].name), Text(y.params[p].name));
            EXPECT_EQ(x.params[p].vt, y.params[p].vt);
            EXPECT_EQ(x.params[p].flags, y.params[p].flags);
        }
    }
}

// Catches: a field that the writer leaves out or the reader drops or reads
// in another order; an unnamed put value that comes back with a name; a
// negative dispatch identifier or a class's default interface lost.
TEST(TypeLibForm, WhatIsWrittenLoadsBackUnchanged) {
    Sample sample;
    const std::vector<BYTE> bytes = sample.Bytes();
    TVXTYPELIBINFO *lib = nullptr;
    ASSERT_EQ(TvxLoadTypeLib(bytes.data(), bytes.size(), &lib), S_OK);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Text(lib->name), "SampleLib");
    EXPECT_TRUE(lib->id == kLibId);
    EXPECT_EQ(lib->major_version, 3);
    EXPECT_EQ(lib->minor_version, 4);
    EXPECT_EQ(lib->locale, 0x0409u);
    ASSERT_EQ(lib->interface_count, 2);
    for (USHORT i = 0; i < 2; ++i) ExpectSameInterface(lib->interfaces[i], sample.interfaces[i]);
    EXPECT_EQ(lib->interfaces[0].members[1].params[0].name, nullptr);
    ASSERT_EQ(lib->class_count, 2);
    for (USHORT c = 0; c < 2; ++c) {
        EXPECT_EQ(Text(lib->classes[c].name), Text(sample.classes[c].name));
        EXPECT_TRUE(lib->classes[c].clsid == sample.classes[c].clsid);
        EXPECT_EQ(lib->classes[c].type_flags, sample.classes[c].type_flags);
        EXPECT_EQ(lib->classes[c].default_interface, c);
    }
    // The loaded description is one the runtime's type information takes.
    tvx::ComPtr<ITypeInfo> info;
    ASSERT_EQ(TvxCreateTypeInfo(&lib->interfaces[0], info.Put()), S_OK);
    FUNCDESC *desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(0, &desc), S_OK);
    EXPECT_EQ(desc->memid, 0x60030001);
    EXPECT_EQ(desc->cParams, 2);
    EXPECT_EQ(desc->oVft, 56);
    info->ReleaseFuncDesc(desc);
    TvxFreeTypeLib(lib);
}

// Catches: numbers written in the machine's order or another width, a GUID
// not in its 16-byte binary form, a header that is not the documented one.
TEST(TypeLibForm, BytesFollowTheDocumentedLayout) {
    const std::vector<BYTE> bytes = Sample().Bytes();
    ASSERT_GE(bytes.size(), 41u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "TVXL");
    const std::vector<BYTE> header(bytes.begin() + 4, bytes.begin() + 41);
    const std::vector<BYTE> expected = {
        1, 0, 0, 0,                                                       // format 1, reserved
        0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,                   // library id, numbers little-endian
        0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10,                   // ... then its 8 bytes as they are
        3, 0, 4, 0,                                                       // version 3.4
        0x09, 0x04, 0, 0,                                                 // locale
        9, 0, 'S', 'a', 'm', 'p', 'l', 'e', 'L',                          // name: byte count, UTF-8
    };
    EXPECT_EQ(header, expected);
    EXPECT_EQ(bytes[41], 'i');
    EXPECT_EQ(bytes[42], 'b');
    EXPECT_EQ(bytes[43], 2); // two interfaces
    EXPECT_EQ(bytes[44], 0);
}

// Catches: a reader that trusts counts and lengths and reads past the end of
// a cut-off form (the sanitizer build sees it), or accepts a cut-off form.
TEST(TypeLibForm, EveryShortenedFormIsRefused) {
    const std::vector<BYTE> bytes = Sample().Bytes();
    for (size_t size = 0; size < bytes.size(); ++size) {
        std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        TVXTYPELIBINFO *lib = reinterpret_cast<TVXTYPELIBINFO *>(1);
        EXPECT_EQ(TvxLoadTypeLib(cut.data(), cut.size(), &lib), TYPE_E_INVDATAREAD) << size;
        EXPECT_EQ(lib, nullptr);
    }
}

// Catches: trailing bytes, a foreign format number, a bad magic or a class
// whose default interface does not exist slipping through.
TEST(TypeLibForm, DamagedFormsAreRefused) {
    const std::vector<BYTE> good = Sample().Bytes();
    TVXTYPELIBINFO *lib = nullptr;

    std::vector<BYTE> longer = good;
    longer.push_back(0);
    EXPECT_EQ(TvxLoadTypeLib(longer.data(), longer.size(), &lib), TYPE_E_INVDATAREAD);

    std::vector<BYTE> other_format = good;
    other_format[4] = 2;
    EXPECT_EQ(TvxLoadTypeLib(other_format.data(), other_format.size(), &lib), TYPE_E_UNSUPFORMAT);

    std::vector<BYTE> other_magic = good;
    other_magic[0] = 'X';
    EXPECT_EQ(TvxLoadTypeLib(other_magic.data(), other_magic.size(), &lib), TYPE_E_INVDATAREAD);

    // The last class's default interface index is the form's last 16 bits.
    std::vector<BYTE> bad_default = good;
    bad_default[bad_default.size() - 2] = 2;
    EXPECT_EQ(TvxLoadTypeLib(bad_default.data(), bad_default.size(), &lib), TYPE_E_INVDATAREAD);
    EXPECT_EQ(lib, nullptr);
}

// Catches: a writer that writes into a buffer too small for the form, or
// accepts a class that names an interface the library lacks.
TEST(TypeLibForm, WriterChecksItsBufferAndTheDescription) {
    Sample sample;
    size_t size = 0;
    ASSERT_EQ(TvxWriteTypeLib(&sample.library, nullptr, 0, &size), E_NOT_SUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(size + 8, 0xEE);
    size_t written = 0;
    EXPECT_EQ(TvxWriteTypeLib(&sample.library, buffer.data(), size - 1, &written), E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(written, size);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(TvxWriteTypeLib(&sample.library, buffer.data(), buffer.size(), &written), S_OK);
    EXPECT_EQ(buffer[size], 0xEE);

    sample.classes[1].default_interface = 2;
    EXPECT_EQ(TvxWriteTypeLib(&sample.library, buffer.data(), buffer.size(), &written), E_INVALIDARG);
}

} // namespace
