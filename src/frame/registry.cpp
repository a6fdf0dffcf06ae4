#include "frame/registry.h"

namespace tvx {

std::array<const ClassInfo *, 7> AllClasses() {
    return {&DescriptorClass(), &VfwClass(),    &GeneralClass(), &AdvancedClass(),
            &MoviesClass(),     &MciApiClass(), &CutVideoClass()};
}

const ClassInfo *FindClass(const CLSID &clsid) {
    for (const ClassInfo *info : AllClasses()) {
        if (info->clsid == clsid) return info;
    }
    return nullptr;
}

} // namespace tvx
