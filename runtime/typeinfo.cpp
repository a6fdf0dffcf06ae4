// Type information built from a plain description of a dual interface. It
// reports the interface as a dispatch interface: one function description
// per member, with the member's dispatch identifier, kind, parameters
// (by-ref ones as pointers, flagged in and out), result type and the byte
// offset of its slot in the interface's function table.
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"

namespace {

using tvx::operator==;

using tvx::ascii::EqualFolded;

BSTR Alloc(const std::u16string &text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

struct Param {
    std::u16string name;
    VARTYPE vt;
    USHORT flags;
};

struct Member {
    std::u16string name;
    DISPID dispid;
    INVOKEKIND kind;
    SHORT vtable_offset;
    VARTYPE result;
    std::vector<Param> params;
};

// A function description and the storage it points into, freed together.
struct FuncDescBlock {
    FUNCDESC desc;
    std::vector<ELEMDESC> params;
    std::vector<TYPEDESC> pointees;
};

class TypeInfo final : public tvx::ComObject<TypeInfo, ITypeInfo> {
public:
    explicit TypeInfo(const TVXINTERFACEINFO &info)
        : name_(tvx::convert::FromUtf8(info.name ? info.name : "")), iid_(info.iid), type_flags_(info.type_flags),
          major_(info.major_version), minor_(info.minor_version) {
        for (USHORT i = 0; i < info.member_count; ++i) {
            const TVXMEMBERINFO &m = info.members[i];
            Member member{tvx::convert::FromUtf8(m.name ? m.name : ""), m.dispid, m.kind, m.vtable_offset, m.result, {}};
            for (USHORT p = 0; p < m.param_count; ++p) {
                const TVXPARAMINFO &param = m.params[p];
                member.params.push_back(
                    {tvx::convert::FromUtf8(param.name ? param.name : ""), param.vt, param.flags});
            }
            members_.push_back(std::move(member));
        }
    }

    HRESULT GetTypeAttr(TYPEATTR **attr) override {
        if (!attr) return E_POINTER;
        auto *result = new (std::nothrow) TYPEATTR{};
        if (!result) return E_OUTOFMEMORY;
        result->guid = iid_;
        result->lcid = 0;
        result->memidConstructor = -1;
        result->memidDestructor = -1;
        result->typekind = TKIND_DISPATCH;
        result->cFuncs = static_cast<WORD>(members_.size());
        result->cImplTypes = 1;
        result->cbSizeVft = 7 * sizeof(void *);
        result->cbAlignment = alignof(void *);
        result->cbSizeInstance = sizeof(void *);
        result->wTypeFlags = type_flags_;
        result->wMajorVerNum = major_;
        result->wMinorVerNum = minor_;
        *attr = result;
        return S_OK;
    }
    void ReleaseTypeAttr(TYPEATTR *attr) override { delete attr; }

    HRESULT GetFuncDesc(UINT index, FUNCDESC **desc) override {
        if (!desc) return E_POINTER;
        *desc = nullptr;
        if (index >= members_.size()) return TYPE_E_ELEMENTNOTFOUND;
        const Member &m = members_[index];
        auto block = std::make_unique<FuncDescBlock>();
        block->params.resize(m.params.size());
        block->pointees.resize(m.params.size());
        for (size_t i = 0; i < m.params.size(); ++i) {
            ELEMDESC &e = block->params[i];
            e = ELEMDESC{};
            if (m.params[i].flags & PARAMFLAG_FOUT) {
                block->pointees[i].vt = m.params[i].vt;
                e.tdesc.vt = VT_PTR;
                e.tdesc.u.lptdesc = &block->pointees[i];
            } else {
                e.tdesc.vt = m.params[i].vt;
            }
            e.u.paramdesc.wParamFlags = m.params[i].flags;
        }
        FUNCDESC &d = block->desc;
        d = FUNCDESC{};
        d.memid = m.dispid;
        d.lprgelemdescParam = block->params.empty() ? nullptr : block->params.data();
        d.funckind = FUNC_DISPATCH;
        d.invkind = m.kind;
        d.callconv = CC_STDCALL;
        d.cParams = static_cast<SHORT>(m.params.size());
        d.oVft = m.vtable_offset;
        d.elemdescFunc.tdesc.vt = m.result;
        // The description is the block's first field, so the block can be
        // found again from it.
        *desc = &block.release()->desc;
        return S_OK;
    }
    void ReleaseFuncDesc(FUNCDESC *desc) override { delete reinterpret_cast<FuncDescBlock *>(desc); }

    HRESULT GetNames(MEMBERID memid, BSTR *names, UINT max, UINT *count) override {
        if (!names || !count) return E_POINTER;
        *count = 0;
        const Member *m = Find(memid);
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        if (max == 0) return S_OK;
        names[(*count)++] = Alloc(m->name);
        for (const Param &p : m->params) {
            if (*count >= max || p.name.empty()) break;
            names[(*count)++] = Alloc(p.name);
        }
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPOLESTR *names, UINT count, MEMBERID *ids) override {
        if (!names || !ids) return E_POINTER;
        if (count == 0) return E_INVALIDARG;
        const Member *found = nullptr;
        for (const Member &m : members_) {
            if (names[0] && EqualFolded(m.name, names[0])) {
                found = &m;
                break;
            }
        }
        HRESULT status = S_OK;
        ids[0] = found ? found->dispid : DISPID_UNKNOWN;
        if (!found) status = DISP_E_UNKNOWNNAME;
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t p = 0; found && p < found->params.size(); ++p) {
                if (names[i] && EqualFolded(found->params[p].name, names[i])) ids[i] = static_cast<MEMBERID>(p);
            }
            if (ids[i] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
        }
        return status;
    }

    HRESULT GetDocumentation(MEMBERID memid, BSTR *name, BSTR *doc, DWORD *help_context, BSTR *help_file) override {
        std::u16string text;
        if (memid == -1) {
            text = name_;
        } else {
            const Member *m = Find(memid);
            if (!m) return TYPE_E_ELEMENTNOTFOUND;
            text = m->name;
        }
        if (name) *name = Alloc(text);
        if (doc) *doc = nullptr;
        if (help_context) *help_context = 0;
        if (help_file) *help_file = nullptr;
        return S_OK;
    }

    // The rest of the interface describes things that a dispatch interface
    // built from a plain description does not have.
    HRESULT GetTypeComp(ITypeComp **comp) override { return Unsupported(comp); }
    HRESULT GetVarDesc(UINT, void **desc) override { return Missing(desc); }
    HRESULT GetRefTypeOfImplType(UINT, DWORD *ref) override { return Missing(ref); }
    HRESULT GetImplTypeFlags(UINT, INT *flags) override { return Missing(flags); }
    HRESULT Invoke(void *, MEMBERID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override { return E_NOTIMPL; }
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR *, BSTR *, WORD *) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetRefTypeInfo(DWORD, ITypeInfo **info) override { return Missing(info); }
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void **ppv) override { return Unsupported(ppv); }
    HRESULT CreateInstance(IUnknown *, const IID &, void **ppv) override { return Unsupported(ppv); }
    HRESULT GetMops(MEMBERID, BSTR *mops) override { return Unsupported(mops); }
    HRESULT GetContainingTypeLib(ITypeLib **lib, UINT *index) override {
        if (index) *index = 0;
        return Unsupported(lib);
    }
    void ReleaseVarDesc(void *) override {}

private:
    template <class T> static HRESULT Unsupported(T *out) {
        if (out) *out = {};
        return E_NOTIMPL;
    }
    template <class T> static HRESULT Missing(T *out) {
        if (out) *out = {};
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const Member *Find(MEMBERID memid) const {
        for (const Member &m : members_) {
            if (m.dispid == memid) return &m;
        }
        return nullptr;
    }

    std::u16string name_;
    GUID iid_;
    WORD type_flags_;
    WORD major_, minor_;
    std::vector<Member> members_;
};

} // namespace

TVX_PLATFORM_API HRESULT TvxCreateTypeInfo(const TVXINTERFACEINFO *info, ITypeInfo **type_info) {
    if (!type_info) return E_POINTER;
    *type_info = nullptr;
    if (!info || (info->member_count && !info->members)) return E_INVALIDARG;
    try {
        *type_info = new TypeInfo(*info);
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}
