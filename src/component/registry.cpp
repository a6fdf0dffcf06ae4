#include "component/registry.h"

#include "component/resources.h"
#include "frame/library.h"

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

const LibraryInfo &ThisLibrary() {
    static const std::array<const ClassInfo *, 7> classes = AllClasses();
    static const LibraryInfo library{kLibraryName, kLibraryId,  kLibraryMajorVersion,       kLibraryMinorVersion,
                                     kLibraryLocale, classes, &PublishLibraryResources};
    return library;
}

} // namespace tvx
