// The time-of-day clock: seconds since local midnight with their fraction.
// A host or a test may put its own clock in place of the system's.
#include <ctime>

#include "clock.h"
#include "hook.h"
#include "tarvex10/platform.h"

namespace {

double SystemTimeOfDay(void *) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    const time_t seconds = now.tv_sec;
    if (!localtime_r(&seconds, &local)) return 0.0;
    // tm_sec may read 60 during a leap second; the day still has 86400 of ours.
    const int second = local.tm_sec < 60 ? local.tm_sec : 59;
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + second + now.tv_nsec / 1e9;
}

struct Clock {
    TVXCLOCKPROC proc;
    void *context;
};

constinit tvx::runtime::Hook<Clock> clock_hook(Clock{SystemTimeOfDay, nullptr});

} // namespace

bool tvx::ClockReplaced() { return clock_hook.Get().proc != SystemTimeOfDay; }

extern "C" {

TVX_PLATFORM_API double TvxTimeOfDay(void) {
    const Clock clock = clock_hook.Get();
    return clock.proc(clock.context);
}

TVX_PLATFORM_API void TvxSetClock(TVXCLOCKPROC clock, void *context) {
    clock_hook.Exchange(clock ? Clock{clock, context} : Clock{SystemTimeOfDay, nullptr});
}

} // extern "C"
