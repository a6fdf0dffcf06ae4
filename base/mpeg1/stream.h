// What is read of an MPEG stream itself, through a window of a few hundred
// kilobytes, never the whole file: the kind of stream, where its groups of
// pictures lie and at which picture each one starts, its audio streams and
// its time stamps. The command's cut asks it where the user's times fall
// (the cutter class then cuts at those offsets); the mpegvideo device asks
// it how many pictures a file plays, joins of several streams included.
#ifndef TVX_MPEG1_STREAM_H
#define TVX_MPEG1_STREAM_H

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "mpeg1/mpeg1.h"

namespace tvx::mpeg1 {

// A file that cannot be opened or read; the text names it and the system's
// reason.
struct ReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads `size` bytes at `offset` of `fd`, or fewer where the file ends or
// a read fails; the count read. A failure's errno goes to `error` (0: none).
size_t ReadAt(int fd, uint8_t *data, size_t size, uint64_t offset, int *error = nullptr);

// A file read through one window that moves to where it is asked.
class FileWindow {
public:
    // Throws ReadError with the system's reason.
    explicit FileWindow(const std::string &path);
    FileWindow(const FileWindow &) = delete;
    FileWindow &operator=(const FileWindow &) = delete;
    ~FileWindow();

    uint64_t Size() const { return size_; }
    // Up to `n` (at most a quarter of the window) bytes at `off`; fewer at the
    // end of the file. Valid until the next call.
    std::span<const uint8_t> At(uint64_t off, size_t n);
    // The first start code 00 00 01 CODE at or after `from` and before
    // `limit` for which `wanted(CODE)` holds.
    template <typename Wanted>
    std::optional<uint64_t> Find(uint64_t from, uint64_t limit, Wanted wanted);
    // The last start code with code byte `code` that begins before `before`
    // and at or after `limit`.
    std::optional<uint64_t> FindBackward(uint64_t before, uint64_t limit, uint8_t code);
    // Calls visit(offset, header) for each group start code in [from, to),
    // `header` holding its eight bytes (the code and the time code), in one
    // forward pass through a buffer of its own rather than the window: several
    // threads may call it at once, beside the window's user.
    void ForEachGroupHeader(uint64_t from, uint64_t to,
                            const std::function<void(uint64_t, const uint8_t *)> &visit) const;
    // The offsets of the group headers in [from, to) (an input holds at most
    // 2 GiB).
    std::vector<uint32_t> GroupStarts(uint64_t from, uint64_t to) const;

private:
    void Fill(uint64_t off);

    int fd_ = -1;
    uint64_t size_ = 0;
    std::vector<uint8_t> window_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

enum class StreamKind { Mpeg1System, Mpeg1Video, Mpeg2Program, Mpeg2Video, Unknown };

// The stream's first headers: what a cut and a probe need before anything else.
struct StreamHead {
    StreamKind kind = StreamKind::Unknown;
    std::optional<SequenceHeader> sequence;
    double fps = 0;
    std::optional<uint64_t> first_group; // offset of the first group start code
};
StreamHead ReadStreamHead(FileWindow &file);
// "MPEG-1 system stream", "MPEG-2 program stream", ...
const char *KindName(StreamKind kind);

// A group of pictures: where its start code lies and the number of its first
// picture, counted from the stream's first as the stream plays.
struct Group {
    uint64_t offset = 0;
    int64_t picture = 0;
    bool closed = false;
};

// Pictures per group and how many of the groups are closed.
struct GroupShape {
    std::vector<int64_t> lengths;
    int closed = 0;
};

// Where the groups of pictures lie. Their time codes give each group's first
// picture, so a group for a time is found by bisecting the file. Files joined
// end to end (or looped) start their time codes again, and some encoders leave
// them unset: when the time codes do not run on over the file, one forward
// pass over the group headers splits it into runs whose time codes do, and
// counts the pictures where a run ends, so that every picture number is the
// one the stream plays at; the search then bisects within a run.
class GroupMap {
public:
    // Needs a head with a sequence header and a first group.
    GroupMap(FileWindow &file, const StreamHead &head);

    // The first group whose first picture is `picture` or later; nullopt past
    // the last group.
    std::optional<Group> AtOrAfterPicture(int64_t picture);
    // The last group whose first picture is `picture` or earlier.
    Group AtOrBeforePicture(int64_t picture);
    // The first group at or after byte `offset`.
    std::optional<Group> AtOrAfterOffset(uint64_t offset);
    // Every picture of the stream.
    int64_t Pictures() const { return pictures_; }
    // Whether the map passed over every group (and so knows where they lie).
    bool Indexed() const { return !starts_.empty(); }
    // The groups whose start codes lie in [from, to), when indexed; nullopt
    // when the map bisects.
    std::optional<int64_t> GroupsWithin(uint64_t from, uint64_t to) const;
    // How often the time codes start again or jump (0 in a file that is no
    // join).
    size_t Restarts() const { return runs_.size() - 1; }
    // The first group of each run of time codes, in file order: in a join,
    // where each of its streams starts.
    std::vector<Group> RunStarts() const;
    // The first `groups` groups.
    GroupShape Shape(int groups);
    // The pictures at the start of the group at `group` that are shown
    // before its first reference picture (the leading B pictures of an open
    // group): its first coded picture's temporal reference.
    int64_t LeadingPictures(uint64_t group);

private:
    // A stretch of groups whose time codes run on: where it starts, its first
    // group's time code as a picture, and the picture the stream plays there.
    struct Run {
        uint64_t offset = 0;
        int64_t code = 0;
        int64_t picture = 0;
    };

    std::optional<Group> GroupAt(uint64_t offset);
    std::optional<Group> NextGroup(uint64_t from, uint64_t limit);
    int64_t CountPictures(uint64_t from, uint64_t to);
    int64_t CodeAt(const uint8_t *header) const;
    const Run &RunAt(uint64_t offset) const;
    uint64_t RunEnd(const Run &run) const;
    bool TimeCodesRunOn();
    bool SpanAgreesWithTimeStamps(const StreamHead &head);
    bool GroupsRunOn(uint64_t from, uint64_t to);
    void IndexRuns();

    FileWindow &file_;
    int rate_code_;
    double fps_;
    Group first_;
    std::vector<Run> runs_; // in file order; their pictures grow
    std::vector<uint32_t> starts_; // every group, when indexed
    int64_t pictures_ = 0;
};

// ---- for probe --------------------------------------------------------------

struct AudioStream {
    int id = 0; // 0xC0 ...
    std::optional<AudioHeader> header;
};
struct SystemFacts {
    std::vector<AudioStream> audio;
    std::optional<double> first_video_pts, last_video_pts; // seconds
};
// The audio streams in the first packs and the video time stamps at both ends.
SystemFacts ReadSystemFacts(FileWindow &file);


template <typename Wanted>
std::optional<uint64_t> FileWindow::Find(uint64_t from, uint64_t limit, Wanted wanted) {
    limit = limit < size_ ? limit : size_;
    uint64_t p = from;
    while (p + 4 <= limit) {
        if (p < start_ || p + 4 > start_ + filled_) {
            Fill(p);
            if (filled_ < 4) return std::nullopt; // a read error
        }
        const std::span<const uint8_t> b(window_.data(),
                                         static_cast<size_t>(limit - start_ < filled_ ? limit - start_ : filled_));
        size_t i = static_cast<size_t>(p - start_);
        while ((i = FindStartCode(b, i)) != kNoStartCode) {
            if (wanted(b[i + 3])) return start_ + i;
            ++i;
        }
        // Go on where a prefix could still begin with its code byte unread.
        p = start_ + (b.size() >= 3 ? b.size() - 3 : 0);
    }
    return std::nullopt;
}

} // namespace tvx::mpeg1

#endif // TVX_MPEG1_STREAM_H
