// The time-of-day clock and the event-dispatch pass of the client's thread,
// as the host provides them (platform.h).
#ifndef TVX_SERVICES_CLOCK_H
#define TVX_SERVICES_CLOCK_H

namespace tvx {

// Local time of day in seconds since midnight, with its fraction.
double TimeOfDay();
// Lets the calling thread's pending events run once, then returns.
void DispatchEvents();

} // namespace tvx

#endif // TVX_SERVICES_CLOCK_H
