// Writes the public header of the component's classes and interfaces from
// the member tables, so that the early-bound layout that clients compile
// against is the one the component builds its interfaces from.
//
//   gen_interfaces > include/tarvex10/tarvex10.h
#include <cstdio>
#include <string>

#include "component/registry.h"
#include "convert/convert.h"

using namespace tvx;

namespace {

std::string Utf8(std::u16string_view text) { return convert::ToUtf8(text); }

std::string GuidInitializer(const GUID &g) {
    char text[128];
    std::snprintf(text, sizeof text, "0x%08x, 0x%04x, 0x%04x, 0x%02x, 0x%02x, 0x%02x, 0x%02x, 0x%02x, 0x%02x, 0x%02x, 0x%02x",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return text;
}

const char *CType(AutoType type) {
    switch (type) {
    case AutoType::Int32: return "LONG";
    case AutoType::Int16: return "SHORT";
    case AutoType::Byte: return "BYTE";
    case AutoType::Double: return "double";
    case AutoType::Bool16: return "VARIANT_BOOL";
    case AutoType::String: return "BSTR";
    case AutoType::Variant: return "VARIANT";
    case AutoType::Object: return "IDispatch*";
    case AutoType::Picture: return "IDispatch*";
    case AutoType::ResourceKind: return "LONG";
    case AutoType::None: break;
    }
    return "void";
}

// "LONG *name", "IDispatch **name", "BSTR name".
std::string Typed(std::string type, bool pointer, const std::string &name) {
    std::string stars = pointer ? "*" : "";
    while (type.back() == '*') {
        type.pop_back();
        stars += "*";
    }
    return type + " " + stars + name;
}

std::string Declaration(const MemberInfo &m) {
    std::string name = Utf8(m.name);
    switch (m.kind) {
    case MemberKind::Method: break;
    case MemberKind::Get: name = "get_" + name; break;
    case MemberKind::Put: name = "put_" + name; break;
    case MemberKind::PutRef: name = "putref_" + name; break;
    }
    std::string params;
    for (size_t i = 0; i < m.params.size(); ++i) {
        // A put's one parameter is the unnamed value.
        const std::u16string_view name = m.ParamName(i);
        if (!params.empty()) params += ", ";
        params += Typed(CType(m.params[i].type), m.params[i].passing == Passing::ByRef,
                        name.empty() ? "value" : Utf8(name));
    }
    if (m.result != AutoType::None) {
        if (!params.empty()) params += ", ";
        params += Typed(CType(m.result), true, "pRetVal");
    }
    return "    TVX_STDMETHOD(" + name + ")(" + (params.empty() ? "TVX_THIS" : "TVX_THIS_ " + params) + ") TVX_PURE;\n";
}

} // namespace

int main() {
    std::string out;
    out += "/* The Tarvex10 component's classes and interfaces, for C and C++ clients.\n"
           " * Generated from the component's member tables by tools/gen_interfaces;\n"
           " * the build checks that this file is current. */\n"
           "#ifndef TARVEX10_TARVEX10_H\n#define TARVEX10_TARVEX10_H\n\n"
           "#include \"automation.h\"\n\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n";
    out += "/* Type library " + Utf8(kLibraryName) + " " + std::to_string(kLibraryMajorVersion) + "." +
           std::to_string(kLibraryMinorVersion) + " */\n";
    out += "TVX_DEFINE_GUID(LIBID_Tarvex10, " + GuidInitializer(kLibraryId) + ");\n\n";
    for (const ClassInfo *info : AllClasses()) {
        out += "/* " + Utf8(info->progid) + " */\n";
        out += "TVX_DEFINE_GUID(CLSID_" + Utf8(info->name) + ", " + GuidInitializer(info->clsid) + ");\n";
        out += "TVX_DEFINE_GUID(IID_" + Utf8(info->InterfaceName()) + ", " + GuidInitializer(info->iid) + ");\n";
    }
    for (const ClassInfo *info : AllClasses()) {
        const std::string iface = Utf8(info->InterfaceName());
        out += "\n#undef INTERFACE\n#define INTERFACE " + iface + "\n";
        out += "TVX_DECLARE_INTERFACE_(" + iface + ", IDispatch) {\n    TVX_IUNKNOWN_METHODS\n    TVX_IDISPATCH_METHODS\n";
        for (const MemberInfo &m : info->members) out += Declaration(m);
        out += "} TVX_END_INTERFACE(" + iface + ")\n";
    }
    out += "#undef INTERFACE\n\n#ifdef __cplusplus\n} /* extern \"C\" */\n#endif\n\n#endif /* TARVEX10_TARVEX10_H */\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}
