// What the mpegvideo device learns from a file when it opens it: picture
// size, frame rate and the number of pictures. It reads a window at the
// head of the file and one at its tail, never the middle, so large files
// open as fast as small ones.
//
// The number of pictures comes from the first of these that the file
// supports:
//   1. GOP time codes: the last group's time code less the first group's,
//      plus the pictures of the last group;
//   2. presentation time stamps of the video stream (system streams): the
//      last less the first, plus one picture;
//   3. the byte rate: the pictures counted in the head, scaled to the file's
//      size (exact when the head holds the whole file), or the rate that the
//      stream declares.
// Time codes come first because a multiplexer may leave the last pictures
// without a time stamp; when both exist and disagree by more than a second,
// the time codes are taken as broken and the time stamps win.
// When the length comes from time codes or time stamps, ProbeMpeg1File
// then counts the pictures with the stream reader of mpeg1/stream.h, which
// checks the time codes over the whole file: in streams joined end to end
// both clocks start again at each join, which the two ends cannot show.
#ifndef TVX_RUNTIME_MCI_PROBE_H
#define TVX_RUNTIME_MCI_PROBE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "errors.h"

namespace tvx::mci {

enum class LengthSource { TimeCodes, TimeStamps, ByteRate };

// One of the system streams of a join: where its bytes start and the
// number of its first picture in the join.
struct JoinPart {
    uint64_t offset = 0;
    int64_t first_frame = 0;
};

struct MediaInfo {
    int width = 0;
    int height = 0;
    int rate_code = 0;
    double fps = 0;      // pictures per second
    int64_t frames = 0;  // pictures in the file
    bool system_stream = false;
    LengthSource length_source = LengthSource::ByteRate;
    // The system streams of a file that joins several end to end (their
    // clocks start again at each); empty for one stream.
    std::vector<JoinPart> parts;
    double DurationMs() const { return static_cast<double>(frames) * 1000.0 / fps; }
};

struct ProbeResult {
    Code error = kOk; // kFileNotFound, kFileRead or kInvalidFile
    MediaInfo info;
};

// How much is read at each end of a file.
inline constexpr size_t kProbeWindow = 256 * 1024;

ProbeResult ProbeMpeg1File(const std::string &path);

// The same from bytes already read: the head of the file, its tail (the
// same bytes again when the file is no longer than the head) and its size.
ProbeResult ProbeMpeg1(std::span<const uint8_t> head, std::span<const uint8_t> tail, uint64_t file_size);

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_PROBE_H
