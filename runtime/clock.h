// What the runtime itself asks of the clock hook.
#ifndef TVX_RUNTIME_CLOCK_H
#define TVX_RUNTIME_CLOCK_H

namespace tvx {

// Whether a host or a test has put its own clock in place of the system's.
bool ClockReplaced();

} // namespace tvx

#endif // TVX_RUNTIME_CLOCK_H
