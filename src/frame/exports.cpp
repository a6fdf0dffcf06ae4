// The component's four exports: object and factory-lock counting, class
// factories, and registration in the platform's registry.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "frame/library.h"

namespace tvx {
namespace {

// One factory per class, living as long as the library. References to a
// factory count as live objects, so the library stays loaded while a client
// holds one.
struct ClassFactory {
    const void *const *vtable;
    const ClassInfo *info;

    static ClassFactory *From(void *self) { return static_cast<ClassFactory *>(self); }

    static HRESULT QueryInterface(void *self, const IID &iid, void **ppv) {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *ppv = self;
            AddRef(self);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    static ULONG AddRef(void *) { return static_cast<ULONG>(++ModuleCounts::objects); }
    static ULONG Release(void *) { return static_cast<ULONG>(--ModuleCounts::objects); }
    static HRESULT CreateInstance(void *self, IUnknown *outer, const IID &iid, void **ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ObjectBase *object = nullptr;
        try {
            object = From(self)->info->create();
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
        HRESULT status = object->QueryInterface(iid, ppv);
        object->Release();
        return status;
    }
    static HRESULT LockServer(void *, BOOL lock) {
        if (lock) {
            ++ModuleCounts::locks;
            return S_OK;
        }
        // An unlock without a lock is ignored: a negative count would keep
        // the library loaded until some later lock happened to balance it.
        long held = ModuleCounts::locks.load();
        while (held > 0 && !ModuleCounts::locks.compare_exchange_weak(held, held - 1)) {
        }
        return S_OK;
    }
};

const void *const kFactoryVtable[] = {
    reinterpret_cast<const void *>(&ClassFactory::QueryInterface),
    reinterpret_cast<const void *>(&ClassFactory::AddRef),
    reinterpret_cast<const void *>(&ClassFactory::Release),
    reinterpret_cast<const void *>(&ClassFactory::CreateInstance),
    reinterpret_cast<const void *>(&ClassFactory::LockServer),
};

// The factories of the library's classes, made on the first request.
std::span<ClassFactory> Factories() {
    static std::vector<ClassFactory> factories = [] {
        std::vector<ClassFactory> made;
        for (const ClassInfo *info : ThisLibrary().classes) made.push_back({kFactoryVtable, info});
        return made;
    }();
    return factories;
}

std::string GuidText(const GUID &guid) {
    OLECHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return convert::ToUtf8(text);
}

// The absolute path of this library, which registration names as the
// classes' in-process server.
std::string LibraryPath() {
    Dl_info where{};
    if (!dladdr(reinterpret_cast<const void *>(&LibraryPath), &where) || !where.dli_fname) return {};
    char resolved[PATH_MAX];
    return realpath(where.dli_fname, resolved) ? std::string(resolved) : std::string(where.dli_fname);
}

struct Value {
    std::string key, name, value;
};

// Everything registration writes, and so everything removal takes away.
std::vector<Value> RegistrationValues(const std::string &path) {
    const LibraryInfo &self = ThisLibrary();
    const std::string library = GuidText(self.id);
    const std::string version = std::to_string(self.major_version) + "." + std::to_string(self.minor_version);
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const std::string typelib_key = "TypeLib\\" + library + "\\" + version;
    std::vector<Value> values = {
        {typelib_key, "", convert::ToUtf8(self.name)},
        {typelib_key + "\\0\\linux64", "", path},
        {typelib_key + "\\FLAGS", "", "0"},
        {typelib_key + "\\HELPDIR", "", folder},
    };
    for (const ClassInfo *info : self.classes) {
        const std::string clsid = GuidText(info->clsid);
        const std::string iid = GuidText(info->iid);
        const std::string progid = convert::ToUtf8(info->progid);
        const std::string clsid_key = "CLSID\\" + clsid;
        const std::string interface_key = "Interface\\" + iid;
        std::vector<Value> entries = {
            {clsid_key, "", progid},
            {clsid_key, "ProgID", progid},
            {clsid_key + "\\InprocServer32", "", path},
            {clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment"},
            {clsid_key + "\\TypeLib", "", library},
            {clsid_key + "\\VERSION", "", version},
            {progid, "", progid},
            {progid + "\\CLSID", "", clsid},
            {interface_key, "", convert::ToUtf8(info->InterfaceName())},
            // Automation marshalling goes through the type library.
            {interface_key + "\\ProxyStubClsid32", "", "{00020424-0000-0000-C000-000000000046}"},
            {interface_key + "\\TypeLib", "", library},
            {interface_key + "\\TypeLib", "Version", version},
        };
        values.insert(values.end(), entries.begin(), entries.end());
    }
    return values;
}

std::vector<TVXREGVALUE> AsRegistryValues(const std::vector<Value> &values) {
    std::vector<TVXREGVALUE> result;
    for (const Value &v : values) result.push_back({v.key.c_str(), v.name.c_str(), v.value.c_str()});
    return result;
}

} // namespace
} // namespace tvx

using namespace tvx;

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return ModuleCounts::objects.load() == 0 && ModuleCounts::locks.load() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const CLSID &clsid, const IID &iid,
                                                                              void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // The library's resources are published before any of its classes is
    // served, so that the resource loader finds them from then on.
    if (void (*publish)() = ThisLibrary().publish_resources) publish();
    for (ClassFactory &factory : Factories()) {
        if (factory.info->clsid == clsid) return ClassFactory::QueryInterface(&factory, iid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::string path = LibraryPath();
    if (path.empty()) return E_UNEXPECTED;
    auto values = RegistrationValues(path);
    auto entries = AsRegistryValues(values);
    return TvxRegistryWrite(entries.data(), entries.size());
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    auto values = RegistrationValues(LibraryPath());
    auto entries = AsRegistryValues(values);
    return TvxRegistryRemove(entries.data(), entries.size());
}
