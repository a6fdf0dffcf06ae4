#include "late.h"

#include <cstdio>
#include <utility>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "error/error.h"
#include "frame/late_call.h"
#include "support.h"
#include "tarvex10/platform.h"

namespace tvx::cli {

std::string Utf8(std::u16string_view text) { return convert::ToUtf8(text); }
std::u16string Utf16(std::string_view text) { return convert::FromUtf8(text); }

namespace {

std::string TakeBstr(BSTR text) { return Utf8(Bstr::Attach(text).View()); }

} // namespace

const MemberDesc *InterfaceDesc::FindCall(std::string_view name) const {
    const MemberDesc *get = nullptr;
    for (const MemberDesc &m : members) {
        if (!ascii::EqualFolded(m.name, name)) continue;
        if (m.kind == INVOKE_FUNC) return &m;
        if (m.kind == INVOKE_PROPERTYGET && !get) get = &m;
    }
    return get;
}

const MemberDesc *InterfaceDesc::FindPut(std::string_view name) const {
    const MemberDesc *putref = nullptr;
    for (const MemberDesc &m : members) {
        if (!ascii::EqualFolded(m.name, name)) continue;
        if (m.kind == INVOKE_PROPERTYPUT) return &m;
        if (m.kind == INVOKE_PROPERTYPUTREF && !putref) putref = &m;
    }
    return putref;
}

std::optional<InterfaceDesc> DescribeInterface(IDispatch *object, std::string *error) {
    ComPtr<ITypeInfo> info;
    HRESULT status = object->GetTypeInfo(0, 0, info.Put());
    if (FAILED(status) || !info) {
        if (error) *error = "the object has no type information (" + StatusText(status) + ")";
        return std::nullopt;
    }
    TYPEATTR *attr = nullptr;
    status = info->GetTypeAttr(&attr);
    if (FAILED(status) || !attr) {
        if (error) *error = "the object's type information has no attributes (" + StatusText(status) + ")";
        return std::nullopt;
    }
    InterfaceDesc desc;
    BSTR name = nullptr;
    if (SUCCEEDED(info->GetDocumentation(-1, &name, nullptr, nullptr, nullptr))) desc.name = TakeBstr(name);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC *f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f)) || !f) continue;
        MemberDesc member;
        member.id = f->memid;
        member.kind = f->invkind;
        member.result = f->elemdescFunc.tdesc.vt;
        std::vector<BSTR> names(static_cast<size_t>(f->cParams) + 1, nullptr);
        UINT count = 0;
        info->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &count);
        // GetNames answers for the member id, which a get and a put share.
        for (UINT n = 0; n < count; ++n) {
            std::string text = TakeBstr(std::exchange(names[n], nullptr));
            if (n == 0) member.name = std::move(text);
            else if (n - 1 < static_cast<UINT>(f->cParams)) {
                member.params.resize(static_cast<size_t>(f->cParams));
                member.params[n - 1].name = std::move(text);
            }
        }
        member.params.resize(static_cast<size_t>(f->cParams));
        for (SHORT p = 0; p < f->cParams; ++p) {
            const ELEMDESC &e = f->lprgelemdescParam[p];
            ParamDesc &param = member.params[static_cast<size_t>(p)];
            param.by_ref = e.tdesc.vt == VT_PTR && e.tdesc.u.lptdesc;
            param.vt = param.by_ref ? e.tdesc.u.lptdesc->vt : e.tdesc.vt;
        }
        info->ReleaseFuncDesc(f);
        desc.members.push_back(std::move(member));
    }
    info->ReleaseTypeAttr(attr);
    return desc;
}

std::string CallOutcome::Text() const {
    const std::string code = StatusText(status);
    if (error.empty() || error.rfind(code, 0) == 0) return error.empty() ? code : error;
    return code + ": " + error;
}

CallOutcome CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::vector<VARIANT *> args,
                       VARIANT *result) {
    // The arguments themselves, so that by-ref ones still refer to the
    // caller's variables.
    std::vector<VARIANT> values;
    for (VARIANT *arg : args) values.push_back(*arg);
    const NamedCallOutcome call = InvokeByName(object, name, flags, values, result);
    CallOutcome outcome{call.status, {}};
    if (!call.name_found) {
        outcome.error = "no member named '" + Utf8(name) + "'";
    } else if (call.member_failed) {
        if (IsControlError(outcome.status))
            outcome.error = "error " + std::to_string(ControlErrorNumber(outcome.status)) + ": ";
        outcome.error += call.description.empty() ? StatusText(outcome.status) : Utf8(call.description);
    } else if (FAILED(outcome.status)) {
        outcome.error = StatusText(outcome.status);
        if ((outcome.status == DISP_E_TYPEMISMATCH || outcome.status == DISP_E_OVERFLOW ||
             outcome.status == DISP_E_PARAMNOTFOUND) &&
            call.argument >= 0)
            outcome.error += " in argument " + std::to_string(call.argument + 1);
    }
    return outcome;
}

CallOutcome GetProperty(IDispatch *object, std::u16string_view name, Variant *value) {
    return CallByName(object, name, DISPATCH_PROPERTYGET, {}, value->Put());
}

std::string TypeWord(VARTYPE vt) {
    std::string array;
    if (vt & VT_ARRAY) array = " array";
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return "empty" + array;
    case VT_NULL: return "null" + array;
    case VT_I2: return "int16" + array;
    case VT_I4: return "int32" + array;
    case VT_R4: return "single" + array;
    case VT_R8: return "double" + array;
    case VT_CY: return "currency" + array;
    case VT_DATE: return "date" + array;
    case VT_BSTR: return "string" + array;
    case VT_DISPATCH: return "object" + array;
    case VT_ERROR: return "error" + array;
    case VT_BOOL: return "bool" + array;
    case VT_VARIANT: return "Variant" + array;
    case VT_UNKNOWN: return "unknown" + array;
    case VT_UI1: return "byte" + array;
    case VT_I8: return "int64" + array;
    case VT_VOID: return "-";
    case VT_HRESULT: return "status";
    default: return "type " + std::to_string(vt);
    }
}

std::string KindWord(INVOKEKIND kind) {
    switch (kind) {
    case INVOKE_FUNC: return "method";
    case INVOKE_PROPERTYGET: return "get";
    case INVOKE_PROPERTYPUT: return "put";
    case INVOKE_PROPERTYPUTREF: return "putref";
    }
    return "?";
}

namespace {

// A string shown in quotes, with NULs and control characters visible, so that
// a fixed-length reply stays on one line.
std::string Quoted(std::u16string_view text) {
    std::string out = "\"";
    size_t nuls = 0;
    const auto flush = [&] {
        if (nuls) out += nuls > 1 ? "\\0x" + std::to_string(nuls) : "\\0";
        nuls = 0;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\0') {
            ++nuls;
            continue;
        }
        flush();
        if (c == u'"' || c == u'\\') out += '\\', out += static_cast<char>(c);
        else if (c == u'\n') out += "\\n";
        else if (c == u'\r') out += "\\r";
        else if (c == u'\t') out += "\\t";
        else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
            out += escape;
        } else {
            // A surrogate pair goes out whole.
            const size_t length = (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
            out += Utf8(text.substr(i, length));
            i += length - 1;
        }
    }
    flush();
    return out + "\"";
}

std::string ScalarText(const VARIANT &v) {
    switch (v.vt) {
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_I2: return "int16 " + std::to_string(V_I2(&v));
    case VT_I4: return "int32 " + std::to_string(V_I4(&v));
    case VT_UI1: return "byte " + std::to_string(V_UI1(&v));
    case VT_I8: return "int64 " + std::to_string(V_I8(&v));
    case VT_R4: return "single " + Utf8(convert::FormatSingle(V_R4(&v)));
    case VT_R8: return "double " + Utf8(convert::FormatNumber(V_R8(&v)));
    case VT_BOOL: return std::string("bool ") + (V_BOOL(&v) ? "true" : "false");
    case VT_BSTR: return "string " + Quoted({V_BSTR(&v) ? V_BSTR(&v) : u"", SysStringLen(V_BSTR(&v))});
    case VT_ERROR: return "error " + StatusText(V_ERROR(&v));
    case VT_DISPATCH: return V_DISPATCH(&v) ? "object" : "object Nothing";
    case VT_UNKNOWN: return V_UNKNOWN(&v) ? "unknown" : "unknown Nothing";
    default: {
        Variant text;
        if (SUCCEEDED(VariantChangeType(text.Put(), &v, 0, VT_BSTR))) return TypeWord(v.vt) + " " + Utf8(text.StrView());
        return TypeWord(v.vt);
    }
    }
}

std::string ArrayText(const VARIANT &v) {
    SAFEARRAY *array = V_ARRAY(&v);
    const VARTYPE element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
    if (!array) return TypeWord(v.vt) + " (none)";
    if (SafeArrayGetDim(array) != 1) return TypeWord(v.vt) + " of " + std::to_string(SafeArrayGetDim(array)) + " dimensions";
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    std::string out = TypeWord(v.vt) + " (" + std::to_string(low) + " to " + std::to_string(high) + ") {";
    for (LONG i = low; i <= high; ++i) {
        Variant item;
        if (element == VT_VARIANT) {
            SafeArrayGetElement(array, &i, item.Put());
        } else {
            VARIANT *slot = item.Put();
            slot->vt = element;
            SafeArrayGetElement(array, &i, &slot->u);
        }
        if (i != low) out += ", ";
        std::string text = ScalarText(item);
        // The element type is in the heading already.
        const size_t space = text.find(' ');
        out += element == VT_VARIANT || space == std::string::npos ? text : text.substr(space + 1);
    }
    return out + "}";
}

} // namespace

std::string FormatVariant(const VARIANT &value) {
    if (value.vt & VT_BYREF) {
        if (value.vt == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&value)) return FormatVariant(*V_VARIANTREF(&value));
        Variant copy;
        if (SUCCEEDED(VariantCopyInd(copy.Put(), &value))) return FormatVariant(copy);
        return TypeWord(static_cast<VARTYPE>(value.vt & ~VT_BYREF)) + " by ref";
    }
    if (value.vt & VT_ARRAY) return ArrayText(value);
    return ScalarText(value);
}

std::string StatusText(HRESULT status) {
    struct Known {
        HRESULT status;
        const char *name;
    };
    static const Known kKnown[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG: class not registered"},
        {REGDB_E_READREGDB, "REGDB_E_READREGDB: cannot read the registry"},
        {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB: cannot write the registry"},
        {CO_E_CLASSSTRING, "CO_E_CLASSSTRING: unknown programmatic identifier"},
        {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND: the class's library cannot be loaded"},
        {CO_E_ERRORINDLL, "CO_E_ERRORINDLL: the class's library lacks an entry point"},
        {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
        {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
        {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH: type mismatch"},
        {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
        {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
        {DISP_E_OVERFLOW, "DISP_E_OVERFLOW: overflow"},
        {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT: wrong number of arguments"},
        {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL"},
        {DISP_E_DIVBYZERO, "DISP_E_DIVBYZERO"},
        {RPC_E_WRONG_THREAD, "RPC_E_WRONG_THREAD"},
    };
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
    for (const Known &known : kKnown) {
        if (known.status == status) return std::string(hex) + " (" + known.name + ")";
    }
    return hex;
}

} // namespace tvx::cli
