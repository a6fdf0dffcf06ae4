#include "mpeg1/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>

namespace tvx::mpeg1 {

namespace {

constexpr size_t kWindow = 1 << 20;
// How far the first headers may lie from the start of the file.
constexpr uint64_t kHeadReach = 8u << 20;
// Below this distance a bisection gives way to walking group by group.
constexpr uint64_t kWalkDistance = 32u << 10;

} // namespace

FileWindow::FileWindow(const std::string &path) : window_(kWindow) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw ReadError("cannot open " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0) throw ReadError("cannot read " + path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw ReadError("cannot open " + path + ": " + std::strerror(EISDIR));
    size_ = static_cast<uint64_t>(info.st_size);
}

FileWindow::~FileWindow() {
    if (fd_ >= 0) ::close(fd_);
}

size_t ReadAt(int fd, uint8_t *data, size_t size, uint64_t offset, int *error) {
    size_t done = 0;
    if (error) *error = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && error) *error = errno;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

void FileWindow::Fill(uint64_t off) {
    start_ = off;
    filled_ = ReadAt(fd_, window_.data(), window_.size(), off);
}

std::span<const uint8_t> FileWindow::At(uint64_t off, size_t n) {
    if (off >= size_) return {};
    if (off < start_ || off + n > start_ + filled_) Fill(off);
    const size_t from = static_cast<size_t>(off - start_);
    return {window_.data() + from, std::min(n, filled_ - from)};
}

std::optional<uint64_t> FileWindow::FindBackward(uint64_t before, uint64_t limit, uint8_t code) {
    before = std::min(before, size_ >= 3 ? size_ - 3 : 0);
    while (before > limit) {
        const uint64_t low = std::max(limit, before > kWindow - 4 ? before - (kWindow - 4) : 0);
        Fill(low);
        const uint8_t *b = window_.data();
        for (uint64_t at = std::min(before, low + (filled_ >= 4 ? filled_ - 3 : 0)); at > low;) {
            --at;
            const size_t i = static_cast<size_t>(at - low);
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == code) return at;
        }
        before = low;
    }
    return std::nullopt;
}

const char *KindName(StreamKind kind) {
    switch (kind) {
    case StreamKind::Mpeg1System: return "MPEG-1 system stream";
    case StreamKind::Mpeg1Video: return "MPEG-1 video elementary stream";
    case StreamKind::Mpeg2Program: return "MPEG-2 program stream";
    case StreamKind::Mpeg2Video: return "MPEG-2 video";
    case StreamKind::Unknown: break;
    }
    return "no MPEG stream";
}

StreamHead ReadStreamHead(FileWindow &file) {
    StreamHead head;
    const auto first =
        file.Find(0, kHeadReach, [](uint8_t c) { return c == kPackStartCode || c == kSequenceHeaderCode; });
    if (!first) return head;
    if (file.At(*first, 4)[3] == kPackStartCode) {
        const std::span<const uint8_t> pack = file.At(*first, 5);
        if (pack.size() < 5) return head;
        // The later standard's packs begin with the bits 01, this one's with 0010.
        if ((pack[4] & 0xC0) == 0x40) head.kind = StreamKind::Mpeg2Program;
        else if ((pack[4] & 0xF0) == 0x20) head.kind = StreamKind::Mpeg1System;
        if (head.kind != StreamKind::Mpeg1System) return head;
    } else {
        head.kind = StreamKind::Mpeg1Video;
    }
    const auto sequence = file.Find(*first, *first + kHeadReach, [](uint8_t c) { return c == kSequenceHeaderCode; });
    if (!sequence) return head;
    const std::span<const uint8_t> bytes = file.At(*sequence + 4, 8);
    if (bytes.size() < 8) return head;
    head.sequence = DecodeSequenceHeader(bytes.data());
    head.fps = FrameRateOfCode(head.sequence->picture_rate).value_or(0);
    // The later standard's video puts an extension right after the header.
    const auto next = file.Find(*sequence + 4, *sequence + kHeadReach,
                                [](uint8_t c) { return c == 0xB5 || c == kGroupStartCode || c == kPictureStartCode; });
    if (next && file.At(*next, 4)[3] == 0xB5) {
        head.kind = head.kind == StreamKind::Mpeg1Video ? StreamKind::Mpeg2Video : StreamKind::Mpeg2Program;
        return head;
    }
    head.first_group = file.Find(*sequence + 4, *sequence + kHeadReach, [](uint8_t c) { return c == kGroupStartCode; });
    return head;
}

// ---- GroupMap ---------------------------------------------------------------

namespace {

// A step between the time codes of neighbouring groups beyond this many
// pictures is checked by counting the group's pictures.
constexpr int64_t kLongestStep = 300;
// How far from each end of the file every group is checked, and how many
// groups spread over the file between.
constexpr uint64_t kEndReach = 1u << 20;
constexpr int kSamples = 40;

} // namespace

GroupMap::GroupMap(FileWindow &file, const StreamHead &head)
    : file_(file), rate_code_(head.sequence ? head.sequence->picture_rate : 0), fps_(head.fps) {
    first_.offset = head.first_group.value_or(0);
    const std::span<const uint8_t> b = file_.At(first_.offset, 8);
    runs_.push_back(Run{first_.offset, b.size() == 8 ? CodeAt(b.data()) : 0, 0});
    if (b.size() == 8) first_.closed = DecodeTimeCode(b.data() + 4).closed_gop;
    if (TimeCodesRunOn()) {
        const Group last = AtOrBeforePicture(INT64_MAX);
        pictures_ = last.picture + CountPictures(last.offset, file_.Size());
        if (!SpanAgreesWithTimeStamps(head)) IndexRuns();
    } else {
        IndexRuns();
    }
}

int64_t GroupMap::CodeAt(const uint8_t *header) const {
    return TimeCodePicture(DecodeTimeCode(header + 4), rate_code_);
}

const GroupMap::Run &GroupMap::RunAt(uint64_t offset) const {
    const auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                                     [](uint64_t o, const Run &r) { return o < r.offset; });
    return it == runs_.begin() ? runs_.front() : *(it - 1);
}

uint64_t GroupMap::RunEnd(const Run &run) const {
    const size_t next = static_cast<size_t>(&run - runs_.data()) + 1;
    return next < runs_.size() ? runs_[next].offset : file_.Size();
}

std::optional<Group> GroupMap::GroupAt(uint64_t offset) {
    const std::span<const uint8_t> b = file_.At(offset, 8);
    // The time code's marker bit tells a group header from the same four
    // bytes met by chance in other data.
    if (b.size() < 8 || b[3] != kGroupStartCode || (b[5] & 0x08) == 0) return std::nullopt;
    const Run &run = RunAt(offset);
    return Group{offset, run.picture + CodeAt(b.data()) - run.code, DecodeTimeCode(b.data() + 4).closed_gop};
}

std::optional<Group> GroupMap::NextGroup(uint64_t from, uint64_t limit) {
    while (const auto at = file_.Find(from, limit, [](uint8_t c) { return c == kGroupStartCode; })) {
        if (const std::optional<Group> group = GroupAt(*at)) return group;
        from = *at + 1;
    }
    return std::nullopt;
}

int64_t GroupMap::CountPictures(uint64_t from, uint64_t to) {
    int64_t count = 0;
    for (auto at = file_.Find(from, to, [](uint8_t c) { return c == kPictureStartCode; }); at;
         at = file_.Find(*at + 4, to, [](uint8_t c) { return c == kPictureStartCode; }))
        ++count;
    return count;
}

// Every group from `from` to `to` follows the one before by a plausible step
// of its time code.
bool GroupMap::GroupsRunOn(uint64_t from, uint64_t to) {
    std::optional<Group> previous;
    for (std::optional<Group> group = NextGroup(from, to); group; group = NextGroup(group->offset + 4, to)) {
        if (previous && (group->picture <= previous->picture || group->picture - previous->picture > kLongestStep))
            return false;
        previous = group;
    }
    return true;
}

// Cheap checks that the time codes run on over the whole file, so that
// bisecting them finds a time: every group near both ends follows its
// neighbour, and groups spread over the file come in the order of their time
// codes.
bool GroupMap::TimeCodesRunOn() {
    std::optional<uint64_t> before = file_.Size();
    std::optional<Group> last;
    while (!last && (before = file_.FindBackward(*before, first_.offset + 1, kGroupStartCode))) last = GroupAt(*before);
    if (!last) return true; // one group: nothing to disagree
    if (last->picture <= 0) return false;
    if (!GroupsRunOn(first_.offset, first_.offset + kEndReach) ||
        !GroupsRunOn(std::max(first_.offset, last->offset > kEndReach ? last->offset - kEndReach : 0), file_.Size()))
        return false;
    // Spread by the golden ratio rather than evenly, so that no loop count
    // puts every sample at a growing place in its copy.
    std::vector<uint64_t> places;
    for (int k = 1; k <= kSamples; ++k) {
        const double fraction = std::fmod(k * 0.6180339887498949, 1.0);
        places.push_back(first_.offset + static_cast<uint64_t>(static_cast<double>(last->offset - first_.offset) * fraction));
    }
    std::sort(places.begin(), places.end());
    int64_t previous = 0;
    for (const uint64_t at : places) {
        const std::optional<Group> group = NextGroup(at, last->offset + 1);
        if (!group) continue;
        if (group->picture < previous || group->picture > last->picture) return false;
        previous = group->picture;
    }
    return true;
}

// In a system stream, the pictures the time codes count fill the span of the
// video time stamps: a file looped by a stream copy keeps its time stamps
// running while its time codes start again at every copy.
bool GroupMap::SpanAgreesWithTimeStamps(const StreamHead &head) {
    if (head.kind != StreamKind::Mpeg1System || fps_ <= 0) return true;
    const SystemFacts facts = ReadSystemFacts(file_);
    if (!facts.first_video_pts || !facts.last_video_pts) return true;
    const double stamped = *facts.last_video_pts - *facts.first_video_pts + 1 / fps_;
    const double coded = static_cast<double>(pictures_) / fps_;
    return std::fabs(stamped - coded) <= std::max(1.0, coded / 50);
}

// One pass over the group headers: a group whose time code does not follow
// its neighbour's by the pictures counted between them starts a new run.
void GroupMap::IndexRuns() {
    runs_.resize(1);
    starts_.assign(1, static_cast<uint32_t>(first_.offset));
    Group previous = first_;
    int64_t previous_code = runs_.front().code;
    file_.ForEachGroupHeader(first_.offset + 4, file_.Size(), [&](uint64_t at, const uint8_t *header) {
        if ((header[5] & 0x08) == 0) return;
        const int64_t code = CodeAt(header);
        int64_t step = code - previous_code;
        if (step <= 0 || step > kLongestStep) {
            const int64_t counted = CountPictures(previous.offset, at);
            if (counted != step) runs_.push_back(Run{at, code, previous.picture + counted});
            step = counted;
        }
        previous = Group{at, previous.picture + step, false};
        starts_.push_back(static_cast<uint32_t>(at));
        previous_code = code;
    });
    pictures_ = previous.picture + CountPictures(previous.offset, file_.Size());
}

std::vector<Group> GroupMap::RunStarts() const {
    std::vector<Group> starts;
    for (const Run &run : runs_) starts.push_back(Group{run.offset, run.picture, false});
    return starts;
}

std::optional<int64_t> GroupMap::GroupsWithin(uint64_t from, uint64_t to) const {
    if (starts_.empty()) return std::nullopt;
    return std::lower_bound(starts_.begin(), starts_.end(), to) - std::lower_bound(starts_.begin(), starts_.end(), from);
}

std::optional<Group> GroupMap::AtOrAfterPicture(int64_t picture) {
    if (picture <= 0) return first_;
    // The run that plays `picture`: the last one to start at or before it.
    const auto it = std::upper_bound(runs_.begin(), runs_.end(), picture,
                                     [](int64_t p, const Run &r) { return p < r.picture; });
    const Run &run = *(it - 1);
    const uint64_t run_end = RunEnd(run);
    // `low` is a group before the one sought; the one sought lies before the
    // first group after `high`.
    std::optional<Group> low = GroupAt(run.offset);
    if (!low) return std::nullopt;
    if (low->picture >= picture) return low;
    uint64_t high = run_end;
    while (high - low->offset > kWalkDistance) {
        const uint64_t middle = low->offset + (high - low->offset) / 2;
        const std::optional<Group> group = NextGroup(middle, high);
        if (!group || group->picture >= picture) high = middle;
        else low = group;
    }
    for (std::optional<Group> group = low; (group = NextGroup(group->offset + 4, run_end));)
        if (group->picture >= picture) return group;
    // Past the run's last group: the next run's first.
    return run_end < file_.Size() ? GroupAt(run_end) : std::nullopt;
}

Group GroupMap::AtOrBeforePicture(int64_t picture) {
    const std::optional<Group> after = AtOrAfterPicture(picture);
    if (after && after->picture == picture) return *after;
    uint64_t before = after ? after->offset : file_.Size();
    while (const auto at = file_.FindBackward(before, first_.offset + 1, kGroupStartCode)) {
        if (const std::optional<Group> group = GroupAt(*at)) return *group;
        before = *at;
    }
    return first_;
}

std::optional<Group> GroupMap::AtOrAfterOffset(uint64_t offset) {
    return NextGroup(std::max(offset, first_.offset), file_.Size());
}

int64_t GroupMap::LeadingPictures(uint64_t group) {
    const auto picture = file_.Find(group + 4, group + kEndReach, [](uint8_t c) {
        return c == kPictureStartCode || c == kGroupStartCode || c == kSequenceHeaderCode;
    });
    if (!picture) return 0;
    const std::span<const uint8_t> b = file_.At(*picture, 6);
    if (b.size() < 6 || b[3] != kPictureStartCode) return 0;
    return (int64_t{b[4]} << 2) | (b[5] >> 6);
}

void FileWindow::ForEachGroupHeader(uint64_t from, uint64_t to,
                                    const std::function<void(uint64_t, const uint8_t *)> &visit) const {
    // A buffer of its own, small enough to stay in the processor's cache
    // while it is searched. (Mapping the file instead costs more than the
    // copy on virtual machines, where changing page tables is slow.)
    constexpr size_t kSpan = 256u << 10;
    std::vector<uint8_t> buffer(kSpan);
    to = std::min(to, size_);
    for (uint64_t at = from; at + 8 <= to;) {
        int error = 0;
        const size_t filled = ReadAt(fd_, buffer.data(), kSpan, at, &error);
        if (error) throw ReadError(std::string("cannot read the input: ") + std::strerror(error));
        if (filled < 8) break;
        // The group code byte is rare in coded data: looking for it alone and
        // then at the prefix before it is several times faster than a search
        // for every start code. Headers that begin here and end inside the
        // buffer are visited; the next read starts at the first that does not.
        const uint64_t last = std::min(to, at + filled - 7);
        const uint8_t *b = buffer.data();
        for (const uint8_t *p = b + 3, *stop = b + (last - at) + 3;
             p < stop && (p = static_cast<const uint8_t *>(std::memchr(p, kGroupStartCode, static_cast<size_t>(stop - p))));
             ++p)
            if (p[-1] == 1 && p[-2] == 0 && p[-3] == 0) visit(at + static_cast<uint64_t>(p - b) - 3, p - 3);
        at = last;
    }
}

std::vector<uint32_t> FileWindow::GroupStarts(uint64_t from, uint64_t to) const {
    std::vector<uint32_t> starts;
    ForEachGroupHeader(from, to, [&](uint64_t at, const uint8_t *header) {
        if (header[5] & 0x08) starts.push_back(static_cast<uint32_t>(at));
    });
    return starts;
}

// ---- for probe --------------------------------------------------------------

namespace {

// Calls visit(code, start, payload, end, pts) for each packet from `from`
// to `limit`, where `payload` follows the packet's header fields and `pts` is
// its presentation time stamp in 90 kHz ticks, or -1.
template <typename Visit>
void WalkPackets(FileWindow &file, uint64_t from, uint64_t limit, Visit visit) {
    uint64_t p = from;
    const auto next_pack = [&](uint64_t at) {
        return file.Find(at, limit, [](uint8_t c) { return c == kPackStartCode; }).value_or(limit);
    };
    while (p + 6 <= limit) {
        const std::span<const uint8_t> b = file.At(p, 40);
        if (b.size() < 6 || b[0] != 0 || b[1] != 0 || b[2] != 1) {
            p = next_pack(p + 1);
            continue;
        }
        const uint8_t code = b[3];
        if (code == kPackStartCode) {
            p += (b[4] & 0xC0) == 0x40 && b.size() > 13 ? 14 + (b[13] & 7) : 12;
        } else if (code == kIsoEndCode) {
            p += 4;
        } else if (code >= kSystemHeaderStartCode) {
            const uint64_t end = p + 6 + ((uint64_t(b[4]) << 8) | b[5]);
            size_t q = 6;
            int64_t pts = -1;
            if (code != kSystemHeaderStartCode && code != kPaddingStream) {
                const PacketFields fields =
                    DecodePacketFields(b.subspan(6, static_cast<size_t>(std::min<uint64_t>(end - p, b.size()) - 6)));
                q += fields.data;
                if (fields.pts) pts = static_cast<int64_t>(*fields.pts);
            }
            visit(code, p + q, end, pts);
            p = end;
        } else {
            p = next_pack(p + 4);
        }
    }
}

} // namespace

SystemFacts ReadSystemFacts(FileWindow &file) {
    SystemFacts facts;
    const auto record = [&](bool head) {
        return [&, head](uint8_t code, uint64_t payload, uint64_t end, int64_t pts) {
            if (IsVideoStream(code) && pts >= 0) {
                const double seconds = static_cast<double>(pts) / kClockRate;
                // Pictures reordered for decoding come with earlier times.
                if (head) facts.first_video_pts = std::min(facts.first_video_pts.value_or(seconds), seconds);
                if (!head) facts.last_video_pts = std::max(facts.last_video_pts.value_or(0), seconds);
            }
            if (!head || !IsAudioStream(code)) return;
            auto stream = std::find_if(facts.audio.begin(), facts.audio.end(),
                                       [&](const AudioStream &s) { return s.id == code; });
            if (stream == facts.audio.end()) stream = facts.audio.insert(facts.audio.end(), AudioStream{code, {}});
            if (stream->header || payload >= end) return;
            const std::span<const uint8_t> bytes = file.At(payload, static_cast<size_t>(std::min<uint64_t>(end - payload, 4096)));
            for (size_t i = 0; i + 4 <= bytes.size() && !stream->header; ++i)
                if (bytes[i] == 0xFF) stream->header = DecodeAudioHeader(&bytes[i]);
        };
    };
    const uint64_t reach = std::min<uint64_t>(file.Size(), kHeadReach / 8);
    if (const auto first = file.Find(0, reach, [](uint8_t c) { return c == kPackStartCode; }))
        WalkPackets(file, *first, reach, record(true));
    const uint64_t tail = file.Size() > kWindow / 2 ? file.Size() - kWindow / 2 : 0;
    if (const auto pack = file.Find(tail, file.Size(), [](uint8_t c) { return c == kPackStartCode; }))
        WalkPackets(file, *pack, file.Size(), record(false));
    std::sort(facts.audio.begin(), facts.audio.end(), [](const AudioStream &a, const AudioStream &b) { return a.id < b.id; });
    return facts;
}

GroupShape GroupMap::Shape(int groups) {
    GroupShape shape;
    Group group = first_;
    shape.closed = group.closed ? 1 : 0;
    while (static_cast<int>(shape.lengths.size()) < groups) {
        const std::optional<Group> next = AtOrAfterOffset(group.offset + 4);
        shape.lengths.push_back((next ? next->picture : pictures_) - group.picture);
        if (!next || static_cast<int>(shape.lengths.size()) == groups) break;
        group = *next;
        if (group.closed) ++shape.closed;
    }
    return shape;
}

} // namespace tvx::mpeg1
