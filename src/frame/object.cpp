#include "frame/object.h"

#include <algorithm>

#include "ascii/ascii.h"
#include "error/error.h"

namespace tvx {

namespace {

// Member names are short; a longer name matches none of them.
constexpr size_t kLongestName = 64;

// The ISupportErrorInfo entries of every object: they lead back to the
// object that holds the small interface.
struct SupportErrorInfoVtable {
    struct Holder {
        const void *const *vtable;
        ObjectBase *owner;
    };
    static ObjectBase *Owner(void *self) { return static_cast<Holder *>(self)->owner; }
    static HRESULT QueryInterface(void *self, const IID &iid, void **ppv) {
        return Owner(self)->QueryInterface(iid, ppv);
    }
    static ULONG AddRef(void *self) { return Owner(self)->AddRef(); }
    static ULONG Release(void *self) { return Owner(self)->Release(); }
    static HRESULT InterfaceSupportsErrorInfo(void *self, const IID &iid) {
        return iid == Owner(self)->Class().iid ? S_OK : S_FALSE;
    }
    static const void *const *Table() {
        static const void *const table[] = {
            reinterpret_cast<const void *>(&QueryInterface), reinterpret_cast<const void *>(&AddRef),
            reinterpret_cast<const void *>(&Release), reinterpret_cast<const void *>(&InterfaceSupportsErrorInfo)};
        return table;
    }
};

} // namespace

std::u16string_view MemberInfo::ParamName(size_t index) const {
    std::u16string_view rest = param_names;
    for (; index > 0 && !rest.empty(); --index) {
        const size_t comma = rest.find(u',');
        rest = comma == rest.npos ? std::u16string_view() : rest.substr(comma + 1);
    }
    return rest.substr(0, rest.find(u','));
}

ClassInfo::ClassInfo(std::u16string_view name, std::u16string_view progid, const CLSID &clsid, const IID &iid,
                     std::span<const MemberInfo> members, ObjectBase *(*create)(), void (*destroy)(ObjectBase *),
                     bool application_object)
    : name(name), progid(progid), clsid(clsid), iid(iid), members(members), create(create), destroy(destroy),
      application_object(application_object) {
    vtable_ = {
        reinterpret_cast<const void *>(&ObjectVtable::QueryInterface),
        reinterpret_cast<const void *>(&ObjectVtable::AddRef),
        reinterpret_cast<const void *>(&ObjectVtable::Release),
        reinterpret_cast<const void *>(&ObjectVtable::GetTypeInfoCount),
        reinterpret_cast<const void *>(&ObjectVtable::GetTypeInfo),
        reinterpret_cast<const void *>(&ObjectVtable::GetIDsOfNames),
        reinterpret_cast<const void *>(&ObjectVtable::Invoke),
    };
    for (int i = 0; i < static_cast<int>(members.size()); ++i) {
        vtable_.push_back(reinterpret_cast<const void *>(members[i].early));
        by_dispid_.emplace_back(members[i].dispid, i);
        by_name_.emplace_back(ascii::LowerCase(members[i].name), members[i].dispid);
    }
    std::stable_sort(by_dispid_.begin(), by_dispid_.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    // A get and its put share one name and one dispatch identifier.
    std::stable_sort(by_name_.begin(), by_name_.end());
    by_name_.erase(std::unique(by_name_.begin(), by_name_.end()), by_name_.end());
}

int ClassInfo::FindByDispid(DISPID dispid, WORD flags) const {
    auto it = std::lower_bound(by_dispid_.begin(), by_dispid_.end(), dispid,
                               [](const auto &entry, DISPID id) { return entry.first < id; });
    for (; it != by_dispid_.end() && it->first == dispid; ++it) {
        if (flags & InvokeKindOf(members[it->second].kind)) return it->second;
    }
    return -1;
}

DISPID ClassInfo::FindByName(std::u16string_view wanted) const {
    if (wanted.size() > kLongestName) return DISPID_UNKNOWN;
    // ASCII case folding is enough: every member name is ASCII, and a name
    // with other characters matches none of them.
    char16_t buffer[kLongestName];
    for (size_t i = 0; i < wanted.size(); ++i) buffer[i] = ascii::Lower(wanted[i]);
    const std::u16string_view folded(buffer, wanted.size());
    auto it = std::lower_bound(by_name_.begin(), by_name_.end(), folded,
                               [](const auto &entry, std::u16string_view n) { return entry.first < n; });
    return it != by_name_.end() && it->first == folded ? it->second : DISPID_UNKNOWN;
}

int ClassInfo::FirstRow(DISPID dispid) const {
    auto it = std::lower_bound(by_dispid_.begin(), by_dispid_.end(), dispid,
                               [](const auto &entry, DISPID id) { return entry.first < id; });
    return it != by_dispid_.end() && it->first == dispid ? it->second : -1;
}

ObjectBase::ObjectBase(const ClassInfo &info)
    : vtable_(info.Vtable()), support_error_info_{SupportErrorInfoVtable::Table(), this},
      owner_(std::this_thread::get_id()), class_(&info) {
    ++ModuleCounts::objects;
}

ObjectBase::~ObjectBase() { --ModuleCounts::objects; }

ULONG ObjectBase::Release() {
    ULONG left = --references_;
    if (left == 0) class_->destroy(this);
    return left;
}

HRESULT ObjectBase::QueryInterface(const IID &iid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == class_->iid) {
        *ppv = this;
    } else if (iid == IID_ISupportErrorInfo) {
        *ppv = &support_error_info_;
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

} // namespace tvx
