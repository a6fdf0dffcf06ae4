// The module basKwelCommonA: the two procedures that reach the framework's
// own objects, which live outside this library and are created by
// programmatic identifier at the moment of use.
#ifndef TVX_CLASSES_FRAMEWORK_CALLS_H
#define TVX_CLASSES_FRAMEWORK_CALLS_H

#include <string>

#include "frame/types.h"

namespace tvx {

inline constexpr std::u16string_view kAboutProgId = u"KwBasalt10.clsKwBasalt10A";
inline constexpr std::u16string_view kErrorHandlerProgId = u"KwBasalt10.clsKwelErrorHandlerA";

// Has the framework show the About box for this library. A failing
// statement is reported through ReportFrameworkError_Pro and the next one
// runs; a failure of the report itself ends the procedure. Always Empty.
Variant AppAboutKwel_Pro();

// Hands a failure to the framework's error handler: the eight arguments go
// on as received, the first seven by reference (what the handler stores in
// them is what the caller finds), the eighth by value, left out when the
// caller left it out. Always Empty.
Variant ReportFrameworkError_Pro(ComPtr<IDispatch> &application, ComPtr<IDispatch> &error, std::u16string &text3,
                                 std::u16string &where, int32_t &number5, std::u16string &text6, int32_t &number7,
                                 const Variant &optional8 = Variant::Missing());

} // namespace tvx

#endif // TVX_CLASSES_FRAMEWORK_CALLS_H
