// The movie player's private clock-text formatter: a count of milliseconds as
// "m:ss", or "h:m:ss" from one hour up.
#ifndef TVX_MOVIES_CLOCK_TEXT_H
#define TVX_MOVIES_CLOCK_TEXT_H

#include <cstdint>
#include <string>

namespace tvx::movies {

// The text itself. Seconds are rounded (halves to even); hours and minutes
// are floored; minutes are never padded, seconds always have two digits;
// a negative count gives "0:00".
std::u16string ComposeClockText(int32_t milliseconds);

// The formatter as the player calls it: a failure while composing is shown
// in a message box titled " Error" with the failure's description, and the
// text is then empty. `compose` is replaceable so that the handler can be
// exercised.
std::u16string FormatClockText(int32_t milliseconds, std::u16string (*compose)(int32_t) = &ComposeClockText);

} // namespace tvx::movies

#endif // TVX_MOVIES_CLOCK_TEXT_H
