// Reads a property by name through IDispatch, as a late-binding client does;
// a lookup or call that fails is a test failure.
#ifndef TVX_TESTS_LATE_PROPERTY_H
#define TVX_TESTS_LATE_PROPERTY_H

#include <gtest/gtest.h>

#include <string>

#include "tarvex10/automation.hpp"

namespace tvx::testing {

inline Variant Property(IDispatch *object, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant value;
    EXPECT_EQ(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr,
                             nullptr),
              S_OK);
    return value;
}

} // namespace tvx::testing

#endif // TVX_TESTS_LATE_PROPERTY_H
