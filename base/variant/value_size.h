// Sizes of the values that Variants refer to and arrays hold, shared by the
// runtime's Variant and array code and the frame's late-bound calls, so that
// all of them agree on every element type.
#ifndef TVX_BASE_VALUE_SIZE_H
#define TVX_BASE_VALUE_SIZE_H

#include <cstddef>

#include "tarvex10/automation.h"

namespace tvx {

// Bytes of one value of `vt` (no VT_BYREF or VT_ARRAY bits); 0 for types that
// are not stored by value (Empty, Null, Decimal, records and unknown codes).
inline size_t ValueSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void *);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

} // namespace tvx

#endif // TVX_BASE_VALUE_SIZE_H
