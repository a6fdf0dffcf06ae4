// The runtime's diagnostics channel: why a call failed, when its status
// alone cannot say (a registry refused, a library not loaded). Lines go to
// standard error, whole.
#ifndef TVX_RUNTIME_DIAGNOSTICS_H
#define TVX_RUNTIME_DIAGNOSTICS_H

#include <string_view>

namespace tvx::runtime {

void Diagnose(std::string_view text);

} // namespace tvx::runtime

#endif
