#include "movies/clock_text.h"

#include <cmath>

#include "convert/convert.h"
#include "frame/member.h"
#include "services/message_box.h"

namespace tvx::movies {

using convert::Decimal;

std::u16string ComposeClockText(int32_t milliseconds) {
    const int32_t seconds = convert::RoundToInt32(milliseconds / 1000.0);
    const int16_t hours = convert::RoundToInt16(std::floor(seconds / 3600.0));
    const int32_t rest = seconds % 3600; // the sign of `seconds`
    const int16_t minutes = convert::RoundToInt16(std::floor(rest / 60.0));
    const auto secs = static_cast<int16_t>(rest % 60);

    std::u16string text;
    if (hours >= 1) text += Decimal(hours) + u":";
    text += minutes >= 1 ? Decimal(minutes) : u"0";
    text += u":";
    if (secs >= 10) text += Decimal(secs);
    else if (secs >= 1) text += u"0" + Decimal(secs);
    else text += u"00";
    return text;
}

namespace {

// The formatter's handler. A failure of the message box itself is not
// caught again: it ends the member.
void Report(const CaughtFailure &failure) { ShowMessageBox(failure.description, u" Error"); }

} // namespace

std::u16string FormatClockText(int32_t milliseconds, std::u16string (*compose)(int32_t)) {
    try {
        return compose(milliseconds);
    } catch (const RaisedError &) {
        Report(CatchFailure());
    } catch (const FailedStatus &) {
        Report(CatchFailure());
    } catch (const std::bad_alloc &) {
        Report(CatchFailure());
    }
    return {};
}

} // namespace tvx::movies
