#include "timeline.h"

#include "tarvex10/platform.h"

namespace tvx::mci {

double Timeline::Now() {
    constexpr double kDay = 86400.0;
    std::lock_guard lock(mutex_);
    const double reading = TvxTimeOfDay();
    if (!started_) {
        started_ = true;
    } else if (reading >= last_) {
        elapsed_ += reading - last_;
    } else if (last_ - reading > kDay / 2) {
        elapsed_ += reading + kDay - last_;
    }
    last_ = reading;
    return elapsed_;
}

} // namespace tvx::mci
