// The library's identity and its class registry: the seven classes in the
// registry's own order, found by class identifier or programmatic
// identifier.
//
//   registry.h/.cpp   identity, the class list, ThisLibrary() for the frame
//   resources.h/.cpp  the resources published to the runtime: the type
//                     library, interface identifiers, the version record
#ifndef TVX_COMPONENT_REGISTRY_H
#define TVX_COMPONENT_REGISTRY_H

#include <array>

#include "frame/object.h"

namespace tvx {

inline constexpr std::u16string_view kLibraryName = u"Tarvex10";
inline constexpr GUID kLibraryId = {0xddcb89d3, 0xa05b, 0x44c8, {0x8d, 0x3b, 0x61, 0x9f, 0x8d, 0x74, 0x4a, 0x8b}};
inline constexpr WORD kLibraryMajorVersion = 1;
inline constexpr WORD kLibraryMinorVersion = 0;
inline constexpr LCID kLibraryLocale = 0x0409;

// Each class module provides its ClassInfo.
const ClassInfo &DescriptorClass();
const ClassInfo &VfwClass();
const ClassInfo &GeneralClass();
const ClassInfo &AdvancedClass();
const ClassInfo &MoviesClass();
const ClassInfo &MciApiClass();
const ClassInfo &CutVideoClass();

// The classes in the registry's order.
std::array<const ClassInfo *, 7> AllClasses();
const ClassInfo *FindClass(const CLSID &clsid);

} // namespace tvx

#endif // TVX_COMPONENT_REGISTRY_H
