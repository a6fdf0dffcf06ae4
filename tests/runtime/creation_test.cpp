// Object creation: lookups through the registry, in-process class objects
// taking precedence, servers loaded from the registered path and unloaded
// only when they say they may be.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"

namespace fs = std::filesystem;
using tvx::ComPtr;
using tvx::operator==;

namespace {

// The fixture server's class, {5D0C3A51-8E7B-4C2F-9A16-3B8E0F47D2C9}.
constexpr GUID kFixtureClsid = {0x5D0C3A51, 0x8E7B, 0x4C2F, {0x9A, 0x16, 0x3B, 0x8E, 0x0F, 0x47, 0xD2, 0xC9}};
constexpr char kFixtureClsidText[] = "{5D0C3A51-8E7B-4C2F-9A16-3B8E0F47D2C9}";
// Registered only by the tests that need it, never served by the fixture.
constexpr GUID kOtherClsid = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
constexpr char kOtherClsidText[] = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

// The entries a component's registration writes for one class.
void RegisterClass(const std::string &clsid_text, const std::string &progid, const std::string &path) {
    std::string clsid_key = "CLSID\\" + clsid_text, server_key = clsid_key + "\\InprocServer32",
                progid_key = progid + "\\CLSID";
    const TVXREGVALUE values[] = {
        {clsid_key.c_str(), "", "Test class"},       {clsid_key.c_str(), "ProgID", progid.c_str()},
        {server_key.c_str(), "", path.c_str()},      {server_key.c_str(), "ThreadingModel", "Apartment"},
        {progid.c_str(), "", "Test class"},          {progid_key.c_str(), "", clsid_text.c_str()},
    };
    ASSERT_EQ(TvxRegistryWrite(values, std::size(values)), S_OK);
}

bool IsLoaded(const char *path) {
    void *handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// A shared object that lacks DllGetClassObject: the platform library itself.
std::string PlatformLibraryPath() {
    Dl_info info{};
    EXPECT_NE(dladdr(reinterpret_cast<void *>(&TvxRegistryRead), &info), 0);
    return info.dli_fname ? info.dli_fname : "";
}

class CreationTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tvx-creation-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(TvxRegistrySetPath((dir_ / "registry").c_str()), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        TvxRegistrySetPath(nullptr);
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

// Catches: ProgID lookups that accept garbage or leave a stale CLSID behind.
TEST_F(CreationTest, ProgIDLookups) {
    RegisterClass(kFixtureClsidText, "Tvx.Fixture", "/nowhere.so");
    const TVXREGVALUE extra[] = {{"Tvx.Lower\\CLSID", "", "{5d0c3a51-8e7b-4c2f-9a16-3b8e0f47d2c9}"},
                                 {"Tvx.Broken\\CLSID", "", "{5D0C3A51-8E7B-4C2F-9A16-3B8E0F47D2C}"},
                                 {"Tvx.NoBraces\\CLSID", "", "5D0C3A51-8E7B-4C2F-9A16-3B8E0F47D2C9"}};
    ASSERT_EQ(TvxRegistryWrite(extra, std::size(extra)), S_OK);
    struct Case {
        const char16_t *progid;
        HRESULT status;
    } cases[] = {
        {u"Tvx.Fixture", S_OK},    {u"TVX.FIXTURE", S_OK},          {u"Tvx.Lower", S_OK},
        {u"Tvx.Broken", CO_E_CLASSSTRING}, {u"Tvx.NoBraces", CO_E_CLASSSTRING}, {u"Tvx.Unknown", CO_E_CLASSSTRING},
        {u"", CO_E_CLASSSTRING},   {u"CLSID\\{5D0C3A51-8E7B-4C2F-9A16-3B8E0F47D2C9}\\InprocServer32", CO_E_CLASSSTRING},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(i);
        CLSID clsid;
        std::memset(&clsid, 0xAB, sizeof clsid);
        EXPECT_EQ(CLSIDFromProgID(c.progid, &clsid), c.status);
        EXPECT_TRUE(clsid == (c.status == S_OK ? kFixtureClsid : CLSID{}));
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Tvx.Fixture", nullptr), E_INVALIDARG);
}

// Catches: the reverse lookup reading the wrong key or mangling the text.
TEST_F(CreationTest, ProgIDFromCLSID) {
    RegisterClass(kFixtureClsidText, "Tvx.Fixture\xc3\xa9", "/nowhere.so");
    LPOLESTR progid = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kFixtureClsid, &progid), S_OK);
    EXPECT_EQ(tvx::Bstr::Attach(progid).View(), u"Tvx.Fixture\u00e9");
    progid = reinterpret_cast<LPOLESTR>(this);
    EXPECT_EQ(ProgIDFromCLSID(kOtherClsid, &progid), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progid, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(kFixtureClsid, nullptr), E_INVALIDARG);
}

// Catches: a wrong status for each way that finding a server can fail, and
// an out-pointer left dangling on failure.
TEST_F(CreationTest, ClassObjectFailures) {
    std::ofstream(dir_ / "not-a-library.so") << "text";
    RegisterClass("{00000000-0000-0000-0000-000000000001}", "T.Missing", (dir_ / "missing.so").string());
    RegisterClass("{00000000-0000-0000-0000-000000000002}", "T.Text", (dir_ / "not-a-library.so").string());
    RegisterClass("{00000000-0000-0000-0000-000000000003}", "T.Relative", "libtvxplatform.so");
    RegisterClass("{00000000-0000-0000-0000-000000000004}", "T.NoExport", PlatformLibraryPath());
    struct Case {
        const char16_t *progid; // nullptr: kOtherClsid, which is not registered
        DWORD context;
        HRESULT status;
    } cases[] = {
        {nullptr, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        {u"T.Missing", CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
        {u"T.Text", CLSCTX_ALL, CO_E_DLLNOTFOUND},
        {u"T.Relative", CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
        {u"T.NoExport", CLSCTX_INPROC_HANDLER, CO_E_ERRORINDLL},
        {u"T.NoExport", CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(i);
        CLSID clsid = kOtherClsid;
        if (c.progid) {
            ASSERT_EQ(CLSIDFromProgID(c.progid, &clsid), S_OK);
        }
        void *object = this;
        EXPECT_EQ(CoGetClassObject(clsid, c.context, nullptr, IID_IClassFactory, &object), c.status);
        EXPECT_EQ(object, nullptr);
        object = this;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, c.context, IID_IUnknown, &object), c.status);
        EXPECT_EQ(object, nullptr);
    }
}

// A class object written in C++, counting its references.
class TestFactory : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    // Hands out itself, so a test can see whose object it got.
    HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        ++created;
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
    ULONG refs = 1;
    int created = 0;
};

// Catches: registrations that do not hold a reference, are not found first,
// or outlive their revocation.
TEST_F(CreationTest, RegisteredClassObjectsComeFirst) {
    TestFactory older, newer;
    DWORD older_cookie = 0, newer_cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kOtherClsid, &older, CLSCTX_INPROC_SERVER, 0, &older_cookie), S_OK);
    ASSERT_EQ(CoRegisterClassObject(kOtherClsid, &newer, CLSCTX_INPROC_SERVER, 0, &newer_cookie), S_OK);
    EXPECT_NE(older_cookie, 0u);
    EXPECT_NE(older_cookie, newer_cookie);
    EXPECT_EQ(older.refs, 2u);

    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), S_OK);
    EXPECT_EQ(object.Get(), static_cast<IUnknown *>(&newer)); // the latest registration wins
    object.Reset();
    EXPECT_EQ(CoCreateInstance(kOtherClsid, &newer, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(newer.created, 1); // refused before the factory is asked
    void *wrong = this;
    EXPECT_EQ(CoGetClassObject(kOtherClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IDispatch, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
    EXPECT_EQ(newer.refs, 2u); // every lookup gave its references back

    ASSERT_EQ(CoRevokeClassObject(newer_cookie), S_OK);
    EXPECT_EQ(newer.refs, 1u);
    EXPECT_EQ(CoRevokeClassObject(newer_cookie), CO_E_OBJNOTREG);
    ASSERT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), S_OK);
    EXPECT_EQ(object.Get(), static_cast<IUnknown *>(&older));
    object.Reset();
    ASSERT_EQ(CoRevokeClassObject(older_cookie), S_OK);
    EXPECT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);

    DWORD cookie = 7;
    EXPECT_EQ(CoRegisterClassObject(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(CoRegisterClassObject(kOtherClsid, &older, CLSCTX_INPROC_SERVER, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(older.refs, 1u);
}

// The fixture server is written in C, so its objects carry no run-time type
// information; calls into them must skip the sanitizer's dynamic-type check.
#define NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))

// Owns one reference to an object of the fixture server.
template <class T> struct Foreign {
    T *p = nullptr;
    Foreign() = default;
    Foreign(const Foreign &) = delete;
    Foreign &operator=(const Foreign &) = delete;
    ~Foreign() { Reset(); }
    NO_VPTR_CHECK void Reset() {
        if (p) std::exchange(p, nullptr)->Release();
    }
    void **Put() {
        Reset();
        return reinterpret_cast<void **>(&p);
    }
};

NO_VPTR_CHECK HRESULT ReadAnswer(IDispatch *object, VARIANT *result) {
    OLECHAR name[] = u"Answer";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

NO_VPTR_CHECK HRESULT LockServer(IClassFactory *factory, BOOL lock) { return factory->LockServer(lock); }

#ifdef TVX_FIXTURE_COMPONENT_PATH
constexpr char kFixturePath[] = TVX_FIXTURE_COMPONENT_PATH;
#define REQUIRE_FIXTURE()
#else
constexpr char kFixturePath[] = "";
#define REQUIRE_FIXTURE() GTEST_SKIP() << "the fixture server is not built (tests/runtime/fixture)"
#endif

// Catches: a server loaded from the registry whose object does not work
// through its table, or statuses of the server replaced by our own.
TEST_F(CreationTest, CreatesAnObjectOfARegisteredServerByProgID) {
    REQUIRE_FIXTURE();
    RegisterClass(kFixtureClsidText, "Tvx.Fixture", kFixturePath);
    RegisterClass(kOtherClsidText, "Tvx.NotServed", kFixturePath);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Tvx.Fixture", &clsid), S_OK);
    Foreign<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.Put()), S_OK);
    VARIANT result{};
    ASSERT_EQ(ReadAnswer(object.p, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.u.lVal, 42);

    void *other = this;
    EXPECT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &other),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITypeInfo, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

// Catches: servers unloaded while their objects or class objects live, never
// unloaded, or left in the table after unloading (so they cannot be reloaded).
TEST_F(CreationTest, FreeUnusedLibrariesUnloadsOnlyIdleServers) {
    REQUIRE_FIXTURE();
    RegisterClass(kFixtureClsidText, "Tvx.Fixture", kFixturePath);
    CoFreeUnusedLibraries();
    ASSERT_FALSE(IsLoaded(kFixturePath));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Foreign<IUnknown> object;
        ASSERT_EQ(CoCreateInstance(kFixtureClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.Put()), S_OK);
        CoFreeUnusedLibraries();
        EXPECT_TRUE(IsLoaded(kFixturePath)) << "unloaded under a live object";
        object.Reset();
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsLoaded(kFixturePath));
    }

    Foreign<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(kFixtureClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.Put()), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(kFixturePath)) << "unloaded while its class object is held";
    ASSERT_EQ(LockServer(factory.p, 1), S_OK);
    factory.Reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(kFixturePath)) << "unloaded while locked";
    ASSERT_EQ(CoGetClassObject(kFixtureClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.Put()), S_OK);
    ASSERT_EQ(LockServer(factory.p, 0), S_OK);
    factory.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(kFixturePath));
}

// Catches: the server loaded although a class object of this process
// already serves the class.
TEST_F(CreationTest, RegisteredClassObjectShadowsTheServer) {
    REQUIRE_FIXTURE();
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kFixtureClsid, &factory, CLSCTX_INPROC_SERVER, 0, &cookie), S_OK);
    RegisterClass(kFixtureClsidText, "Tvx.Fixture", kFixturePath);
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(kFixtureClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), S_OK);
    EXPECT_EQ(object.Get(), static_cast<IUnknown *>(&factory));
    EXPECT_FALSE(IsLoaded(kFixturePath));
    object.Reset();
    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
}

} // namespace

namespace {

// Catches: creation loading (and so running) a library that others than its
// owner could have replaced, and a refused registry taken for a class that
// is merely not registered.
TEST_F(CreationTest, RefusesLibrariesAndRegistriesOthersCanWrite) {
    REQUIRE_FIXTURE();
    const fs::path copy = dir_ / "fixture_copy.so";
    fs::copy_file(kFixturePath, copy);
    RegisterClass(kFixtureClsidText, "Tvx.Fixture", copy.string());

    fs::permissions(copy, fs::perms(0646));
    Foreign<IUnknown> object;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CoCreateInstance(kFixtureClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.Put()),
              E_ACCESSDENIED);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(copy.string() + " is writable by others"), std::string::npos) << said;
    EXPECT_FALSE(IsLoaded(copy.c_str()));

    fs::permissions(copy, fs::perms(0755));
    EXPECT_EQ(CoCreateInstance(kFixtureClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.Put()), S_OK);
    object.Reset();

    fs::permissions(dir_ / "registry", fs::perms(0664));
    CLSID clsid{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(CLSIDFromProgID(u"Tvx.Fixture", &clsid), E_ACCESSDENIED);
    EXPECT_EQ(CoCreateInstance(kFixtureClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.Put()),
              E_ACCESSDENIED);
    LPOLESTR progid = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(kFixtureClsid, &progid), E_ACCESSDENIED);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("writable by its group"), std::string::npos);
}

} // namespace
