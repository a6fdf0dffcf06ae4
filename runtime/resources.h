// What the runtime's own parts take from the resource store without going
// through the C API: a resource's bytes, and the module path in the form the
// store keys by.
#ifndef TVX_RUNTIME_RESOURCES_H
#define TVX_RUNTIME_RESOURCES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarvex10/platform.h"

namespace tvx::runtime {

// A resource type: a name (empty for a standard type) or a number.
struct ResourceType {
    std::string name;
    WORD id = 0;
};

// Reads "#16" as the number 16 and upper-cases names.
ResourceType MakeResourceType(const char *name, WORD id);

// A copy of the resource's bytes, or nothing.
std::optional<std::vector<uint8_t>> FindResourceBytes(const std::string &module_path, const ResourceType &type,
                                                      WORD id);

// The path with symbolic links resolved, or the path itself when it cannot
// be resolved.
std::string CanonicalModulePath(const char *path);

} // namespace tvx::runtime

#endif // TVX_RUNTIME_RESOURCES_H
