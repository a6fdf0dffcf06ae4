// Time for playback, from the platform clock. The clock gives the time of
// day, which starts again at midnight; the timeline adds up the time between
// readings so that it only moves forward. A reading smaller than the one
// before means that midnight has passed.
#ifndef TVX_RUNTIME_MCI_TIMELINE_H
#define TVX_RUNTIME_MCI_TIMELINE_H

namespace tvx::mci {

class Timeline {
public:
    // Seconds since the first reading.
    double Now();

private:
    bool started_ = false;
    double last_ = 0;
    double elapsed_ = 0;
};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_TIMELINE_H
