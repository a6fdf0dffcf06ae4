// Late binding for the command: an object's members as its type information
// describes them, calls by name through IDispatch::Invoke, and Variants and
// statuses as text.
#ifndef TVX_TOOLS_TARVEX10_LATE_H
#define TVX_TOOLS_TARVEX10_LATE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tarvex10/automation.hpp"

namespace tvx::cli {

struct ParamDesc {
    std::string name;
    VARTYPE vt = VT_EMPTY; // the type itself, VT_PTR undone
    bool by_ref = false;
};

struct MemberDesc {
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    INVOKEKIND kind = INVOKE_FUNC;
    VARTYPE result = VT_VOID;
    std::vector<ParamDesc> params;
};

struct InterfaceDesc {
    std::string name;
    std::vector<MemberDesc> members;

    // The member a name calls (a method, else a property get) or sets (a put
    // or putref); names match without regard to case.
    const MemberDesc *FindCall(std::string_view name) const;
    const MemberDesc *FindPut(std::string_view name) const;
};

// Reads the interface from the object's type information; nullopt and a
// reason when the object offers none.
std::optional<InterfaceDesc> DescribeInterface(IDispatch *object, std::string *error);

// The outcome of one call: the status the member returned (the real one,
// taken out of DISP_E_EXCEPTION) and, on failure, its description.
struct CallOutcome {
    HRESULT status = S_OK;
    std::string error; // "error 11: Division by zero" and the like

    // "0x800A000B: error 11: Division by zero", or the status alone.
    std::string Text() const;
};

// Calls `name` with `args` in their natural order (the first parameter
// first); `result` may be null. Arguments that are VT_BYREF|VT_VARIANT
// receive what the member writes back.
CallOutcome CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::vector<VARIANT *> args,
                       VARIANT *result);
// A property get by name, for the command's own reads of data members.
CallOutcome GetProperty(IDispatch *object, std::u16string_view name, Variant *value);

// "int16 3", "string \"abc\"", "double 2.5", "bool true", "empty", ...
std::string FormatVariant(const VARIANT &value);
// The word for a type in member lists: "int32", "string", "Variant", ...
std::string TypeWord(VARTYPE vt);
std::string KindWord(INVOKEKIND kind);
// "0x800A000B" and, where known, a name: "0x80020006 (DISP_E_UNKNOWNNAME)".
std::string StatusText(HRESULT status);

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);

} // namespace tvx::cli

#endif // TVX_TOOLS_TARVEX10_LATE_H
