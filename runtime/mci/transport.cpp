#include "transport.h"

#include <cmath>

namespace tvx::mci {

void Transport::Advance(double now) {
    if (mode_ != Mode::Playing) return;
    if (speed_ == 0) {
        position_ = to_;
    } else if (now > anchor_) {
        // Seconds times thousandths of normal speed is milliseconds.
        position_ += (now - anchor_) * static_cast<double>(speed_);
        // A moment read before this one (by a command that a query came
        // between) counts as no time passed, rather than as time to count again.
        anchor_ = now;
    }
    if (position_ < to_) return;
    if (repeat_ && to_ > from_ && speed_ != 0) {
        position_ = from_ + std::fmod(position_ - from_, to_ - from_);
    } else {
        position_ = to_;
        mode_ = Mode::Stopped;
    }
}

void Transport::Play(double now, double from, double to, bool repeat) {
    Advance(now);
    position_ = from;
    from_ = from;
    to_ = to;
    repeat_ = repeat;
    mode_ = Mode::Playing;
    anchor_ = now;
    // A play that starts at its end point is over at once.
    Advance(now);
}

void Transport::Pause(double now) {
    Advance(now);
    if (mode_ == Mode::Stopped) {
        // Resuming from here plays to the end.
        from_ = position_;
        to_ = length_;
        repeat_ = false;
    }
    mode_ = Mode::Paused;
}

bool Transport::Resume(double now) {
    Advance(now);
    if (mode_ == Mode::Stopped) return false;
    if (mode_ == Mode::Paused) {
        mode_ = Mode::Playing;
        anchor_ = now;
        Advance(now);
    }
    return true;
}

void Transport::Stop(double now) {
    Advance(now);
    mode_ = Mode::Stopped;
}

void Transport::Seek(double now, double ms) {
    Advance(now);
    position_ = ms;
    mode_ = Mode::Stopped;
}

void Transport::SetSpeed(double now, int64_t speed) {
    // Time played so far counts at the old speed.
    Advance(now);
    speed_ = speed;
    Advance(now);
}

} // namespace tvx::mci
