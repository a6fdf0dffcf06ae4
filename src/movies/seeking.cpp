// Moving the play position: absolute, back to the start, relative in
// milliseconds, frames or seconds; stepping, speed, and the client-side wait.
//
// All arithmetic is int32 with overflow checks (error 6), and an overflow ends
// the member before its next command. Positions are never clamped: the device
// judges them, and its code lands in Error.
#include "convert/convert.h"
#include "movies/movies.h"
#include "services/clock.h"

namespace tvx {

using convert::CheckedAdd;
using convert::CheckedMul;
using convert::CheckedSub;
using convert::Decimal;

// ---- absolute moves --------------------------------------------------------

// No time format is set here: the device reads the number in whatever unit
// the last time-format command left. The final play or seek does not record
// its code, so Error keeps the last mode query's code.
Variant Movies::setPositionTo(ByRef<int32_t> Second) {
    Second = CheckedMul(Second, 1000); // on overflow the caller's value stays
    if (CallMember<&Movies::isMoviePlaying>(*this) == Bool16::True) {
        UnrecordedCommand(u"play movie from " + Decimal(Second));
    } else if (CallMember<&Movies::isMoviePlaying>(*this) == Bool16::False) {
        UnrecordedCommand(u"seek movie to " + Decimal(Second));
    }
    return {};
}

Variant Movies::restartMovie() {
    PlainCommand(u"seek movie to start");
    CallMember<&Movies::playMovie>(*this);
    return {};
}

// ---- relative moves ------------------------------------------------------------

int32_t Movies::PositionForMove(MoveUnit unit) {
    if (unit == MoveUnit::Frames) {
        PlainCommand(u"set movie time format frames");
        return CallMember<&Movies::getPositionInFrames>(*this);
    }
    PlainCommand(u"set movie time format ms");
    return CallMember<&Movies::getPositionInMS>(*this);
}

// Playing from the target starts playback whatever the mode was before.
void Movies::PlayFrom(int32_t target) { PlainCommand(u"play movie from " + Decimal(target)); }

Variant Movies::rewindByMS(const int32_t &numMS) {
    const int32_t position = PositionForMove(MoveUnit::Milliseconds);
    PlayFrom(CheckedSub(position, numMS));
    return {};
}

Variant Movies::rewindByFrames(const int32_t &numFrames) {
    const int32_t position = PositionForMove(MoveUnit::Frames);
    PlayFrom(CheckedSub(position, numFrames));
    return {};
}

// The product is formed (and checked) before the difference, in a temporary:
// the caller's numSec keeps its value.
Variant Movies::rewindBySeconds(const int32_t &numSec) {
    const int32_t position = PositionForMove(MoveUnit::Milliseconds);
    const int32_t offset = CheckedMul(numSec, 1000);
    PlayFrom(CheckedSub(position, offset));
    return {};
}

Variant Movies::forwardByMS(const int32_t &numMS) {
    const int32_t position = PositionForMove(MoveUnit::Milliseconds);
    PlayFrom(CheckedAdd(position, numMS));
    return {};
}

Variant Movies::forwardByFrames(const int32_t &numFrames) {
    const int32_t position = PositionForMove(MoveUnit::Frames);
    PlayFrom(CheckedAdd(position, numFrames));
    return {};
}

Variant Movies::forwardBySeconds(const int32_t &numSec) {
    const int32_t position = PositionForMove(MoveUnit::Milliseconds);
    const int32_t offset = CheckedMul(numSec, 1000);
    PlayFrom(CheckedAdd(position, offset));
    return {};
}

// ---- stepping and speed ------------------------------------------------------------

Variant Movies::stepFrames(const int32_t &Value) {
    PlainCommand(u"step movie by " + Decimal(Value));
    return {};
}

Variant Movies::setSpeed(const int32_t &Value) {
    PlainCommand(u"set movie speed " + Decimal(Value));
    return {};
}

// ---- the wait --------------------------------------------------------------------------

namespace {

constexpr double kSecondsPerDay = 86400.0;

// The wait in seconds. Anything that converts to a number counts as that
// number (Empty as 0, numeric text in the current locale's notation);
// Null, objects, arrays and other text are a type mismatch (13), a number
// too large for a double an overflow (6).
double WaitSeconds(const Variant &duration) {
    Variant seconds;
    const HRESULT status = VariantChangeType(&seconds, &duration, 0, VT_R8);
    if (SUCCEEDED(status)) return V_R8(&seconds);
    if (status == DISP_E_OVERFLOW) Raise(kOverflow);
    if (status == E_OUTOFMEMORY) Raise(kOutOfMemory);
    Raise(kTypeMismatch);
}

// Seconds on the time-of-day clock since `start`, carried across midnight:
// the clock restarts at 0 there, so a reading more than half a day below the
// previous one means a new day has begun. Smaller steps back (a clock set
// back) are taken as they are.
class ElapsedTime {
public:
    ElapsedTime(int32_t start, double first_reading) : start_(start), previous_(first_reading) {}

    double Read() {
        const double now = TimeOfDay();
        if (now < previous_ - kSecondsPerDay / 2) days_ += 1;
        previous_ = now;
        return now + days_ * kSecondsPerDay - start_;
    }

private:
    int32_t start_;
    double previous_;
    double days_ = 0;
};

} // namespace

// Waits from `duration` - 0.5 to `duration` + 0.5 seconds (the start is
// rounded to a whole second), letting the thread's events run between
// checks. A dispatched event may call into this object, this wait included;
// the wait keeps its own start and only ever reads `duration` once.
void Movies::timeOut(const Variant &duration) {
    const double wait = WaitSeconds(duration);
    const double first = TimeOfDay();
    const int32_t start = convert::RoundToInt32(first);
    ElapsedTime elapsed(start, first);
    while (elapsed.Read() < wait) DispatchEvents();
}

} // namespace tvx
