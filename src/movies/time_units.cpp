// Length and position in milliseconds, frames, whole seconds and clock text.
// The millisecond and frame members switch the device's time format first and
// leave it switched; the seconds and clock-text members build on the
// millisecond members through the object's own interface.
#include "convert/convert.h"
#include "movies/clock_text.h"
#include "movies/movies.h"

namespace tvx {

// The time format command's code is overwritten by the query's; the query
// goes out either way. Note where "wait" stands: on the query for the
// millisecond position, on the format command for the frame position.
int32_t Movies::getLengthInFrames() {
    PlainCommand(u"set movie time format frames");
    BufferedQuery(u"status movie length");
    return ReplyNumber();
}

int32_t Movies::getLengthInMS() {
    PlainCommand(u"set movie time format ms");
    BufferedQuery(u"status movie length");
    return ReplyNumber();
}

int32_t Movies::getPositionInMS() {
    PlainCommand(u"set movie time format ms");
    BufferedQuery(u"status movie position wait");
    return ReplyNumber();
}

int32_t Movies::getPositionInFrames() {
    PlainCommand(u"set movie time format frames wait");
    BufferedQuery(u"status movie position");
    return ReplyNumber();
}

// Whole seconds truncate toward zero, unlike the clock text, which rounds.
int32_t Movies::getLengthInSec() { return convert::IntDivide(CallMember<&Movies::getLengthInMS>(*this), 1000); }

int32_t Movies::getPositionInSec() { return convert::IntDivide(CallMember<&Movies::getPositionInMS>(*this), 1000); }

std::u16string Movies::getFormatLength() { return movies::FormatClockText(CallMember<&Movies::getLengthInMS>(*this)); }

std::u16string Movies::getFormatPosition() {
    return movies::FormatClockText(CallMember<&Movies::getPositionInMS>(*this));
}

} // namespace tvx
