// The component's registration, end to end through the runtime: the component
// writes its classes into the registry, a client finds and creates every one
// of them by programmatic identifier, and unregistration takes away exactly
// what registration wrote, leaving everyone else's values in place.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace fs = std::filesystem;
using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using tvx::operator==;

namespace {

struct ClassEntry {
    const char *name;
    std::u16string_view progid;
    const CLSID &clsid;
    const IID &iid;
};

const ClassEntry kClasses[] = {
    {"clsKwvIDOTarvex10A", u"Tarvex10.clsKwvIDOTarvex10A", CLSID_clsKwvIDOTarvex10A, IID__clsKwvIDOTarvex10A},
    {"clsKwVidoVfwA", u"Tarvex10.clsKwVidoVfwA", CLSID_clsKwVidoVfwA, IID__clsKwVidoVfwA},
    {"clsKwVidoGeneralA", u"Tarvex10.clsKwVidoGeneralA", CLSID_clsKwVidoGeneralA, IID__clsKwVidoGeneralA},
    {"clsKwVidoAdvancedA", u"Tarvex10.clsKwVidoAdvancedA", CLSID_clsKwVidoAdvancedA, IID__clsKwVidoAdvancedA},
    {"clsKwVidoMoviesA", u"Tarvex10.clsKwVidoMoviesA", CLSID_clsKwVidoMoviesA, IID__clsKwVidoMoviesA},
    {"clsKwVidoMciApiA", u"Tarvex10.clsKwVidoMciApiA", CLSID_clsKwVidoMciApiA, IID__clsKwVidoMciApiA},
    {"clsKwVidoCutVideoA", u"Tarvex10.clsKwVidoCutVideoA", CLSID_clsKwVidoCutVideoA, IID__clsKwVidoCutVideoA},
};

// Written here rather than with the runtime's own formatter, so that a fault
// there cannot hide behind the same fault in the check.
std::string UpperBraced(const GUID &g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string Utf8(std::u16string_view text) { return std::string(text.begin(), text.end()); } // ASCII only

std::optional<std::string> Read(const std::string &key, const char *name) {
    char buffer[4096];
    if (TvxRegistryRead(key.c_str(), name, buffer, sizeof buffer) != S_OK) return std::nullopt;
    return std::string(buffer);
}

std::string Slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Records what the movie player sends to its media device and answers every
// command with one code.
struct MciRecorder {
    static constexpr MCIERROR kCode = 282;
    std::vector<std::string> commands;

    static MCIERROR Send(void *context, const char *command, char *reply, UINT capacity, HWND) {
        static_cast<MciRecorder *>(context)->commands.emplace_back(command);
        if (reply && capacity > 0) reply[0] = '\0';
        return kCode;
    }
};

DISPID IdOf(IDispatch *object, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << Utf8(name);
    return id;
}

HRESULT InvokeByName(IDispatch *object, std::u16string name, WORD flags, std::vector<Variant> args,
                     VARIANT *result) {
    DISPID id = IdOf(object, std::move(name));
    DISPID put = DISPID_PROPERTYPUT;
    bool is_put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.empty() ? nullptr : static_cast<VARIANT *>(args.data()), is_put ? &put : nullptr,
                      static_cast<UINT>(args.size()), is_put ? 1u : 0u};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

class RegistrationRoundTrip : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tvx-registration-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        registry_ = dir_ / "registry";
        ASSERT_EQ(TvxRegistrySetPath(registry_.c_str()), S_OK);

        component_path_ = fs::canonical(TVX_COMPONENT_PATH).string();
        library_ = dlopen(TVX_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        register_ = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library_, "DllRegisterServer"));
        unregister_ = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library_, "DllUnregisterServer"));
        can_unload_ = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library_, "DllCanUnloadNow"));
        ASSERT_NE(register_, nullptr);
        ASSERT_NE(unregister_, nullptr);
        ASSERT_NE(can_unload_, nullptr);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        if (library_) dlclose(library_);
        TvxRegistrySetPath(nullptr);
        fs::remove_all(dir_);
    }

    fs::path dir_, registry_;
    std::string component_path_;
    void *library_ = nullptr;
    LPFNREGISTERSERVER register_ = nullptr;
    LPFNREGISTERSERVER unregister_ = nullptr;
    LPFNCANUNLOADNOW can_unload_ = nullptr;
};

void ExpectRegistered(const ClassEntry &c, const std::string &server) {
    SCOPED_TRACE(c.name);
    const std::string clsid = UpperBraced(c.clsid), progid = Utf8(c.progid);
    const std::string clsid_key = "CLSID\\" + clsid;
    EXPECT_EQ(Read(clsid_key, "ProgID"), progid);
    EXPECT_EQ(Read(clsid_key + "\\InprocServer32", ""), server);
    EXPECT_EQ(Read(clsid_key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Read(progid + "\\CLSID", ""), clsid);
}

void ExpectUnregistered(const ClassEntry &c) {
    SCOPED_TRACE(c.name);
    const std::string clsid_key = "CLSID\\" + UpperBraced(c.clsid), progid = Utf8(c.progid);
    EXPECT_EQ(Read(clsid_key, "ProgID"), std::nullopt);
    EXPECT_EQ(Read(clsid_key, ""), std::nullopt);
    EXPECT_EQ(Read(clsid_key + "\\InprocServer32", ""), std::nullopt);
    EXPECT_EQ(Read(clsid_key + "\\InprocServer32", "ThreadingModel"), std::nullopt);
    EXPECT_EQ(Read(progid + "\\CLSID", ""), std::nullopt);
    EXPECT_EQ(Read(progid, ""), std::nullopt);
}

// The movie player, driven only by names, as a script would.
void DriveMoviePlayer(IDispatch *movies) {
    MciRecorder recorder;
    TVXMCIHANDLER handler{&MciRecorder::Send, nullptr, &recorder};
    TVXMCIHANDLER previous{};
    TvxSetMciHandler(&handler, &previous);

    Variant result;
    EXPECT_EQ(InvokeByName(movies, u"FileName", DISPATCH_PROPERTYPUT, {Variant::Str(u"clip one.mpg")}, nullptr), S_OK);
    EXPECT_EQ(InvokeByName(movies, u"openmovie", DISPATCH_METHOD, {}, result.Put()), S_OK);
    EXPECT_EQ(InvokeByName(movies, u"ERROR", DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(result.Type(), VT_I4);
    EXPECT_EQ(V_I4(&result), static_cast<LONG>(MciRecorder::kCode));
    EXPECT_EQ(InvokeByName(movies, u"filename", DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    ASSERT_EQ(result.Type(), VT_BSTR);
    EXPECT_EQ(result.StrView(), u"\"clip one.mpg\"");

    TvxSetMciHandler(&previous, nullptr);
    EXPECT_EQ(recorder.commands,
              (std::vector<std::string>{"close movie", "open \"clip one.mpg\" type mpegvideo alias movie"}));
}

// Catches: registration that misses a class or writes a value in the wrong
// place or case, servers named by a relative path, creation that reaches the
// wrong class, and unregistration that leaves values behind or takes values
// it did not write.
TEST_F(RegistrationRoundTrip, RegisterCreateUnregister) {
    // Someone else's values, one of them in a key that registration also
    // writes to.
    const std::string movies_key = "CLSID\\" + UpperBraced(CLSID_clsKwVidoMoviesA);
    const TVXREGVALUE foreign[] = {
        {"Software\\Elsewhere\\Settings", "Volume", "11"},
        {movies_key.c_str(), "Comment", "kept by another program"},
    };
    ASSERT_EQ(TvxRegistryWrite(foreign, std::size(foreign)), S_OK);
    const std::string before = Slurp(registry_);

    ASSERT_EQ(register_(), S_OK);
    ASSERT_TRUE(fs::path(component_path_).is_absolute());
    for (const ClassEntry &c : kClasses) ExpectRegistered(c, component_path_);

    for (const ClassEntry &c : kClasses) {
        SCOPED_TRACE(c.name);
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(std::u16string(c.progid).c_str(), &clsid), S_OK);
        EXPECT_TRUE(clsid == c.clsid);
        ComPtr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()), S_OK);
        ASSERT_TRUE(object);
        // The object created is of the class asked for.
        ComPtr<IUnknown> own;
        EXPECT_EQ(object->QueryInterface(c.iid, own.PutVoid()), S_OK);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
        TYPEATTR *attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(attr->guid == c.iid);
        info->ReleaseTypeAttr(attr);
        if (c.clsid == CLSID_clsKwVidoMoviesA) DriveMoviePlayer(object.Get());
    }
    EXPECT_EQ(can_unload_(), S_OK);

    ASSERT_EQ(unregister_(), S_OK);
    for (const ClassEntry &c : kClasses) ExpectUnregistered(c);
    EXPECT_EQ(Read("Software\\Elsewhere\\Settings", "Volume"), "11");
    EXPECT_EQ(Read(movies_key, "Comment"), "kept by another program");
    // Nothing else was left either: the type library and interface entries
    // go too.
    EXPECT_EQ(Slurp(registry_), before);

    for (const ClassEntry &c : kClasses) {
        SCOPED_TRACE(c.name);
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(std::u16string(c.progid).c_str(), &clsid), CO_E_CLASSSTRING);
        ComPtr<IDispatch> object;
        EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
                  REGDB_E_CLASSNOTREG);
    }
}

// Catches: registration that appends rather than replaces, so that installing
// twice leaves duplicate or conflicting entries behind.
TEST_F(RegistrationRoundTrip, RegisteringTwiceChangesNothing) {
    ASSERT_EQ(register_(), S_OK);
    const std::string once = Slurp(registry_);
    ASSERT_FALSE(once.empty());
    ASSERT_EQ(register_(), S_OK);
    EXPECT_EQ(Slurp(registry_), once);
    ASSERT_EQ(unregister_(), S_OK);
    for (const ClassEntry &c : kClasses) ExpectUnregistered(c);
    // Removing what is no longer there is no error and no change.
    const std::string after = Slurp(registry_);
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(Slurp(registry_), after);
}

// Catches: two libraries registering at the same moment from two processes,
// one of them replacing the registry with a copy that lacks the other's
// classes.
TEST_F(RegistrationRoundTrip, LibrariesRegisteringAtOnceBothStay) {
    const fs::path framework = TVX_FRAMEWORK_PATH;
    const std::string movies = "Tarvex10.clsKwVidoMoviesA\\CLSID", about = "KwBasalt10.clsKwBasalt10A\\CLSID";
    int both = 0;
    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(registry_);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (int which = 0; which < 2; ++which) {
            children[which] = fork();
            if (children[which] == 0) {
                alarm(60);
                void *library = which == 0 ? library_ : dlopen(framework.c_str(), RTLD_NOW | RTLD_LOCAL);
                auto entry = library ? reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, "DllRegisterServer"))
                                     : nullptr;
                close(go[1]);
                char byte;
                (void)!read(go[0], &byte, 1); // both start together
                _exit(entry && entry() == S_OK ? 0 : 1);
            }
        }
        close(go[0]);
        close(go[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        }
        both += Read(movies, "").has_value() && Read(about, "").has_value();
    }
    EXPECT_EQ(both, kRounds);
}

} // namespace
