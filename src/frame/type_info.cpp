#include "frame/type_info.h"

#include "convert/convert.h"

namespace tvx {

InterfaceDescription::InterfaceDescription(const ClassInfo &info, WORD major_version, WORD minor_version)
    : params_(info.members.size()) {
    members_.reserve(info.members.size());
    for (size_t i = 0; i < info.members.size(); ++i) {
        const MemberInfo &m = info.members[i];
        for (size_t p = 0; p < m.params.size(); ++p) {
            const std::u16string_view name = m.ParamName(p);
            const USHORT flags = PARAMFLAG_FIN | (m.params[p].passing == Passing::ByRef ? PARAMFLAG_FOUT : 0);
            params_[i].push_back({name.empty() ? nullptr : Keep(name), VarTypeOf(m.params[p].type), flags});
        }
        members_.push_back({Keep(m.name), m.dispid, InvokeKindOf(m.kind),
                            static_cast<SHORT>((kStandardEntries + i) * sizeof(void *)), VarTypeOf(m.result),
                            static_cast<USHORT>(params_[i].size()), params_[i].data()});
    }
    info_ = {Keep(info.InterfaceName()),
             info.iid,
             TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                 TYPEFLAG_FDISPATCHABLE,
             major_version,
             minor_version,
             static_cast<USHORT>(members_.size()),
             members_.data()};
}

const char *InterfaceDescription::Keep(std::u16string_view text) {
    return texts_.emplace_back(convert::ToUtf8(text)).c_str();
}

HRESULT CreateClassTypeInfo(const ClassInfo &info, ITypeInfo **type_info) {
    try {
        // The runtime copies the description.
        const InterfaceDescription description(info, 1, 0);
        return TvxCreateTypeInfo(&description.Info(), type_info);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

} // namespace tvx
