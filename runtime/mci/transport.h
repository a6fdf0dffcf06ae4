// Where a playing device stands: the mode and the position, moving with the
// timeline at the set speed between a start and an end point. Positions are
// milliseconds from the start of the medium, kept as fractions so that
// frame positions convert back exactly; times are timeline seconds.
#ifndef TVX_RUNTIME_MCI_TRANSPORT_H
#define TVX_RUNTIME_MCI_TRANSPORT_H

#include <cstdint>

namespace tvx::mci {

enum class Mode { Stopped, Playing, Paused };

class Transport {
public:
    explicit Transport(double length_ms) : length_(length_ms) {}

    double Length() const { return length_; }
    Mode ModeAt(double now) {
        Advance(now);
        return mode_;
    }
    double PositionAt(double now) {
        Advance(now);
        return position_;
    }

    // Plays from `from` to `to`; with `repeat` it starts again at `from`
    // whenever it reaches `to`. The caller checks that 0 <= from <= to <= length.
    void Play(double now, double from, double to, bool repeat);
    // Playing or stopped becomes paused where it stands.
    void Pause(double now);
    // Paused goes on playing towards the end point it had; false when there
    // is nothing to resume (stopped).
    bool Resume(double now);
    void Stop(double now);
    // Moves to `ms` and stops there.
    void Seek(double now, double ms);
    // 1000 is normal speed; 0 means as fast as possible, which reaches the
    // end point at once.
    void SetSpeed(double now, int64_t speed);
    int64_t Speed() const { return speed_; }

private:
    void Advance(double now);

    double length_;
    double position_ = 0;
    double from_ = 0;
    double to_ = 0;
    bool repeat_ = false;
    Mode mode_ = Mode::Stopped;
    double anchor_ = 0; // when position_ was last brought up to date
    int64_t speed_ = 1000;
};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_TRANSPORT_H
