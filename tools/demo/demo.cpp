// A short tour of the component on its embedded defaults: it registers the
// component in a fresh registry file, creates each class by its programmatic
// identifier through the platform runtime, lists each interface from its
// type information, and drives a movie player through open, status and
// close, printing what comes back.
//
//   tvx_demo PATH-OF-libtarvex10.so
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "tarvex10/automation.hpp"

using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;

namespace {

std::string Utf8(std::u16string_view text) { return tvx::convert::ToUtf8(text); }

// Makes NULs visible so that fixed-length replies print on one line.
std::string Visible(std::u16string_view text) {
    std::string out;
    size_t nuls = 0;
    for (char16_t c : text) {
        if (c == u'\0') {
            ++nuls;
            continue;
        }
        if (nuls) out += "\\0" + (nuls > 1 ? "x" + std::to_string(nuls) : "");
        nuls = 0;
        out += Utf8(std::u16string_view(&c, 1));
    }
    if (nuls) out += "\\0" + (nuls > 1 ? "x" + std::to_string(nuls) : "");
    return out;
}

const char *TypeWord(VARTYPE vt) {
    switch (vt) {
    case VT_I4: return "int32";
    case VT_I2: return "int16";
    case VT_UI1: return "byte";
    case VT_R8: return "double";
    case VT_BOOL: return "bool16";
    case VT_BSTR: return "string";
    case VT_VARIANT: return "Variant";
    case VT_DISPATCH: return "object";
    case VT_VOID: return "-";
    default: return "?";
    }
}

const char *KindWord(INVOKEKIND kind) {
    switch (kind) {
    case INVOKE_FUNC: return "method";
    case INVOKE_PROPERTYGET: return "get";
    case INVOKE_PROPERTYPUT: return "put";
    case INVOKE_PROPERTYPUTREF: return "putref";
    }
    return "?";
}

void ListMembers(IDispatch *object) {
    ComPtr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, 0, info.Put()))) return;
    TYPEATTR *attr = nullptr;
    info->GetTypeAttr(&attr);
    Bstr name;
    info->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr);
    std::printf("  interface %s, %u members\n", Utf8(name.View()).c_str(), attr->cFuncs);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC *f = nullptr;
        info->GetFuncDesc(i, &f);
        BSTR names[16] = {};
        UINT count = 0;
        info->GetNames(f->memid, names, 16, &count);
        std::string params;
        for (SHORT p = 0; p < f->cParams; ++p) {
            const ELEMDESC &e = f->lprgelemdescParam[p];
            bool by_ref = e.tdesc.vt == VT_PTR;
            VARTYPE vt = by_ref ? e.tdesc.u.lptdesc->vt : e.tdesc.vt;
            if (!params.empty()) params += ", ";
            if (UINT(p + 1) < count) params += Utf8(tvx::Bstr::Attach(std::exchange(names[p + 1], nullptr)).View()) + ": ";
            params += std::string(TypeWord(vt)) + (by_ref ? " by ref" : "");
        }
        std::printf("    %2u  0x%08x  %-6s  %s(%s) -> %s\n", i + 1, static_cast<unsigned>(f->memid),
                    KindWord(f->invkind), Utf8(tvx::Bstr::Attach(names[0]).View()).c_str(), params.c_str(),
                    TypeWord(f->elemdescFunc.tdesc.vt));
        for (UINT n = 1; n < count; ++n) SysFreeString(names[n]);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
}

// Calls a member by name through late binding.
HRESULT Call(IDispatch *object, const char16_t *member, WORD flags, std::vector<Variant> args, Variant *result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(status)) return status;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    EXCEPINFO excep{};
    status = object->Invoke(id, IID_NULL, 0, flags, &params, result ? result->Put() : nullptr, &excep, nullptr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return status;
}

void Report(IDispatch *movie, const char *step, const Variant &result) {
    Variant error, text;
    Call(movie, u"Error", DISPATCH_PROPERTYGET, {}, &error);
    Call(movie, u"checkError", DISPATCH_METHOD, {}, &text);
    std::string shown = result.Type() == VT_BSTR ? "\"" + Visible(result.StrView()) + "\""
                        : result.Type() == VT_BOOL ? (V_BOOL(&result) ? "true" : "false")
                        : result.Type() == VT_EMPTY ? "Empty"
                                                    : "?";
    std::u16string description(text.StrView().substr(0, text.StrView().find(u'\0')));
    std::printf("  %-18s -> %-28s Error %d: %s\n", step, shown.c_str(), static_cast<int>(V_I4(&error)),
                Utf8(description).c_str());
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH-OF-libtarvex10.so\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("tarvex10-demo-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string registry = (folder / "registry").string();
    TvxRegistrySetPath(registry.c_str());

    void *component = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!component) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    auto register_server = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(component, "DllRegisterServer"));
    auto unregister_server = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(component, "DllUnregisterServer"));
    std::printf("DllRegisterServer into %s: 0x%08x\n\n", registry.c_str(), static_cast<unsigned>(register_server()));

    const char16_t *progids[] = {u"Tarvex10.clsKwvIDOTarvex10A", u"Tarvex10.clsKwVidoVfwA",
                                 u"Tarvex10.clsKwVidoGeneralA",  u"Tarvex10.clsKwVidoAdvancedA",
                                 u"Tarvex10.clsKwVidoMoviesA",   u"Tarvex10.clsKwVidoMciApiA",
                                 u"Tarvex10.clsKwVidoCutVideoA"};
    int failures = 0;
    for (const char16_t *progid : progids) {
        CLSID clsid{};
        ComPtr<IDispatch> object;
        HRESULT status = CLSIDFromProgID(progid, &clsid);
        if (SUCCEEDED(status)) status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
        std::printf("%s: 0x%08x\n", Utf8(progid).c_str(), static_cast<unsigned>(status));
        if (FAILED(status)) {
            ++failures;
            continue;
        }
        ListMembers(object.Get());
    }

    std::printf("\nA movie player, late-bound:\n");
    CLSID clsid{};
    ComPtr<IDispatch> movie;
    if (SUCCEEDED(CLSIDFromProgID(u"Tarvex10.clsKwVidoMoviesA", &clsid)) &&
        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, movie.PutVoid()))) {
        const std::u16string file = tvx::convert::FromUtf8((folder / "sample movie.mpg").string());
        Variant result;
        Call(movie.Get(), u"filename", DISPATCH_PROPERTYPUT, {Variant::Str(file)}, nullptr);
        Call(movie.Get(), u"openMovie", DISPATCH_METHOD, {}, &result);
        Report(movie.Get(), "openMovie", result);
        Call(movie.Get(), u"filename", DISPATCH_PROPERTYGET, {}, &result);
        std::printf("  %-18s -> \"%s\"\n", "filename", Visible(result.StrView()).c_str());
        Call(movie.Get(), u"checkDeviceReady", DISPATCH_METHOD, {}, &result);
        Report(movie.Get(), "checkDeviceReady", result);
        Call(movie.Get(), u"getStatus", DISPATCH_METHOD, {}, &result);
        Report(movie.Get(), "getStatus", result);
        Call(movie.Get(), u"isMoviePlaying", DISPATCH_METHOD, {}, &result);
        Report(movie.Get(), "isMoviePlaying", result);
        Call(movie.Get(), u"closeMovie", DISPATCH_METHOD, {}, &result);
        Report(movie.Get(), "closeMovie", result);
    } else {
        ++failures;
    }
    movie.Reset();

    std::printf("\nDllUnregisterServer: 0x%08x\n", static_cast<unsigned>(unregister_server()));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return failures == 0 ? 0 : 1;
}
