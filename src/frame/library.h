// What the generic parts of the frame (the four exports, registration, the
// library's resources) need to know about the component they are built
// into. Each component built on the frame defines ThisLibrary() once, in its
// own registry file, so the same frame code serves more than one library.
#ifndef TVX_FRAME_LIBRARY_H
#define TVX_FRAME_LIBRARY_H

#include <span>
#include <string_view>

#include "frame/object.h"

namespace tvx {

struct LibraryInfo {
    std::u16string_view name; // type library name, e.g. Tarvex10
    GUID id;                  // type library identifier
    WORD major_version;
    WORD minor_version;
    LCID locale;
    std::span<const ClassInfo *const> classes; // in the registry's order
    // Hands the library's resources to the runtime's resource loader; null
    // for a library without resources. Called before the first class object
    // is handed out, so that a client that only creates objects finds them.
    void (*publish_resources)();
};

const LibraryInfo &ThisLibrary();

} // namespace tvx

#endif // TVX_FRAME_LIBRARY_H
