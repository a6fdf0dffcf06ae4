// The runtime's binary type-library form: writing a library description into
// it and loading it back (the layout is told in platform.h).
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "resources.h"
#include "tarvex10/platform.h"

namespace {

constexpr char kMagic[4] = {'T', 'V', 'X', 'L'};
constexpr uint16_t kFormat = 1;

class Writer {
public:
    void U16(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Raw(const void *data, size_t size) {
        const auto *p = static_cast<const uint8_t *>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    bool Text(const char *text) {
        const size_t size = text ? std::strlen(text) : 0;
        if (size > 0xFFFF) return false;
        U16(static_cast<uint16_t>(size));
        Raw(text, size);
        return true;
    }
    void Guid(const GUID &g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        Raw(g.Data4, 8);
    }
    const std::vector<uint8_t> &Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool U16(uint16_t &v) {
        if (!Has(2)) return false;
        v = static_cast<uint16_t>(data_[at_] | (data_[at_ + 1] << 8));
        at_ += 2;
        return true;
    }
    bool U32(uint32_t &v) {
        uint16_t low, high;
        if (!U16(low) || !U16(high)) return false;
        v = low | (static_cast<uint32_t>(high) << 16);
        return true;
    }
    bool Raw(void *out, size_t size) {
        if (!Has(size)) return false;
        std::memcpy(out, data_ + at_, size);
        at_ += size;
        return true;
    }
    bool Text(std::string &out) {
        uint16_t size;
        if (!U16(size) || !Has(size)) return false;
        out.assign(reinterpret_cast<const char *>(data_ + at_), size);
        at_ += size;
        return out.find('\0') == std::string::npos;
    }
    bool Guid(GUID &g) {
        uint32_t d1;
        uint16_t d2, d3;
        if (!U32(d1) || !U16(d2) || !U16(d3) || !Raw(g.Data4, 8)) return false;
        g.Data1 = d1;
        g.Data2 = d2;
        g.Data3 = d3;
        return true;
    }
    bool AtEnd() const { return at_ == size_; }

private:
    bool Has(size_t n) const { return n <= size_ - at_; }
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// What a loaded description points into.
struct Storage {
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<std::vector<TVXPARAMINFO>> params;
    std::vector<std::vector<TVXMEMBERINFO>> members;
    std::vector<TVXINTERFACEINFO> interfaces;
    std::vector<TVXCLASSENTRY> classes;

    // A text whose address stays put.
    const char *Keep(std::string text) { return texts.emplace_back(std::make_unique<std::string>(std::move(text)))->c_str(); }
    // The unnamed value of a put has no name.
    const char *KeepOrNull(std::string text) { return text.empty() ? nullptr : Keep(std::move(text)); }
};

// The public description first, so that the block can be found again from
// it; standard layout, so that the address of the one is that of the other.
struct LoadedLibrary {
    TVXTYPELIBINFO info{};
    Storage *storage = new Storage;

    LoadedLibrary() = default;
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;
    ~LoadedLibrary() { delete storage; }
};
static_assert(std::is_standard_layout_v<LoadedLibrary>);

bool ReadLibrary(Reader &in, TVXTYPELIBINFO &info, Storage &lib, HRESULT &failure) {
    char magic[4];
    uint16_t format, reserved, count;
    failure = TYPE_E_INVDATAREAD;
    if (!in.Raw(magic, 4) || std::memcmp(magic, kMagic, 4) != 0 || !in.U16(format)) return false;
    if (format != kFormat) {
        failure = TYPE_E_UNSUPFORMAT;
        return false;
    }
    std::string name;
    if (!in.U16(reserved) || !in.Guid(info.id) || !in.U16(info.major_version) || !in.U16(info.minor_version) ||
        !in.U32(info.locale) || !in.Text(name))
        return false;
    info.name = lib.Keep(std::move(name));

    if (!in.U16(count)) return false;
    lib.params.reserve(64);
    lib.members.resize(count);
    lib.interfaces.resize(count);
    for (uint16_t i = 0; i < count; ++i) {
        TVXINTERFACEINFO &face = lib.interfaces[i];
        uint16_t member_count;
        if (!in.Text(name) || !in.Guid(face.iid) || !in.U16(face.type_flags) || !in.U16(face.major_version) ||
            !in.U16(face.minor_version) || !in.U16(member_count))
            return false;
        face.name = lib.Keep(std::move(name));
        std::vector<TVXMEMBERINFO> &members = lib.members[i];
        members.resize(member_count);
        for (TVXMEMBERINFO &m : members) {
            uint32_t dispid;
            uint16_t kind, offset, result, param_count;
            if (!in.Text(name) || !in.U32(dispid) || !in.U16(kind) || !in.U16(offset) || !in.U16(result) ||
                !in.U16(param_count))
                return false;
            if (kind != INVOKE_FUNC && kind != INVOKE_PROPERTYGET && kind != INVOKE_PROPERTYPUT &&
                kind != INVOKE_PROPERTYPUTREF)
                return false;
            m.name = lib.Keep(std::move(name));
            m.dispid = static_cast<DISPID>(dispid);
            m.kind = static_cast<INVOKEKIND>(kind);
            m.vtable_offset = static_cast<SHORT>(offset);
            m.result = result;
            std::vector<TVXPARAMINFO> params(param_count);
            for (TVXPARAMINFO &p : params) {
                if (!in.Text(name) || !in.U16(p.vt) || !in.U16(p.flags)) return false;
                p.name = lib.KeepOrNull(std::move(name));
            }
            m.param_count = param_count;
            m.params = lib.params.emplace_back(std::move(params)).data();
        }
        face.member_count = member_count;
        face.members = members.data();
    }

    if (!in.U16(count)) return false;
    lib.classes.resize(count);
    for (TVXCLASSENTRY &c : lib.classes) {
        if (!in.Text(name) || !in.Guid(c.clsid) || !in.U16(c.type_flags) || !in.U16(c.default_interface))
            return false;
        if (c.default_interface >= lib.interfaces.size()) return false;
        c.name = lib.Keep(std::move(name));
    }
    if (!in.AtEnd()) return false;
    info.interface_count = static_cast<USHORT>(lib.interfaces.size());
    info.interfaces = lib.interfaces.data();
    info.class_count = static_cast<USHORT>(lib.classes.size());
    info.classes = lib.classes.data();
    return true;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxWriteTypeLib(const TVXTYPELIBINFO *info, BYTE *buffer, size_t capacity, size_t *size) {
    if (!size) return E_POINTER;
    *size = 0;
    if (!info || (info->interface_count && !info->interfaces) || (info->class_count && !info->classes))
        return E_INVALIDARG;
    try {
        Writer out;
        out.Raw(kMagic, 4);
        out.U16(kFormat);
        out.U16(0);
        out.Guid(info->id);
        out.U16(info->major_version);
        out.U16(info->minor_version);
        out.U32(info->locale);
        if (!out.Text(info->name)) return E_INVALIDARG;
        out.U16(info->interface_count);
        for (USHORT i = 0; i < info->interface_count; ++i) {
            const TVXINTERFACEINFO &face = info->interfaces[i];
            if (face.member_count && !face.members) return E_INVALIDARG;
            if (!out.Text(face.name)) return E_INVALIDARG;
            out.Guid(face.iid);
            out.U16(face.type_flags);
            out.U16(face.major_version);
            out.U16(face.minor_version);
            out.U16(face.member_count);
            for (USHORT k = 0; k < face.member_count; ++k) {
                const TVXMEMBERINFO &m = face.members[k];
                if (m.param_count && !m.params) return E_INVALIDARG;
                if (!out.Text(m.name)) return E_INVALIDARG;
                out.U32(static_cast<uint32_t>(m.dispid));
                out.U16(static_cast<uint16_t>(m.kind));
                out.U16(static_cast<uint16_t>(m.vtable_offset));
                out.U16(m.result);
                out.U16(m.param_count);
                for (USHORT p = 0; p < m.param_count; ++p) {
                    if (!out.Text(m.params[p].name)) return E_INVALIDARG;
                    out.U16(m.params[p].vt);
                    out.U16(m.params[p].flags);
                }
            }
        }
        out.U16(info->class_count);
        for (USHORT c = 0; c < info->class_count; ++c) {
            const TVXCLASSENTRY &entry = info->classes[c];
            if (entry.default_interface >= info->interface_count) return E_INVALIDARG;
            if (!out.Text(entry.name)) return E_INVALIDARG;
            out.Guid(entry.clsid);
            out.U16(entry.type_flags);
            out.U16(entry.default_interface);
        }
        *size = out.Bytes().size();
        if (!buffer || capacity < *size) return E_NOT_SUFFICIENT_BUFFER;
        std::memcpy(buffer, out.Bytes().data(), *size);
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

TVX_PLATFORM_API HRESULT TvxLoadTypeLib(const void *data, size_t size, TVXTYPELIBINFO **lib) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    if (!data && size) return E_INVALIDARG;
    try {
        auto loaded = std::make_unique<LoadedLibrary>();
        Reader in(static_cast<const uint8_t *>(data), size);
        HRESULT failure = S_OK;
        if (!ReadLibrary(in, loaded->info, *loaded->storage, failure)) return failure;
        *lib = &loaded.release()->info;
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

TVX_PLATFORM_API void TvxFreeTypeLib(TVXTYPELIBINFO *lib) { delete reinterpret_cast<LoadedLibrary *>(lib); }

TVX_PLATFORM_API HRESULT TvxLoadModuleTypeLib(const char *module_path, TVXTYPELIBINFO **lib) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    if (!module_path) return E_INVALIDARG;
    auto bytes = tvx::runtime::FindResourceBytes(tvx::runtime::CanonicalModulePath(module_path),
                                                 tvx::runtime::ResourceType{"TYPELIB", 0}, 1);
    if (!bytes) return TVX_E_RESOURCENOTFOUND;
    return TvxLoadTypeLib(bytes->data(), bytes->size(), lib);
}

} // extern "C"
