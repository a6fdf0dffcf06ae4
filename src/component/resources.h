// The library's resources and how the runtime's resource loader finds them.
//
// The library has no resource section of its own on this platform, so it
// hands its table to the runtime (TvxRegisterModuleResources) under its own
// file path, once per process: before its first class object is handed out
// (DllGetClassObject) and before any member that reads a resource runs. The
// four exports stay the only ones; nothing runs when the library is loaded.
//
// The table:
//   TYPELIB, id 1              the type library in the runtime's binary form,
//                              written from the member tables on first use
//   _IID_<CLASS NAME>, id 1    per class: 16 as a little-endian int32, then
//                              the interface identifier's 16 bytes
//   standard type 16, id 1     the version record, built at compile time
#ifndef TVX_COMPONENT_RESOURCES_H
#define TVX_COMPONENT_RESOURCES_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frame/library.h"

namespace tvx {

// Publishes the resources of the library the frame is built into; safe to
// call from any thread, any number of times.
void PublishLibraryResources() noexcept;

// The absolute path of the module that holds this code: the library, or the
// program that links the frame directly.
const std::string &ModulePath();

// The version record in the classic binary version-record layout.
std::span<const uint8_t> VersionRecord();

// The type library of `library` in the runtime's binary form.
std::vector<uint8_t> WriteTypeLibrary(const LibraryInfo &library);

// "_IID_" and the class name in capitals.
std::string InterfaceResourceName(const ClassInfo &info);

} // namespace tvx

#endif // TVX_COMPONENT_RESOURCES_H
