// About and the framework calls, against in-process test doubles of the
// framework's two classes: what is created and called, with which
// arguments, how failures are reported, and when About itself fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "classes/framework_calls.h"
#include "component/registry.h"
#include "doubles.h"
#include "support/late_property.h"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace {

namespace fs = std::filesystem;
using doubles::ScriptedFactory;
using doubles::ScriptedObject;
using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using Descriptor = _clsKwvIDOTarvex10A;

constexpr GUID kAboutClsid = {0x5b7e0a11, 0x0c3d, 0x4e2a, {0x91, 0x6f, 0x3a, 0x2d, 0x44, 0x10, 0x7e, 0x01}};
constexpr GUID kHandlerClsid = {0x5b7e0a12, 0x0c3d, 0x4e2a, {0x91, 0x6f, 0x3a, 0x2d, 0x44, 0x10, 0x7e, 0x02}};
constexpr HRESULT kCannotCreate = static_cast<HRESULT>(0x800A01AD);

std::string GuidText(const GUID &g) {
    OLECHAR text[40] = {};
    StringFromGUID2(g, text, 40);
    return std::string(text, text + 38);
}

using tvx::testing::Property;

// What the error handler double saw in one report, read while the call ran.
struct Report {
    std::vector<VARTYPE> types; // parameter order
    IDispatch *application = nullptr;
    LONG number = 0;
    std::u16string description, text3, where, text6;
    LONG number5 = -1, number7 = -1;
    VARIANT eighth{};
};

Report ReadReport(const DISPPARAMS &params) {
    Report r;
    std::vector<VARIANT> args(params.rgvarg, params.rgvarg + params.cArgs);
    std::reverse(args.begin(), args.end());
    for (const VARIANT &a : args) r.types.push_back(a.vt);
    if (args.size() != 8) return r;
    if (args[0].vt == (VT_BYREF | VT_DISPATCH)) r.application = *V_DISPATCHREF(&args[0]);
    if (args[1].vt == (VT_BYREF | VT_DISPATCH) && *V_DISPATCHREF(&args[1])) {
        IDispatch *error = *V_DISPATCHREF(&args[1]);
        Variant number = Property(error, u"Number");
        r.number = number.vt == VT_I4 ? V_I4(&number) : -1;
        r.description = std::u16string(Property(error, u"Description").StrView());
    }
    if (args[2].vt == (VT_BYREF | VT_BSTR)) r.text3 = std::u16string(tvx::View(*V_BSTRREF(&args[2])));
    if (args[3].vt == (VT_BYREF | VT_BSTR)) r.where = std::u16string(tvx::View(*V_BSTRREF(&args[3])));
    if (args[4].vt == (VT_BYREF | VT_I4)) r.number5 = *V_I4REF(&args[4]);
    if (args[5].vt == (VT_BYREF | VT_BSTR)) r.text6 = std::u16string(tvx::View(*V_BSTRREF(&args[5])));
    if (args[6].vt == (VT_BYREF | VT_I4)) r.number7 = *V_I4REF(&args[6]);
    r.eighth = args[7];
    return r;
}

const std::vector<VARTYPE> kReportTypes = {VT_BYREF | VT_DISPATCH, VT_BYREF | VT_DISPATCH, VT_BYREF | VT_BSTR,
                                           VT_BYREF | VT_BSTR,     VT_BYREF | VT_I4,       VT_BYREF | VT_BSTR,
                                           VT_BYREF | VT_I4,       VT_ERROR};

class AboutTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tvx-about-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(TvxRegistrySetPath((dir_ / "registry").c_str()), S_OK);
        TvxSetMessageBoxHandler(&AboutTest::CountMessage, this);
        descriptor_ = ComPtr<Descriptor>::Attach(reinterpret_cast<Descriptor *>(tvx::DescriptorClass().create()));
    }
    void TearDown() override {
        descriptor_.Reset();
        for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
        TvxSetMessageBoxHandler(nullptr, nullptr);
        TvxRegistrySetPath(nullptr);
        fs::remove_all(dir_);
        EXPECT_EQ(alive_, 0) << "a framework object was not released";
    }

    static void CountMessage(void *self, const char *, const char *) { ++static_cast<AboutTest *>(self)->messages_; }

    // Registers a double under `progid`; the factory stays the test's.
    ScriptedFactory *Register(const std::u16string &progid, const GUID &clsid,
                              std::map<std::u16string, doubles::MemberBody> members) {
        const std::string key = std::string(progid.begin(), progid.end()) + "\\CLSID";
        const std::string value = GuidText(clsid);
        const TVXREGVALUE entry{key.c_str(), "", value.c_str()};
        EXPECT_EQ(TvxRegistryWrite(&entry, 1), S_OK);
        auto *factory = new ScriptedFactory([this, members] { return new ScriptedObject(members, &alive_); });
        DWORD cookie = 0;
        EXPECT_EQ(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, 0, &cookie), S_OK);
        factory->Release(); // the runtime holds it now
        cookies_.push_back(cookie);
        return factory;
    }
    ScriptedFactory *RegisterHandler(std::vector<Report> &reports, HRESULT status = S_OK) {
        return Register(std::u16string(tvx::kErrorHandlerProgId), kHandlerClsid,
                        {{u"ErrorHandlerMessageKw", [&reports, status](DISPPARAMS &p, VARIANT *, EXCEPINFO *excep) {
                              reports.push_back(ReadReport(p));
                              return status == S_OK ? S_OK : doubles::RaiseFrom(excep, status, u"handler broke");
                          }}});
    }

    HRESULT About(LONG &result) {
        result = 77;
        return descriptor_->About(&result);
    }
    IDispatch *ApplicationObject() {
        IDispatch *app = nullptr;
        EXPECT_EQ(descriptor_->get_GetProStdProperties(&app), S_OK);
        app->Release(); // the thread keeps it; only its identity is compared
        return app;
    }

    fs::path dir_;
    std::vector<DWORD> cookies_;
    std::atomic<int> alive_{0};
    int messages_ = 0;
    ComPtr<Descriptor> descriptor_;
};

// Catches: About that creates the framework object more than once, calls
// AppAboutKwel other than once by name with the thread's application object,
// keeps the object afterwards, reports a failure that did not happen, or
// returns anything but 0.
TEST_F(AboutTest, CallsTheFrameworkOnceWithTheApplicationObject) {
    std::vector<IDispatch *> received;
    std::vector<WORD> kinds;
    ScriptedFactory *about =
        Register(std::u16string(tvx::kAboutProgId), kAboutClsid,
                 {{u"AppAboutKwel", [&](DISPPARAMS &p, VARIANT *, EXCEPINFO *) {
                       EXPECT_EQ(p.cArgs, 1u);
                       received.push_back(p.cArgs == 1 && p.rgvarg[0].vt == VT_DISPATCH ? V_DISPATCH(&p.rgvarg[0])
                                                                                        : nullptr);
                       return S_OK;
                   }}});
    std::vector<Report> reports;
    ScriptedFactory *handler = RegisterHandler(reports);

    LONG result = -1;
    ASSERT_EQ(About(result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(about->made.size(), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], ApplicationObject());
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(handler->made.empty());
    EXPECT_EQ(alive_, 0);

    ASSERT_EQ(About(result), S_OK);
    EXPECT_EQ(about->made.size(), 2u); // a new one for each About box
}

// Catches: About that succeeds, or fails with another status, when the
// framework is not there; a message shown in that case.
TEST_F(AboutTest, WithoutTheFrameworkFailsWithCannotCreateAndShowsNothing) {
    LONG result = -1;
    EXPECT_EQ(About(result), kCannotCreate);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(messages_, 0);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Put()), S_OK);
    Bstr description;
    error->GetDescription(description.Put());
    EXPECT_EQ(description.View(), u"Component can't create object");
}

// Catches: a missing method not reported as error 438, a report whose eight
// arguments are not those listed (types, passing, values, the eighth left
// out), and About failing after a reported failure.
TEST_F(AboutTest, AnAboutObjectLackingTheMethodIsReported) {
    Register(std::u16string(tvx::kAboutProgId), kAboutClsid, {});
    std::vector<Report> reports;
    RegisterHandler(reports);

    LONG result = -1;
    ASSERT_EQ(About(result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(reports.size(), 1u);
    const Report &r = reports[0];
    EXPECT_EQ(r.types, kReportTypes);
    EXPECT_EQ(r.application, ApplicationObject());
    EXPECT_EQ(r.number, 438);
    EXPECT_EQ(r.description, u"Object doesn't support this property or method");
    EXPECT_EQ(r.text3, u"");
    EXPECT_EQ(r.where, u"basKwelCommonA.AppAboutKwel_Pro");
    EXPECT_EQ(r.number5, 0);
    EXPECT_EQ(r.text6, u"");
    EXPECT_EQ(r.number7, 0);
    EXPECT_EQ(V_ERROR(&r.eighth), DISP_E_PARAMNOTFOUND);
}

// Catches: an error raised inside AppAboutKwel reported with another number
// or description than the framework object gave.
TEST_F(AboutTest, AnErrorRaisedByTheFrameworkIsReportedWithItsNumber) {
    Register(std::u16string(tvx::kAboutProgId), kAboutClsid,
             {{u"AppAboutKwel", [](DISPPARAMS &, VARIANT *, EXCEPINFO *excep) {
                   return doubles::RaiseFrom(excep, static_cast<HRESULT>(0x800A0005), u"No About today");
               }}});
    std::vector<Report> reports;
    RegisterHandler(reports);
    LONG result = -1;
    ASSERT_EQ(About(result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].number, 5);
    EXPECT_EQ(reports[0].description, u"No About today");
}

// Catches: a handler that ends the procedure instead of resuming at the next
// statement: with the About class missing, the creation (429) and then the
// call on no object (91) are both reported.
TEST_F(AboutTest, TheHandlerResumesAfterEachFailingStatement) {
    std::vector<Report> reports;
    ScriptedFactory *handler = RegisterHandler(reports);
    LONG result = -1;
    ASSERT_EQ(About(result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].number, 429);
    EXPECT_EQ(reports[1].number, 91);
    EXPECT_EQ(reports[1].where, u"basKwelCommonA.AppAboutKwel_Pro");
    EXPECT_EQ(handler->made.size(), 2u); // a new handler for each report
}

// Catches: a failure inside the handler caught again (reported a second
// time, or swallowed) instead of ending About with its status.
TEST_F(AboutTest, AFailureWhileReportingEndsAbout) {
    Register(std::u16string(tvx::kAboutProgId), kAboutClsid, {});
    std::vector<Report> reports;
    RegisterHandler(reports, static_cast<HRESULT>(0x800A0007));
    LONG result = -1;
    EXPECT_EQ(About(result), static_cast<HRESULT>(0x800A0007));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(reports.size(), 1u);
}

// Catches: arguments handed on as copies instead of by reference (what the
// handler stores is lost, or the replaced object leaks), and an eighth
// argument that the caller gave arriving other than as given.
TEST_F(AboutTest, ReportArgumentsAreHandedOnByReference) {
    std::atomic<int> others{0};
    auto *replacement = new ScriptedObject({}, &others);
    std::vector<VARIANT> eighth;
    Register(std::u16string(tvx::kErrorHandlerProgId), kHandlerClsid,
             {{u"ErrorHandlerMessageKw", [&](DISPPARAMS &p, VARIANT *, EXCEPINFO *) {
                   // rgvarg holds the arguments last first.
                   eighth.push_back(p.rgvarg[0]);
                   IDispatch **error = V_DISPATCHREF(&p.rgvarg[6]);
                   (*error)->Release();
                   replacement->AddRef();
                   *error = replacement;
                   BSTR *text3 = V_BSTRREF(&p.rgvarg[5]);
                   SysFreeString(*text3);
                   *text3 = SysAllocString(u"changed");
                   *V_I4REF(&p.rgvarg[3]) = 42;
                   return S_OK;
               }}});

    std::atomic<int> errors{0};
    ComPtr<IDispatch> application, error = ComPtr<IDispatch>::Attach(new ScriptedObject({}, &errors));
    std::u16string text3 = u"kept?", where = u"here", text6;
    int32_t number5 = 0, number7 = 3;
    tvx::ReportFrameworkError_Pro(application, error, text3, where, number5, text6, number7, Variant::I4(8));
    EXPECT_EQ(text3, u"changed");
    EXPECT_EQ(number5, 42);
    EXPECT_EQ(where, u"here");
    EXPECT_EQ(number7, 3);
    EXPECT_EQ(error.Get(), static_cast<IDispatch *>(replacement));
    EXPECT_EQ(errors, 0); // the replaced object was released, once
    ASSERT_EQ(eighth.size(), 1u);
    EXPECT_EQ(eighth[0].vt, VT_I4);
    EXPECT_EQ(V_I4(&eighth[0]), 8);
    error.Reset();
    replacement->Release();
    EXPECT_EQ(others, 0);
}

} // namespace
