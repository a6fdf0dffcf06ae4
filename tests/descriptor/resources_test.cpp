// The runtime's resource store and loaders, and the application object it
// makes from a module's version record.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "component/resources.h"
#include "support/late_property.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"

namespace {

namespace fs = std::filesystem;
using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;

// A module of the test's own, named by a file that exists.
class ModuleFile {
public:
    explicit ModuleFile(const std::string &name) {
        std::string pattern = (fs::temp_directory_path() / "tvx-module-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        path_ = (dir_ / name).string();
        std::ofstream(path_) << "module";
    }
    ~ModuleFile() { fs::remove_all(dir_); }
    const std::string &Path() const { return path_; }
    std::string Folder() const { return fs::canonical(dir_).string(); }

private:
    fs::path dir_;
    std::string path_;
};

std::vector<uint8_t> Bytes(SAFEARRAY *array) {
    std::vector<uint8_t> out(static_cast<const uint8_t *>(array->pvData),
                             static_cast<const uint8_t *>(array->pvData) + array->rgsabound[0].cElements);
    SafeArrayDestroy(array);
    return out;
}

using tvx::testing::Property;

// A number property, whichever integer type it has.
LONG Number(IDispatch *object, std::u16string name) {
    Variant value = Property(object, std::move(name));
    return value.vt == VT_I2 ? V_I2(&value) : value.vt == VT_I4 ? V_I4(&value) : -999999;
}

// Catches: a store that keeps the caller's pointers instead of copies,
// names matched with case, "#n" not read as a standard type, a standard type
// confused with a name, and registering again adding instead of replacing.
TEST(ResourceStore, FindsCopiesByTypeAndId) {
    ModuleFile module("libsample.so");
    std::vector<BYTE> blob = {1, 2, 3};
    const BYTE other[] = {9};
    TVXRESOURCE table[] = {
        {"CUSTOM", 0, 7, blob.data(), 3},
        {nullptr, 16, 1, other, 1},
    };
    ASSERT_EQ(TvxRegisterModuleResources(module.Path().c_str(), table, 2), S_OK);
    blob.assign({0, 0, 0});

    SAFEARRAY *array = nullptr;
    ASSERT_EQ(TvxLoadResourceData(module.Path().c_str(), "custom", 0, 7, &array), S_OK);
    VARTYPE vt = 0;
    SafeArrayGetVartype(array, &vt);
    EXPECT_EQ(vt, VT_UI1);
    EXPECT_EQ(Bytes(array), (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_EQ(TvxLoadResourceData(module.Path().c_str(), "#16", 0, 1, &array), S_OK);
    EXPECT_EQ(Bytes(array), (std::vector<uint8_t>{9}));
    ASSERT_EQ(TvxLoadResourceData(module.Path().c_str(), nullptr, 16, 1, &array), S_OK);
    Bytes(array);

    EXPECT_EQ(TvxLoadResourceData(module.Path().c_str(), "CUSTOM", 0, 8, &array), TVX_E_RESOURCENOTFOUND);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(TvxLoadResourceData(module.Path().c_str(), "16", 0, 1, &array), TVX_E_RESOURCENOTFOUND);
    EXPECT_EQ(TvxLoadResourceData(module.Path().c_str(), nullptr, 17, 1, &array), TVX_E_RESOURCENOTFOUND);
    EXPECT_EQ(TvxLoadResourceData("/no/such/module.so", "CUSTOM", 0, 7, &array), TVX_E_RESOURCENOTFOUND);

    ASSERT_EQ(TvxRegisterModuleResources(module.Path().c_str(), table + 1, 1), S_OK);
    EXPECT_EQ(TvxLoadResourceData(module.Path().c_str(), "CUSTOM", 0, 7, &array), TVX_E_RESOURCENOTFOUND);
}

// Catches: a string table read with the wrong table number or index, a
// length read in the wrong unit, an empty string returned as found, and a
// table cut short read past its end.
TEST(ResourceStore, StringsComeFromTheirTable) {
    ModuleFile module("libstrings.so");
    // Table 2 holds strings 16 to 31; only 17 ("Hi") and 20 ("ok") are set.
    std::vector<BYTE> table;
    auto add = [&](std::u16string_view text) {
        table.push_back(static_cast<BYTE>(text.size()));
        table.push_back(0);
        for (char16_t c : text) {
            table.push_back(static_cast<BYTE>(c));
            table.push_back(static_cast<BYTE>(c >> 8));
        }
    };
    for (int i = 0; i < 16; ++i) add(i == 1 ? u"Hi" : i == 4 ? u"ok" : u"");
    std::vector<BYTE> cut(table.begin(), table.begin() + 9); // strings 32 and 33, and half of 34's count
    TVXRESOURCE resources[] = {{nullptr, TVX_RT_STRING, 2, table.data(), static_cast<DWORD>(table.size())},
                               {nullptr, TVX_RT_STRING, 3, cut.data(), static_cast<DWORD>(cut.size())}};
    ASSERT_EQ(TvxRegisterModuleResources(module.Path().c_str(), resources, 2), S_OK);

    Bstr text;
    ASSERT_EQ(TvxLoadResourceString(module.Path().c_str(), 17, text.Put()), S_OK);
    EXPECT_EQ(text.View(), u"Hi");
    ASSERT_EQ(TvxLoadResourceString(module.Path().c_str(), 20, text.Put()), S_OK);
    EXPECT_EQ(text.View(), u"ok");
    EXPECT_EQ(TvxLoadResourceString(module.Path().c_str(), 16, text.Put()), TVX_E_RESOURCENOTFOUND);
    EXPECT_EQ(TvxLoadResourceString(module.Path().c_str(), 1, text.Put()), TVX_E_RESOURCENOTFOUND);
    ASSERT_EQ(TvxLoadResourceString(module.Path().c_str(), 33, text.Put()), S_OK);
    EXPECT_EQ(text.View(), u"Hi");
    EXPECT_EQ(TvxLoadResourceString(module.Path().c_str(), 34, text.Put()), TVX_E_RESOURCENOTFOUND);
}

// Catches: a picture kind mapped to the wrong resource type, a bitmap's size
// not read from its header, and an unknown kind that finds something.
TEST(ResourceStore, PicturesByKind) {
    ModuleFile module("libpictures.so");
    // A bitmap info header: size 40, width 32, height -16 (top-down).
    std::vector<BYTE> bitmap(40, 0);
    const int32_t header[] = {40, 32, -16};
    std::memcpy(bitmap.data(), header, sizeof header);
    const BYTE icon[] = {0, 0, 1, 0};
    TVXRESOURCE resources[] = {{nullptr, TVX_RT_BITMAP, 5, bitmap.data(), 40},
                               {nullptr, TVX_RT_GROUP_ICON, 5, icon, 4}};
    ASSERT_EQ(TvxRegisterModuleResources(module.Path().c_str(), resources, 2), S_OK);

    ComPtr<IDispatch> picture;
    ASSERT_EQ(TvxLoadResourcePicture(module.Path().c_str(), 5, TVX_PICTURE_BITMAP, picture.Put()), S_OK);
    EXPECT_EQ(Number(picture.Get(), u"Type"), 1);
    EXPECT_EQ(Number(picture.Get(), u"Width"), 32);
    EXPECT_EQ(Number(picture.Get(), u"Height"), 16);
    ASSERT_EQ(TvxLoadResourcePicture(module.Path().c_str(), 5, TVX_PICTURE_ICON, picture.Put()), S_OK);
    EXPECT_EQ(Number(picture.Get(), u"Type"), 3);
    EXPECT_EQ(TvxLoadResourcePicture(module.Path().c_str(), 5, TVX_PICTURE_CURSOR, picture.Put()),
              TVX_E_RESOURCENOTFOUND);
    EXPECT_EQ(picture.Get(), nullptr);
    EXPECT_EQ(TvxLoadResourcePicture(module.Path().c_str(), 5, 7, picture.Put()), TVX_E_RESOURCENOTFOUND);
}

// Catches: version numbers taken from the wrong words of the version record
// (or from the product version), texts read from the wrong table entries,
// the name or folder of the file wrong.
TEST(ApplicationObject, DescribesTheModuleFromItsVersionRecord) {
    ModuleFile module("libdescribed.so");
    const std::span<const uint8_t> record = tvx::VersionRecord();
    TVXRESOURCE resources[] = {{nullptr, TVX_RT_VERSION, 1, record.data(), static_cast<DWORD>(record.size())}};
    ASSERT_EQ(TvxRegisterModuleResources(module.Path().c_str(), resources, 1), S_OK);

    ComPtr<IDispatch> app;
    ASSERT_EQ(TvxCreateAppObject(module.Path().c_str(), app.Put()), S_OK);
    EXPECT_EQ(Property(app.Get(), u"Major").vt, VT_I2);
    EXPECT_EQ(Number(app.Get(), u"Major"), 1);
    EXPECT_EQ(Number(app.Get(), u"minor"), 0);
    EXPECT_EQ(Number(app.Get(), u"REVISION"), 89);
    EXPECT_EQ(Property(app.Get(), u"EXEName").StrView(), u"libdescribed");
    const std::string folder = module.Folder();
    EXPECT_EQ(Property(app.Get(), u"Path").StrView(), std::u16string(folder.begin(), folder.end()));
    EXPECT_EQ(Property(app.Get(), u"Comments").StrView(),
              u"This library contains Multimedia Video classes like VFW, cut video, video capture devices etc.");
    EXPECT_EQ(Property(app.Get(), u"Title").StrView(), u"Tarvex10");
    EXPECT_EQ(Property(app.Get(), u"ProductName").StrView(), u"Tarvex10");
    EXPECT_EQ(Number(app.Get(), u"ThreadID"), static_cast<LONG>(TvxCurrentThreadId()));

    // Read-only, and nothing else answers.
    DISPID put = DISPID_PROPERTYPUT;
    Variant value = Variant::I2(5);
    DISPPARAMS params{&value, &put, 1, 1};
    EXPECT_EQ(app->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    std::u16string unknown = u"Version";
    LPOLESTR names[] = {unknown.data()};
    DISPID id = 0;
    EXPECT_EQ(app->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

// Catches: a module without a version record that fails instead of
// describing what it can, and type information that disagrees with the
// properties.
TEST(ApplicationObject, WithoutVersionRecordStillDescribesTheFile) {
    ModuleFile module("plain.bin");
    ComPtr<IDispatch> app;
    ASSERT_EQ(TvxCreateAppObject(module.Path().c_str(), app.Put()), S_OK);
    EXPECT_EQ(Number(app.Get(), u"Major"), 0);
    EXPECT_EQ(Property(app.Get(), u"EXEName").StrView(), u"plain");
    EXPECT_EQ(Property(app.Get(), u"Title").StrView(), u"plain");
    EXPECT_EQ(Property(app.Get(), u"Comments").StrView(), u"");

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(app->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
    std::u16string name = u"revision";
    LPOLESTR names[] = {name.data()};
    MEMBERID by_type = 0;
    DISPID by_object = 0;
    ASSERT_EQ(info->GetIDsOfNames(names, 1, &by_type), S_OK);
    ASSERT_EQ(app->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &by_object), S_OK);
    EXPECT_EQ(by_type, by_object);
}

} // namespace
