#include "services/clock.h"

#include "tarvex10/platform.h"

namespace tvx {

double TimeOfDay() { return TvxTimeOfDay(); }

void DispatchEvents() { TvxDispatchEvents(); }

} // namespace tvx
