// Outside objects, reached the way a script reaches them: created from a
// programmatic identifier and called by name.
#ifndef TVX_FRAME_LATE_CALL_H
#define TVX_FRAME_LATE_CALL_H

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "frame/types.h"

namespace tvx {

// A new object of the class registered under `progid`; error 429 when there
// is no such class or it cannot create the object.
ComPtr<IDispatch> CreateObjectByProgId(std::u16string_view progid);

// What one call by name came to.
struct NamedCallOutcome {
    // S_OK; the failure of the name's look-up; Invoke's own failure; or, for
    // a failure inside the member, the member's status (the exception
    // record's), with its source and description.
    HRESULT status = S_OK;
    bool name_found = true;
    bool member_failed = false; // Invoke answered DISP_E_EXCEPTION
    std::u16string source, description;
    // The parameter (0-based, first first) that Invoke's argument-error
    // position names, or -1.
    int argument = -1;
};

// Calls member `name` of `object` by name through IDispatch, as any client
// does: the name looked up (case does not matter), `args` in parameter order
// (first parameter first) handed over last first, a put's value named
// DISPID_PROPERTYPUT. A by-ref argument is a VT_BYREF Variant that refers to
// the caller's variable, a left-out one Variant::Missing(). `result` may be
// null. Never throws.
NamedCallOutcome InvokeByName(IDispatch *object, std::u16string_view name, WORD flags,
                              std::span<const VARIANT> args, VARIANT *result) noexcept;

// InvokeByName for a member body: a failure ends the caller. Error 91
// without an object, 438 when the object has no such member, 13, 6, 450 or
// 449 for Invoke's refusals of the arguments; an error the callee raised is
// raised again with its number, description and source; another failure
// status ends the caller as it is.
Variant CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::initializer_list<VARIANT> args);

} // namespace tvx

#endif // TVX_FRAME_LATE_CALL_H
