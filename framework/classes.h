// KwBasalt10, the framework that component libraries call for their About
// box and their error reports. It is a component library of its own, built
// on the same frame as Tarvex10 but with its own classes and identity.
//
//   registry.cpp       its identity and class list (ThisLibrary), and a
//                      property read by name shared by both classes
//   about.cpp          clsKwBasalt10A, the About box
//   error_handler.cpp  clsKwelErrorHandlerA, the error reports
#ifndef KWBASALT10_CLASSES_H
#define KWBASALT10_CLASSES_H

#include <string>
#include <string_view>

#include "frame/object.h"

namespace kwbasalt10 {

const tvx::ClassInfo &AboutClass();        // KwBasalt10.clsKwBasalt10A
const tvx::ClassInfo &ErrorHandlerClass(); // KwBasalt10.clsKwelErrorHandlerA

// The text form of property `name` of `object`; "" for no object.
std::u16string PropertyText(IDispatch *object, std::u16string_view name);

} // namespace kwbasalt10

#endif // KWBASALT10_CLASSES_H
