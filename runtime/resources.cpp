// The resource store: each module's resources, copied when it registers
// them, found by module path, type and id; and the loaders for raw data,
// strings and pictures that work on it.
#include "resources.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "ascii/ascii.h"
#include "tarvex10/automation.hpp"

namespace tvx::runtime {
namespace {

struct Resource {
    ResourceType type;
    WORD id;
    std::vector<uint8_t> bytes;
};

struct Store {
    std::mutex mutex;
    std::map<std::string, std::vector<Resource>> modules;
};

// Never destroyed: modules may look up their resources from their own
// destructors while the process exits.
Store &TheStore() {
    static Store *store = new Store;
    return *store;
}

bool SameType(const ResourceType &a, const ResourceType &b) { return a.name == b.name && (!a.name.empty() || a.id == b.id); }

std::optional<std::vector<uint8_t>> Find(const char *module_path, const ResourceType &type, WORD id) {
    if (!module_path) return std::nullopt;
    return FindResourceBytes(CanonicalModulePath(module_path), type, id);
}

} // namespace

ResourceType MakeResourceType(const char *name, WORD id) {
    ResourceType type;
    if (!name) {
        type.id = id;
        return type;
    }
    if (name[0] == '#' && name[1]) {
        unsigned long number = 0;
        const char *p = name + 1;
        for (; *p >= '0' && *p <= '9' && number <= 0xFFFF; ++p) number = number * 10 + static_cast<unsigned long>(*p - '0');
        if (*p == '\0' && number <= 0xFFFF) {
            type.id = static_cast<WORD>(number);
            return type;
        }
    }
    type.name = tvx::ascii::UpperCase(name);
    return type;
}

std::optional<std::vector<uint8_t>> FindResourceBytes(const std::string &module_path, const ResourceType &type,
                                                      WORD id) {
    Store &store = TheStore();
    std::lock_guard lock(store.mutex);
    auto module = store.modules.find(module_path);
    if (module == store.modules.end()) return std::nullopt;
    for (const Resource &r : module->second) {
        if (r.id == id && SameType(r.type, type)) return r.bytes;
    }
    return std::nullopt;
}

std::string CanonicalModulePath(const char *path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? std::string(resolved) : std::string(path);
}

} // namespace tvx::runtime

using namespace tvx::runtime;

namespace {

// A picture object for a bitmap, icon or cursor resource.
HRESULT MakePicture(LONG kind, const std::vector<uint8_t> &bytes, IDispatch **picture) {
    LONG width = 0, height = 0;
    // A bitmap resource starts with its info header: size, width, height.
    if (kind == TVX_PICTURE_BITMAP && bytes.size() >= 12) {
        int32_t w, h;
        std::memcpy(&w, bytes.data() + 4, 4);
        std::memcpy(&h, bytes.data() + 8, 4);
        width = w;
        height = h < 0 ? -h : h;
    }
    TVXPROPERTY properties[4] = {{"Type", {}}, {"Handle", {}}, {"Width", {}}, {"Height", {}}};
    const LONG values[4] = {kind == TVX_PICTURE_BITMAP ? 1 : 3, 0, width, height};
    for (int i = 0; i < 4; ++i) {
        properties[i].value.vt = i == 0 ? VT_I2 : VT_I4;
        if (i == 0) V_I2(&properties[i].value) = static_cast<SHORT>(values[i]);
        else V_I4(&properties[i].value) = values[i];
    }
    return TvxCreatePropertyObject("Picture", properties, 4, picture);
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxRegisterModuleResources(const char *module_path, const TVXRESOURCE *resources,
                                                    size_t count) {
    if (!module_path || !*module_path || (count && !resources)) return E_INVALIDARG;
    try {
        std::vector<Resource> copies;
        for (size_t i = 0; i < count; ++i) {
            const TVXRESOURCE &r = resources[i];
            if (r.size && !r.data) return E_INVALIDARG;
            copies.push_back({MakeResourceType(r.type_name, r.type_id), r.id,
                              std::vector<uint8_t>(r.data, r.data + r.size)});
        }
        const std::string key = CanonicalModulePath(module_path);
        Store &store = TheStore();
        std::lock_guard lock(store.mutex);
        store.modules[key] = std::move(copies);
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

TVX_PLATFORM_API size_t TvxGetModuleFileName(const void *address, char *buffer, size_t capacity) {
    if (buffer && capacity) buffer[0] = '\0';
    Dl_info where{};
    if (!address || !dladdr(address, &where) || !where.dli_fname || !*where.dli_fname) return 0;
    const std::string path = CanonicalModulePath(where.dli_fname);
    if (buffer && capacity) {
        const size_t n = path.size() < capacity ? path.size() : capacity - 1;
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
    }
    return path.size();
}

TVX_PLATFORM_API HRESULT TvxLoadResourceData(const char *module_path, const char *type_name, WORD type_id, WORD id,
                                             SAFEARRAY **bytes) {
    if (!bytes) return E_POINTER;
    *bytes = nullptr;
    auto found = Find(module_path, MakeResourceType(type_name, type_id), id);
    if (!found) return TVX_E_RESOURCENOTFOUND;
    SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(found->size()));
    if (!array) return E_OUTOFMEMORY;
    if (!found->empty()) std::memcpy(array->pvData, found->data(), found->size());
    *bytes = array;
    return S_OK;
}

TVX_PLATFORM_API HRESULT TvxLoadResourceString(const char *module_path, UINT id, BSTR *text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (id > 0xFFFFF) return TVX_E_RESOURCENOTFOUND; // beyond the last table
    auto table = Find(module_path, ResourceType{{}, TVX_RT_STRING}, static_cast<WORD>(id / 16 + 1));
    if (!table) return TVX_E_RESOURCENOTFOUND;
    // Sixteen strings, each a 16-bit character count and the characters.
    size_t offset = 0;
    for (UINT index = 0; index < 16; ++index) {
        if (offset + 2 > table->size()) return TVX_E_RESOURCENOTFOUND;
        uint16_t length;
        std::memcpy(&length, table->data() + offset, 2);
        offset += 2;
        if (offset + length * size_t{2} > table->size()) return TVX_E_RESOURCENOTFOUND;
        if (index == id % 16) {
            if (length == 0) return TVX_E_RESOURCENOTFOUND;
            std::u16string characters(length, u'\0');
            std::memcpy(characters.data(), table->data() + offset, length * size_t{2});
            *text = SysAllocStringLen(characters.data(), length);
            return *text ? S_OK : E_OUTOFMEMORY;
        }
        offset += length * size_t{2};
    }
    return TVX_E_RESOURCENOTFOUND;
}

TVX_PLATFORM_API HRESULT TvxLoadResourcePicture(const char *module_path, UINT id, LONG kind, IDispatch **picture) {
    if (!picture) return E_POINTER;
    *picture = nullptr;
    WORD type;
    switch (kind) {
    case TVX_PICTURE_BITMAP: type = TVX_RT_BITMAP; break;
    case TVX_PICTURE_ICON: type = TVX_RT_GROUP_ICON; break;
    case TVX_PICTURE_CURSOR: type = TVX_RT_GROUP_CURSOR; break;
    default: return TVX_E_RESOURCENOTFOUND;
    }
    if (id > 0xFFFF) return TVX_E_RESOURCENOTFOUND;
    auto found = Find(module_path, ResourceType{{}, type}, static_cast<WORD>(id));
    if (!found) return TVX_E_RESOURCENOTFOUND;
    return MakePicture(kind, *found, picture);
}

} // extern "C"
