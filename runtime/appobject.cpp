// Property objects (small read-only automation objects), the application
// object that describes a module from its version record, and the
// application-object convention: one implicit instance per thread of a class
// that its type library flags as an application object.
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "resources.h"
#include "tarvex10/automation.hpp"

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using tvx::operator==;
using namespace tvx::runtime;

// Objects that clients hand to us may be written in C.
#define TVX_CALLS_FOREIGN_OBJECTS __attribute__((no_sanitize("vptr")))

using tvx::ascii::EqualFolded;

class PropertyObject final : public tvx::ComObject<PropertyObject, IDispatch> {
public:
    struct Property {
        std::u16string name;
        std::string utf8_name;
        Variant value;
    };

    PropertyObject(std::string type_name, std::vector<Property> properties)
        : type_name_(std::move(type_name)), properties_(std::move(properties)), owner_(std::this_thread::get_id()) {}

    HRESULT GetTypeInfoCount(UINT *count) override {
        if (!count) return E_POINTER;
        *count = 0;
        if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
        *count = 1;
        return S_OK;
    }

    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo **info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
        if (index != 0) return DISP_E_BADINDEX;
        std::vector<TVXMEMBERINFO> members;
        for (size_t i = 0; i < properties_.size(); ++i) {
            members.push_back({properties_[i].utf8_name.c_str(), static_cast<DISPID>(i + 1), INVOKE_PROPERTYGET,
                               static_cast<SHORT>((7 + i) * sizeof(void *)), properties_[i].value.vt, 0, nullptr});
        }
        const std::string name = "_" + type_name_;
        TVXINTERFACEINFO description{name.c_str(), IID_NULL, TYPEFLAG_FDISPATCHABLE, 1, 0,
                                     static_cast<USHORT>(members.size()), members.data()};
        return TvxCreateTypeInfo(&description, info);
    }

    HRESULT GetIDsOfNames(const IID &iid, LPOLESTR *names, UINT count, LCID, DISPID *ids) override {
        if (!names || !ids) return E_POINTER;
        if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
        if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT status = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            // Properties have no parameters, so only the first name can match.
            for (size_t p = 0; i == 0 && names[0] && p < properties_.size(); ++p) {
                if (EqualFolded(properties_[p].name, names[0])) ids[0] = static_cast<DISPID>(p + 1);
            }
            if (ids[i] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
        }
        return status;
    }

    HRESULT Invoke(DISPID id, const IID &iid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                   UINT *) override {
        if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
        if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_POINTER;
        if (id < 1 || static_cast<size_t>(id) > properties_.size() || !(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (!result) return S_OK;
        VariantInit(result);
        return VariantCopy(result, &properties_[static_cast<size_t>(id - 1)].value);
    }

private:
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

    std::string type_name_;
    std::vector<Property> properties_;
    std::thread::id owner_;
};

// ---- the classic binary version-record layout --------------------------------
// Blocks of: length (16 bits, the whole block with its children), value
// length (16 bits; in characters for a text value, in bytes otherwise), type
// (1 text, 0 binary), a NUL-terminated UTF-16 key, padding to 32 bits, the
// value, padding to 32 bits, then the children.

struct Block {
    std::u16string key;
    const uint8_t *value;
    size_t value_size; // bytes
    WORD type;
    std::vector<Block> children;
};

uint16_t Word16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Word32(const uint8_t *p) { return Word16(p) | (static_cast<uint32_t>(Word16(p + 2)) << 16); }
size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

bool ParseBlock(const uint8_t *data, size_t size, Block &block, size_t &consumed) {
    if (size < 6) return false;
    const size_t length = Word16(data);
    const size_t value_length = Word16(data + 2);
    block.type = Word16(data + 4);
    if (length < 6 || length > size) return false;
    size_t offset = 6;
    block.key.clear();
    for (;;) {
        if (offset + 2 > length) return false;
        char16_t c = static_cast<char16_t>(Word16(data + offset));
        offset += 2;
        if (c == 0) break;
        block.key += c;
    }
    offset = Align4(offset);
    block.value_size = block.type == 1 ? value_length * 2 : value_length;
    if (offset + block.value_size > length) block.value_size = offset < length ? length - offset : 0;
    block.value = data + (offset < length ? offset : length);
    offset = Align4(offset + block.value_size);
    while (offset < length) {
        Block child;
        size_t used = 0;
        if (!ParseBlock(data + offset, length - offset, child, used)) return false;
        block.children.push_back(std::move(child));
        offset = Align4(offset + used);
    }
    consumed = length;
    return true;
}

struct VersionRecord {
    uint32_t file_version_ms = 0, file_version_ls = 0;
    std::map<std::string, std::u16string> texts; // of the first string table
};

std::optional<VersionRecord> ParseVersionRecord(const std::vector<uint8_t> &bytes) {
    Block root;
    size_t used = 0;
    if (!ParseBlock(bytes.data(), bytes.size(), root, used) || root.key != u"VS_VERSION_INFO") return std::nullopt;
    VersionRecord record;
    if (root.value_size >= 52 && Word32(root.value) == 0xFEEF04BDu) {
        record.file_version_ms = Word32(root.value + 8);
        record.file_version_ls = Word32(root.value + 12);
    }
    for (const Block &child : root.children) {
        if (child.key != u"StringFileInfo" || child.children.empty()) continue;
        for (const Block &text : child.children.front().children) {
            std::u16string value(text.value_size / 2, u'\0');
            std::memcpy(value.data(), text.value, value.size() * 2);
            while (!value.empty() && value.back() == u'\0') value.pop_back();
            record.texts[tvx::convert::ToUtf8(text.key)] = value;
        }
    }
    return record;
}

// ---- the implicit instances of application-object classes -------------------

struct ImplicitInstances {
    std::vector<std::pair<CLSID, ComPtr<IDispatch>>> objects;
};

ImplicitInstances &ThreadInstances() {
    thread_local ImplicitInstances instances;
    return instances;
}

std::string BracedGuid(const GUID &guid) {
    OLECHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return tvx::convert::ToUtf8(text);
}

// Whether the type library of the class's server flags it as an application
// object.
HRESULT CheckApplicationObjectClass(const CLSID &clsid) {
    char path[4096];
    const std::string key = "CLSID\\" + BracedGuid(clsid) + "\\InprocServer32";
    HRESULT hr = TvxRegistryRead(key.c_str(), "", path, sizeof path);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || !path[0]) return REGDB_E_CLASSNOTREG;
    TVXTYPELIBINFO *lib = nullptr;
    if (FAILED(TvxLoadModuleTypeLib(path, &lib))) return TYPE_E_LIBNOTREGISTERED;
    HRESULT status = TYPE_E_ELEMENTNOTFOUND;
    for (USHORT i = 0; i < lib->class_count; ++i) {
        if (lib->classes[i].clsid == clsid) {
            status = (lib->classes[i].type_flags & TYPEFLAG_FAPPOBJECT) ? S_OK : E_INVALIDARG;
            break;
        }
    }
    TvxFreeTypeLib(lib);
    return status;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxCreatePropertyObject(const char *type_name, const TVXPROPERTY *properties, size_t count,
                                                 IDispatch **object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (count && !properties) return E_INVALIDARG;
    try {
        std::vector<PropertyObject::Property> copies(count);
        for (size_t i = 0; i < count; ++i) {
            if (!properties[i].name) return E_INVALIDARG;
            copies[i].utf8_name = properties[i].name;
            copies[i].name = tvx::convert::FromUtf8(properties[i].name);
            HRESULT hr = VariantCopy(&copies[i].value, &properties[i].value);
            if (FAILED(hr)) return hr;
        }
        *object = new PropertyObject(type_name ? type_name : "Object", std::move(copies));
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

TVX_PLATFORM_API HRESULT TvxCreateAppObject(const char *module_path, IDispatch **app) {
    if (!app) return E_POINTER;
    *app = nullptr;
    if (!module_path || !*module_path) return E_INVALIDARG;
    try {
        const std::string path = CanonicalModulePath(module_path);
        const size_t slash = path.find_last_of('/');
        const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
        const size_t dot = file.find_last_of('.');
        const std::string exe_name = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);

        VersionRecord record;
        if (auto bytes = FindResourceBytes(path, ResourceType{{}, TVX_RT_VERSION}, 1)) {
            if (auto parsed = ParseVersionRecord(*bytes)) record = std::move(*parsed);
        }
        auto text = [&](const char *name) {
            auto it = record.texts.find(name);
            return it == record.texts.end() ? std::u16string() : it->second;
        };
        const std::u16string title = text("InternalName").empty() ? tvx::convert::FromUtf8(exe_name) : text("InternalName");

        std::vector<std::pair<const char *, Variant>> values = {
            {"Major", Variant::I2(static_cast<int16_t>(record.file_version_ms >> 16))},
            {"Minor", Variant::I2(static_cast<int16_t>(record.file_version_ms & 0xFFFF))},
            {"Revision", Variant::I2(static_cast<int16_t>(record.file_version_ls & 0xFFFF))},
            {"EXEName", Variant::Str(tvx::convert::FromUtf8(exe_name))},
            {"Path", Variant::Str(tvx::convert::FromUtf8(folder))},
            {"Title", Variant::Str(title)},
            {"Comments", Variant::Str(text("Comments"))},
            {"CompanyName", Variant::Str(text("CompanyName"))},
            {"FileDescription", Variant::Str(text("FileDescription"))},
            {"LegalCopyright", Variant::Str(text("LegalCopyright"))},
            {"LegalTrademarks", Variant::Str(text("LegalTrademarks"))},
            {"ProductName", Variant::Str(text("ProductName"))},
            {"ThreadID", Variant::I4(static_cast<int32_t>(TvxCurrentThreadId()))},
        };
        std::vector<TVXPROPERTY> properties;
        for (auto &[name, value] : values) properties.push_back({name, value});
        return TvxCreatePropertyObject("App", properties.data(), properties.size(), app);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

TVX_CALLS_FOREIGN_OBJECTS
TVX_PLATFORM_API HRESULT TvxGetApplicationObject(REFCLSID clsid, IDispatch **object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    ImplicitInstances &instances = ThreadInstances();
    for (auto &[id, instance] : instances.objects) {
        if (id == clsid) {
            instance->AddRef();
            *object = instance.Get();
            return S_OK;
        }
    }
    // The factory first: getting it loads the server, which publishes its
    // resources, the type library among them.
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    hr = CheckApplicationObjectClass(clsid);
    if (FAILED(hr)) return hr;
    ComPtr<IDispatch> made;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, made.PutVoid());
    if (FAILED(hr)) return hr;
    try {
        instances.objects.emplace_back(clsid, made);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    *object = made.Detach();
    return S_OK;
}

TVX_PLATFORM_API void TvxReleaseApplicationObjects(void) {
    // Moved out first: releasing an instance may run code that asks for one.
    auto objects = std::move(ThreadInstances().objects);
    ThreadInstances().objects.clear();
    objects.clear();
}

} // extern "C"
