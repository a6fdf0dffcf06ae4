#include <array>

#include "classes.h"
#include "frame/late_call.h"
#include "frame/library.h"

namespace tvx {

const LibraryInfo &ThisLibrary() {
    static const std::array<const ClassInfo *, 2> classes = {&kwbasalt10::AboutClass(),
                                                             &kwbasalt10::ErrorHandlerClass()};
    static const LibraryInfo library{u"KwBasalt10",
                                     {0x864548ce, 0x3dd8, 0x48a8, {0xb5, 0xf4, 0xde, 0xe0, 0x18, 0x5b, 0x6b, 0xa5}},
                                     1,
                                     0,
                                     0x0409,
                                     classes,
                                     nullptr};
    return library;
}

} // namespace tvx

namespace kwbasalt10 {

std::u16string PropertyText(IDispatch *object, std::u16string_view name) {
    if (!object) return {};
    tvx::Variant value = tvx::CallByName(object, name, DISPATCH_PROPERTYGET, {});
    tvx::Variant text;
    if (value.vt == VT_EMPTY || FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return {};
    return std::u16string(text.StrView());
}

} // namespace kwbasalt10
