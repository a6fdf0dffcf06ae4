// Outside objects, reached the way a script reaches them: created from a
// programmatic identifier and called by name.
#ifndef TVX_FRAME_LATE_CALL_H
#define TVX_FRAME_LATE_CALL_H

#include <initializer_list>
#include <string_view>

#include "frame/types.h"

namespace tvx {

// A new object of the class registered under `progid`; error 429 when there
// is no such class or it cannot create the object.
ComPtr<IDispatch> CreateObjectByProgId(std::u16string_view progid);

// Calls member `name` of `object` by name. `args` are in parameter order
// (first parameter first); a by-ref argument is a VT_BYREF Variant that
// refers to the caller's variable, a left-out one Variant::Missing().
// Failures: error 91 without an object, 438 when the object has no such
// member; an error the callee raised is raised again with its number,
// description and source; another failure status ends the caller as it is.
Variant CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::initializer_list<VARIANT> args);

} // namespace tvx

#endif // TVX_FRAME_LATE_CALL_H
