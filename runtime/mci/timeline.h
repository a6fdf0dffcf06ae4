// Time for playback, from the platform clock. The clock gives the time of
// day, which starts again at midnight; the timeline adds up the time between
// readings so that it only moves forward. A reading well below the one
// before (by more than half a day) means that midnight has passed; a small
// step back is the clock being set back (daylight saving time ends, or the
// clock is corrected), during which no time counts as passed, rather than a
// whole day.
#ifndef TVX_RUNTIME_MCI_TIMELINE_H
#define TVX_RUNTIME_MCI_TIMELINE_H

#include <mutex>

namespace tvx::mci {

class Timeline {
public:
    // Seconds since the first reading. Devices read it from several
    // threads at once.
    double Now();

private:
    std::mutex mutex_;
    bool started_ = false;
    double last_ = 0;
    double elapsed_ = 0;
};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_TIMELINE_H
