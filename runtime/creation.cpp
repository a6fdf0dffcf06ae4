// Object creation: ProgID and CLSID lookups in the registry, class objects
// registered by the process, and in-process servers loaded on demand.
//
// The registry entries a class's registration writes, and that are read here:
//   CLSID\{CLSID}                  @ = class name, ProgID = <ProgID>
//   CLSID\{CLSID}\InprocServer32   @ = absolute path of the server,
//                                  ThreadingModel = Apartment
//   <ProgID>                       @ = class name
//   <ProgID>\CLSID                 @ = {CLSID}
// {CLSID} is written in upper case and read in any case.
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "tarvex10/platform.h"
#include "trust.h"

// Class objects and servers may be written in C: their tables of functions
// carry no run-time type information, and the sanitizer's dynamic-type check
// would reject every call into them although the calls are well-formed.
#define TVX_CALLS_FOREIGN_OBJECTS __attribute__((no_sanitize("vptr")))

namespace {

// ---- GUID text, kept private so that creation depends on nothing but the
// registry ----

void AppendHex(std::string &out, uint64_t value, int digits) {
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
}

std::string BracedGuid(const GUID &guid) {
    std::string out = "{";
    AppendHex(out, guid.Data1, 8);
    out += '-';
    AppendHex(out, guid.Data2, 4);
    out += '-';
    AppendHex(out, guid.Data3, 4);
    out += '-';
    AppendHex(out, guid.Data4[0], 2);
    AppendHex(out, guid.Data4[1], 2);
    out += '-';
    for (int i = 2; i < 8; ++i) AppendHex(out, guid.Data4[i], 2);
    out += '}';
    return out;
}

bool ReadHex(std::string_view text, uint64_t &value) {
    value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return true;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", hex digits in either case.
bool ParseBracedGuid(std::string_view text, GUID &guid) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    uint64_t d1, d2, d3, d4, d5;
    if (!ReadHex(text.substr(1, 8), d1) || !ReadHex(text.substr(10, 4), d2) || !ReadHex(text.substr(15, 4), d3) ||
        !ReadHex(text.substr(20, 4), d4) || !ReadHex(text.substr(25, 12), d5))
        return false;
    guid.Data1 = static_cast<uint32_t>(d1);
    guid.Data2 = static_cast<uint16_t>(d2);
    guid.Data3 = static_cast<uint16_t>(d3);
    guid.Data4[0] = static_cast<uint8_t>(d4 >> 8);
    guid.Data4[1] = static_cast<uint8_t>(d4);
    for (int i = 0; i < 6; ++i) guid.Data4[2 + i] = static_cast<uint8_t>(d5 >> (8 * (5 - i)));
    return true;
}

bool SameGuid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// ---- UTF-16 <-> UTF-8 for ProgIDs; unpaired surrogates become U+FFFD ----

std::string ToUtf8(const OLECHAR *text) {
    std::string out;
    for (size_t i = 0; text[i]; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80            ? 0
                    : (byte & 0xE0) == 0xC0 ? 1
                    : (byte & 0xF0) == 0xE0 ? 2
                    : (byte & 0xF8) == 0xF0 ? 3
                                            : -1;
        uint32_t c = extra == 0 ? byte : extra == 1 ? (byte & 0x1F) : extra == 2 ? (byte & 0x0F) : (byte & 0x07);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (next & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

// Reads a whole registry value, however long.
HRESULT ReadRegistry(const std::string &key, const char *name, std::string &value) {
    std::vector<char> buffer(512);
    for (;;) {
        HRESULT hr = TvxRegistryRead(key.c_str(), name, buffer.data(), buffer.size());
        if (hr != S_OK) return hr;
        size_t length = std::strlen(buffer.data());
        if (length + 1 < buffer.size()) {
            value.assign(buffer.data(), length);
            return S_OK;
        }
        if (buffer.size() >= (size_t{1} << 24)) return REGDB_E_READREGDB; // no sane value is this long
        buffer.resize(buffer.size() * 2);
    }
}

// ---- process tables ----

struct ClassObject {
    DWORD cookie;
    CLSID clsid;
    IUnknown *factory; // one reference, released on revoke
    DWORD context;
};

struct Server {
    std::string path;
    void *handle;
    LPFNGETCLASSOBJECT get_class_object;
    LPFNCANUNLOADNOW can_unload_now; // may be missing: such a server stays
    int calls_in_progress;           // DllGetClassObject calls running outside the lock
};

// Recursive because dlopen and dlclose run the server's constructors and
// destructors under the lock, and those may register or revoke class objects
// on the same thread. Interface methods are never called under it.
std::recursive_mutex tables_mutex;
std::vector<ClassObject> class_objects;
std::vector<std::unique_ptr<Server>> servers;
DWORD next_cookie = 1;

constexpr DWORD kInprocContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Finds or loads the server at `path`; the caller holds tables_mutex.
HRESULT LoadServer(const std::string &path, Server *&server) {
    for (auto &loaded : servers) {
        if (loaded->path == path) {
            server = loaded.get();
            return S_OK;
        }
    }
    // A bare name would make dlopen search the library path: not what the
    // registry entry asked for.
    if (path.empty() || path[0] != '/') return CO_E_DLLNOTFOUND;
    // Loading runs the library's code: only a library that is the user's own.
    if (std::string why = tvx::runtime::WhyUntrusted(path); !why.empty()) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return CO_E_DLLNOTFOUND;
        tvx::runtime::Diagnose("refusing to load " + path + ": " + why);
        return E_ACCESSDENIED;
    }
    void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_DLLNOTFOUND;
    auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
    if (!get) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    auto can_unload = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
    servers.push_back(std::make_unique<Server>(Server{path, handle, get, can_unload, 0}));
    server = servers.back().get();
    return S_OK;
}

// The most recently registered class object for `clsid`, with a reference.
TVX_CALLS_FOREIGN_OBJECTS
IUnknown *FindClassObject(const CLSID &clsid, DWORD context) {
    std::lock_guard lock(tables_mutex);
    for (auto it = class_objects.rbegin(); it != class_objects.rend(); ++it) {
        if (SameGuid(it->clsid, clsid) && (it->context & context)) {
            it->factory->AddRef();
            return it->factory;
        }
    }
    return nullptr;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID *clsid) {
    if (!progid || !clsid) return E_INVALIDARG;
    *clsid = CLSID{};
    std::string name = ToUtf8(progid);
    // A backslash would address some other key.
    if (name.empty() || name.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    std::string text;
    HRESULT hr = ReadRegistry(name + "\\CLSID", "", text);
    if (FAILED(hr)) return hr; // the registry cannot be read, or is refused
    if (hr != S_OK) return CO_E_CLASSSTRING;
    CLSID parsed{};
    if (!ParseBracedGuid(text, parsed)) return CO_E_CLASSSTRING;
    *clsid = parsed;
    return S_OK;
}

TVX_PLATFORM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR *progid) {
    if (!progid) return E_INVALIDARG;
    *progid = nullptr;
    std::string name;
    HRESULT hr = ReadRegistry("CLSID\\" + BracedGuid(clsid), "ProgID", name);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || name.empty()) return REGDB_E_CLASSNOTREG;
    std::u16string wide = FromUtf8(name);
    *progid = SysAllocString(wide.c_str());
    return *progid ? S_OK : E_OUTOFMEMORY;
}

TVX_CALLS_FOREIGN_OBJECTS
TVX_PLATFORM_API HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown *factory, DWORD context, DWORD flags,
                                               DWORD *cookie) {
    (void)flags; // every registration serves any number of objects
    if (cookie) *cookie = 0;
    if (!factory || !cookie || !(context & kInprocContexts)) return E_INVALIDARG;
    factory->AddRef();
    std::lock_guard lock(tables_mutex);
    DWORD id = next_cookie++;
    if (next_cookie == 0) next_cookie = 1; // 0 never names a registration
    class_objects.push_back(ClassObject{id, clsid, factory, context});
    *cookie = id;
    return S_OK;
}

TVX_CALLS_FOREIGN_OBJECTS
TVX_PLATFORM_API HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown *factory = nullptr;
    {
        std::lock_guard lock(tables_mutex);
        for (auto it = class_objects.begin(); it != class_objects.end(); ++it) {
            if (it->cookie == cookie) {
                factory = it->factory;
                class_objects.erase(it);
                break;
            }
        }
    }
    if (!factory) return CO_E_OBJNOTREG;
    factory->Release(); // outside the lock: the factory may call back into the runtime
    return S_OK;
}

TVX_CALLS_FOREIGN_OBJECTS
TVX_PLATFORM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void *reserved, REFIID riid, void **ppv) {
    (void)reserved;
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!(context & kInprocContexts)) return REGDB_E_CLASSNOTREG;

    if (IUnknown *registered = FindClassObject(clsid, context)) {
        HRESULT hr = registered->QueryInterface(riid, ppv);
        registered->Release();
        if (FAILED(hr)) *ppv = nullptr;
        return hr;
    }

    std::string path;
    HRESULT hr = ReadRegistry("CLSID\\" + BracedGuid(clsid) + "\\InprocServer32", "", path);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || path.empty()) return REGDB_E_CLASSNOTREG;

    Server *server = nullptr;
    {
        std::lock_guard lock(tables_mutex);
        hr = LoadServer(path, server);
        if (FAILED(hr)) return hr;
        // Keeps CoFreeUnusedLibraries from unloading the server while its
        // DllGetClassObject runs without the lock.
        ++server->calls_in_progress;
    }
    hr = server->get_class_object(clsid, riid, ppv);
    {
        std::lock_guard lock(tables_mutex);
        --server->calls_in_progress;
    }
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

TVX_CALLS_FOREIGN_OBJECTS
TVX_PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID riid, void **ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IClassFactory *factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

TVX_PLATFORM_API void CoFreeUnusedLibraries(void) {
    std::lock_guard lock(tables_mutex);
    // Asked under the lock so that no creation through this runtime can slip
    // in between the server's answer and the unload.
    std::vector<void *> unload;
    std::erase_if(servers, [&](const std::unique_ptr<Server> &server) {
        if (server->calls_in_progress > 0 || !server->can_unload_now) return false;
        if (server->can_unload_now() != S_OK) return false;
        unload.push_back(server->handle);
        return true;
    });
    // Closed only once the table is consistent again, since a server's
    // destructors may call back into the runtime.
    for (void *handle : unload) ::dlclose(handle);
}

} // extern "C"
