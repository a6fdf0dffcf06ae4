// Test clips made with ffmpeg when the tests start, and what the GStreamer
// engine's capture switch wrote about them. Frame n of a clip is one solid
// colour, numbered in base 6 by its red, green and blue, with a little
// noise so that every picture gets a packet of its own; the left channel
// carries a 440 Hz tone, the right one 1000 Hz.
#ifndef TVX_TESTS_PLAYBACK_CLIPS_H
#define TVX_TESTS_PLAYBACK_CLIPS_H

#include <string>
#include <vector>

namespace tvx::testing {

inline constexpr int kClipFps = 25;
inline constexpr int kClipFrames = 100;
inline constexpr double kLeftTone = 440, kRightTone = 1000;
inline constexpr int kBoxWhite = 235;

struct Rgb {
    int r, g, b;
};
Rgb FrameColour(int frame);
// The frame whose colour is nearest to `seen`.
int FrameOfColour(Rgb seen);

// Makes (once per process) a 4-second clip in `format`: "mpeg1" (MPEG-1
// program stream), "mpeg2" (MPEG-2 program stream) or "h264" (MP4), 160x120
// unless given; returns its path. "mpeg1-flat" and "mpeg2-flat" leave out
// the noise: their pictures are small and most carry no time stamp.
// "mpeg1-boxed" has the frame's colour only in the middle half of the
// picture, framed in white (kBoxWhite), so that its scale can be seen.
std::string Clip(const std::string &format, int width = 160, int height = 120, int frames = kClipFrames);
// A fresh folder for the capture switch, set in the environment.
std::string CaptureInto(const std::string &name);

struct VideoRecord {
    double wall;      // monotonic seconds when the picture reached the sink
    long long stream; // its stream time, nanoseconds
    Rgb colour;       // the centre pixel
};
struct AudioRecord {
    double wall;
    long long frames;
    double rms_left, rms_right;
    int crossings_left, crossings_right;
};
std::vector<VideoRecord> ReadVideo(const std::string &folder);
std::vector<AudioRecord> ReadAudio(const std::string &folder);
double MonotonicSeconds();

} // namespace tvx::testing

#endif // TVX_TESTS_PLAYBACK_CLIPS_H
