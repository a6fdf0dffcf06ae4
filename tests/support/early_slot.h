// Calls an object's early-bound entry by its position in the interface, as a
// client holding only the interface pointer would. Position 1 is the first
// entry after IUnknown's 3 and IDispatch's 4.
#ifndef TVX_TESTS_EARLY_SLOT_H
#define TVX_TESTS_EARLY_SLOT_H

#include "tarvex10/automation.hpp"

namespace tvx::testing {

template <class... A> HRESULT CallSlot(IDispatch *object, int position, A... args) {
    void *const *table = *reinterpret_cast<void *const *const *>(object);
    auto entry = reinterpret_cast<HRESULT (*)(void *, A...)>(table[6 + position]);
    return entry(object, args...);
}

} // namespace tvx::testing

#endif // TVX_TESTS_EARLY_SLOT_H
