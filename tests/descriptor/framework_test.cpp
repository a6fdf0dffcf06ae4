// The component and the framework as shipped: both registered through their
// own exports, the descriptor created by its programmatic identifier, the
// About box and error reports shown by the framework through the message box
// seam; and the application-object convention of the runtime.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace {

namespace fs = std::filesystem;
using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using tvx::operator==;

constexpr HRESULT kCannotCreate = static_cast<HRESULT>(0x800A01AD);
const std::string kComment =
    "This library contains Multimedia Video classes like VFW, cut video, video capture devices etc.";

struct Message {
    std::string text, title;
};

HRESULT CallByName(IDispatch *object, std::u16string name, WORD flags, VARIANT *result) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status)) return status;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
}

class Library {
public:
    explicit Library(const char *path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_) dlclose(handle_);
    }
    HRESULT Call(const char *name) const {
        auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle_, name));
        return entry ? entry() : E_FAIL;
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    void *handle_;
};

class ShippedFramework : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tvx-framework-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(TvxRegistrySetPath((dir_ / "registry").c_str()), S_OK);
        ASSERT_TRUE(component_) << dlerror();
        ASSERT_TRUE(framework_) << dlerror();
        ASSERT_EQ(component_.Call("DllRegisterServer"), S_OK);
        ASSERT_EQ(framework_.Call("DllRegisterServer"), S_OK);
        TvxSetMessageBoxHandler(&ShippedFramework::Record, this);
    }
    void TearDown() override {
        TvxReleaseApplicationObjects();
        TvxSetMessageBoxHandler(nullptr, nullptr);
        CoFreeUnusedLibraries();
        TvxRegistrySetPath(nullptr);
        fs::remove_all(dir_);
    }
    static void Record(void *self, const char *text, const char *title) {
        static_cast<ShippedFramework *>(self)->messages_.push_back({text ? text : "", title ? title : "(none)"});
    }

    ComPtr<_clsKwvIDOTarvex10A> NewDescriptor() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Tarvex10.clsKwvIDOTarvex10A", &clsid), S_OK);
        ComPtr<_clsKwvIDOTarvex10A> descriptor;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsKwvIDOTarvex10A,
                                   descriptor.PutVoid()),
                  S_OK);
        return descriptor;
    }

    fs::path dir_;
    Library component_{TVX_COMPONENT_PATH};
    Library framework_{TVX_FRAMEWORK_PATH};
    std::vector<Message> messages_;
};

// Catches: a framework that is not found by its identifier, an About box not
// shown through the message box seam, or one not built from the library's
// application object (title, version 1.0.89, comment, file).
TEST_F(ShippedFramework, AboutShowsTheBoxBuiltFromTheApplicationObject) {
    auto descriptor = NewDescriptor();
    ASSERT_TRUE(descriptor);
    LONG result = -1;
    ASSERT_EQ(descriptor->About(&result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, "About Tarvex10");
    const std::string &text = messages_[0].text;
    EXPECT_NE(text.find("Tarvex10 1.0.89"), std::string::npos) << text;
    EXPECT_NE(text.find(kComment), std::string::npos) << text;
    const std::string component = fs::canonical(TVX_COMPONENT_PATH).string();
    const std::string without_extension = component.substr(0, component.rfind('.'));
    EXPECT_NE(text.find(without_extension), std::string::npos) << text;
}

// Catches: About that does not fail, or shows something, once the framework
// has been unregistered.
TEST_F(ShippedFramework, AboutFailsOnceTheFrameworkIsUnregistered) {
    ASSERT_EQ(framework_.Call("DllUnregisterServer"), S_OK);
    auto descriptor = NewDescriptor();
    LONG result = -1;
    EXPECT_EQ(descriptor->About(&result), kCannotCreate);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(messages_.empty());
}

// Catches: the framework's error handler not showing the reported error
// number, description and place.
TEST_F(ShippedFramework, TheErrorHandlerShowsEachReport) {
    // Only the About class goes: the error handler stays.
    const TVXREGVALUE about{"KwBasalt10.clsKwBasalt10A\\CLSID", "", ""};
    ASSERT_EQ(TvxRegistryRemove(&about, 1), S_OK);
    auto descriptor = NewDescriptor();
    LONG result = -1;
    ASSERT_EQ(descriptor->About(&result), S_OK);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].title, "Tarvex10 - Error");
    EXPECT_EQ(messages_[0].text, "Error 429 in basKwelCommonA.AppAboutKwel_Pro:\nComponent can't create object");
    EXPECT_EQ(messages_[1].text, "Error 91 in basKwelCommonA.AppAboutKwel_Pro:\nObject variable not set");
}

// Catches: an application-object class whose members cannot be reached
// without creating an instance; an implicit instance made anew on each call
// or shared between threads; other classes accepted as application objects.
TEST_F(ShippedFramework, TheDescriptorIsReachableWithoutCreatingAnInstance) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Tarvex10.clsKwvIDOTarvex10A", &clsid), S_OK);
    ComPtr<IDispatch> first, second;
    ASSERT_EQ(TvxGetApplicationObject(clsid, first.Put()), S_OK);
    ASSERT_EQ(TvxGetApplicationObject(clsid, second.Put()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    ComPtr<IUnknown> own;
    EXPECT_EQ(first->QueryInterface(IID__clsKwvIDOTarvex10A, own.PutVoid()), S_OK);

    // Its members by name, as a script calls them.
    Variant app;
    ASSERT_EQ(CallByName(first.Get(), u"GetProStdProperties", DISPATCH_PROPERTYGET, app.Put()), S_OK);
    ASSERT_EQ(app.vt, VT_DISPATCH);
    Variant revision;
    ASSERT_EQ(CallByName(V_DISPATCH(&app), u"Revision", DISPATCH_PROPERTYGET, revision.Put()), S_OK);
    EXPECT_EQ(V_I2(&revision), 89);

    IDispatch *theirs = nullptr;
    std::thread([&] {
        ComPtr<IDispatch> a, b;
        ASSERT_EQ(TvxGetApplicationObject(clsid, a.Put()), S_OK);
        ASSERT_EQ(TvxGetApplicationObject(clsid, b.Put()), S_OK);
        EXPECT_EQ(a.Get(), b.Get());
        theirs = a.Get();
        // Objects of another thread refuse this one.
        Variant none;
        EXPECT_EQ(CallByName(first.Get(), u"About", DISPATCH_METHOD, none.Put()), RPC_E_WRONG_THREAD);
    }).join();
    EXPECT_NE(theirs, first.Get());

    ComPtr<IDispatch> other;
    EXPECT_EQ(TvxGetApplicationObject(CLSID_clsKwVidoMoviesA, other.Put()), E_INVALIDARG);
    EXPECT_EQ(other.Get(), nullptr);
    CLSID about{};
    ASSERT_EQ(CLSIDFromProgID(u"KwBasalt10.clsKwBasalt10A", &about), S_OK);
    EXPECT_EQ(TvxGetApplicationObject(about, other.Put()), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(TvxGetApplicationObject(IID__clsKwvIDOTarvex10A, other.Put()), REGDB_E_CLASSNOTREG);

    // Letting go of them lets the component go.
    first.Reset();
    second.Reset();
    own.Reset();
    app.Clear();
    TvxReleaseApplicationObjects();
    EXPECT_EQ(component_.Call("DllCanUnloadNow"), S_OK);
    ComPtr<IDispatch> again;
    ASSERT_EQ(TvxGetApplicationObject(clsid, again.Put()), S_OK);
    EXPECT_EQ(component_.Call("DllCanUnloadNow"), S_FALSE);
}

} // namespace
