#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "mpeg1/mpeg1.h"
#include "mpeg1/stream.h"

namespace tvx::mci {
namespace {

using namespace tvx::mpeg1;
using Bytes = std::span<const uint8_t>;

constexpr size_t kNone = kNoStartCode;

size_t FindPack(Bytes b, size_t from) {
    for (size_t p = FindStartCode(b, from); p != kNone; p = FindStartCode(b, p + 3))
        if (b[p + 3] == kPackStartCode) return p;
    return kNone;
}

// What the system layer of one window holds for the first video stream.
struct SystemLayer {
    std::vector<uint8_t> video; // packet payloads, in order
    std::optional<uint64_t> min_pts, max_pts;
    std::optional<uint32_t> mux_rate; // 50 bytes per second
    bool mpeg2 = false;
};

void AddTimeStamp(SystemLayer &layer, uint64_t pts) {
    if (!layer.min_pts || pts < *layer.min_pts) layer.min_pts = pts;
    if (!layer.max_pts || pts > *layer.max_pts) layer.max_pts = pts;
}

// Walks packs and packets from `start`. A window may begin or end in the
// middle of a packet, and a damaged stream may lose step: then the walk
// picks up at the next pack.
void Demultiplex(Bytes b, size_t start, int &video_id, SystemLayer &layer) {
    const size_t n = b.size();
    size_t p = start;
    while (p != kNone && p + 4 <= n) {
        if (b[p] != 0 || b[p + 1] != 0 || b[p + 2] != 1) {
            p = FindPack(b, p + 1);
            continue;
        }
        const uint8_t code = b[p + 3];
        if (code == kPackStartCode) {
            if (p + 12 > n) break;
            if ((b[p + 4] & 0xF0) != 0x20) {
                // Packs of the later standard start with the bits 01.
                if ((b[p + 4] & 0xC0) == 0x40) layer.mpeg2 = true;
                p = FindPack(b, p + 4);
                continue;
            }
            if (!layer.mux_rate) layer.mux_rate = DecodeMuxRate(&b[p + 9]);
            p += 12;
        } else if (code == kIsoEndCode) {
            p += 4;
        } else if (IsPacket(code) || code == kSystemHeaderStartCode) {
            if (p + 6 > n) break;
            const size_t length = (size_t(b[p + 4]) << 8) | b[p + 5];
            const size_t body = p + 6;
            const size_t end = std::min(body + length, n);
            if (IsVideoStream(code) && (video_id < 0 || code == video_id)) {
                video_id = code;
                const PacketFields fields = DecodePacketFields(b.subspan(body, end - body));
                if (fields.pts) AddTimeStamp(layer, *fields.pts);
                if (fields.mpeg2) layer.mpeg2 = true;
                const size_t q = body + fields.data;
                if (q < end) layer.video.insert(layer.video.end(), b.begin() + q, b.begin() + end);
            }
            p = body + length;
        } else {
            p = FindPack(b, p + 4);
        }
    }
}

// What the video layer of one window holds.
struct VideoLayer {
    std::optional<SequenceHeader> sequence;
    bool mpeg2 = false; // a sequence extension follows a sequence header
    std::optional<TimeCode> first_gop, last_gop;
    int64_t groups = 0;
    int64_t pictures = 0;
    int64_t pictures_after_last_gop = 0;
};

void ScanVideo(Bytes b, VideoLayer &layer) {
    bool after_sequence = false;
    for (size_t p = FindStartCode(b, 0); p != kNone; p = FindStartCode(b, p + 3)) {
        const uint8_t code = b[p + 3];
        const bool is_sequence = code == kSequenceHeaderCode;
        if (is_sequence) {
            if (!layer.sequence && p + 4 + 8 <= b.size()) layer.sequence = DecodeSequenceHeader(&b[p + 4]);
        } else if (code == 0xB5) {
            if (after_sequence) layer.mpeg2 = true;
        } else if (code == kGroupStartCode) {
            if (p + 8 <= b.size()) {
                const TimeCode tc = DecodeTimeCode(&b[p + 4]);
                if (!layer.first_gop) layer.first_gop = tc;
                layer.last_gop = tc;
                layer.pictures_after_last_gop = 0;
                ++layer.groups;
            }
        } else if (code == kPictureStartCode) {
            ++layer.pictures;
            ++layer.pictures_after_last_gop;
        }
        after_sequence = is_sequence;
    }
}

ProbeResult Invalid() { return ProbeResult{kInvalidFile, {}}; }

// The pictures that the whole file plays, from its group headers, and where
// the streams of a join start. The two
// ends alone cannot tell streams joined end to end (whose time codes and
// time stamps start again at each join) from one stream; the stream reader
// checks the time codes over the file and follows each restart.
struct Played {
    int64_t pictures = 0;
    std::vector<JoinPart> parts;
};

// Where each stream of a join starts: at the pack, shortly before the
// stream's first group, whose clock reference goes back from the one before.
// Time codes that start again elsewhere (damage, an odd encoder) stay in the
// stream that holds them.
std::vector<JoinPart> PartsOf(mpeg1::FileWindow &file, const std::vector<mpeg1::Group> &runs) {
    constexpr int kPacksBack = 64;
    std::vector<JoinPart> parts{JoinPart{0, 0}};
    for (size_t i = 1; i < runs.size(); ++i) {
        std::optional<uint64_t> later;
        uint64_t later_clock = 0, before = runs[i].offset;
        for (int n = 0; n < kPacksBack; ++n) {
            const auto pack = file.FindBackward(before, runs[i - 1].offset, mpeg1::kPackStartCode);
            if (!pack) break;
            const auto bytes = file.At(*pack + 4, 5);
            if (bytes.size() < 5) break;
            const uint64_t clock = mpeg1::DecodeTimeStamp(bytes.data());
            if (later && clock > later_clock) {
                parts.push_back(JoinPart{*later, runs[i].picture});
                break;
            }
            later = pack;
            later_clock = clock;
            before = *pack;
        }
    }
    if (parts.size() == 1) parts.clear();
    return parts;
}

Played PicturesPlayed(const std::string &path, bool system_stream) {
    try {
        mpeg1::FileWindow file(path);
        const mpeg1::StreamHead head = mpeg1::ReadStreamHead(file);
        if (!head.first_group || head.fps <= 0) return {};
        const mpeg1::GroupMap groups(file, head);
        Played played{groups.Pictures(), {}};
        if (system_stream && groups.Restarts() > 0) played.parts = PartsOf(file, groups.RunStarts());
        return played;
    } catch (const mpeg1::ReadError &) {
        return {}; // what the ends told stands
    }
}

} // namespace

ProbeResult ProbeMpeg1(Bytes head, Bytes tail, uint64_t file_size) {
    const size_t first = FindStartCode(head, 0);
    if (first == kNone) return Invalid();
    const uint8_t kind = head[first + 3];
    if (kind != kPackStartCode && kind != kSequenceHeaderCode) return Invalid();

    MediaInfo info;
    info.system_stream = kind == kPackStartCode;
    VideoLayer head_video, tail_video;
    std::optional<uint64_t> first_pts, last_pts;
    std::optional<double> declared_byte_rate;
    if (info.system_stream) {
        int video_id = -1;
        SystemLayer head_layer, tail_layer;
        Demultiplex(head, first, video_id, head_layer);
        if (head_layer.mpeg2 || video_id < 0) return Invalid();
        Demultiplex(tail, FindPack(tail, 0), video_id, tail_layer);
        ScanVideo(head_layer.video, head_video);
        ScanVideo(tail_layer.video, tail_video);
        first_pts = head_layer.min_pts;
        last_pts = tail_layer.max_pts;
        if (head_layer.mux_rate && *head_layer.mux_rate > 0) declared_byte_rate = *head_layer.mux_rate * 50.0;
    } else {
        ScanVideo(head.subspan(first), head_video);
        ScanVideo(tail, tail_video);
    }
    if (!head_video.sequence || head_video.mpeg2) return Invalid();
    const SequenceHeader &sequence = *head_video.sequence;
    const auto fps = FrameRateOfCode(sequence.picture_rate);
    if (!fps || sequence.horizontal_size == 0 || sequence.vertical_size == 0) return Invalid();
    info.width = sequence.horizontal_size;
    info.height = sequence.vertical_size;
    info.rate_code = sequence.picture_rate;
    info.fps = *fps;
    if (!info.system_stream && sequence.bit_rate != 0x3FFFF && sequence.bit_rate != 0)
        declared_byte_rate = sequence.bit_rate * 400.0 / 8.0;

    const bool whole_file_in_head = head.size() >= file_size;
    std::optional<int64_t> by_time_codes, by_time_stamps;
    if (head_video.first_gop && tail_video.last_gop) {
        const int64_t from = TimeCodePicture(*head_video.first_gop, info.rate_code);
        const int64_t to = TimeCodePicture(*tail_video.last_gop, info.rate_code);
        // Equal codes in different groups mean the encoder left them unset.
        if (to > from || (whole_file_in_head && head_video.groups == 1)) {
            const int64_t frames = to - from + tail_video.pictures_after_last_gop;
            if (frames > 0) by_time_codes = frames;
        }
    }
    if (first_pts && last_pts) {
        uint64_t last = *last_pts;
        if (last < *first_pts) last += uint64_t(1) << 33; // the 33-bit clock wrapped
        by_time_stamps = std::llround(static_cast<double>(last - *first_pts) * info.fps / kClockRate) + 1;
    }
    if (by_time_codes && by_time_stamps && std::llabs(*by_time_codes - *by_time_stamps) > std::llround(info.fps))
        by_time_codes.reset();

    if (by_time_codes) {
        info.frames = *by_time_codes;
        info.length_source = LengthSource::TimeCodes;
    } else if (by_time_stamps) {
        info.frames = *by_time_stamps;
        info.length_source = LengthSource::TimeStamps;
    } else {
        info.length_source = LengthSource::ByteRate;
        if (head_video.pictures > 0) {
            // Pictures per byte of the head, over the whole file.
            const double scale = static_cast<double>(file_size) / static_cast<double>(head.size());
            info.frames = whole_file_in_head ? head_video.pictures
                                             : std::llround(static_cast<double>(head_video.pictures) * scale);
        } else if (declared_byte_rate) {
            info.frames = std::llround(static_cast<double>(file_size) / *declared_byte_rate * info.fps);
        }
    }
    if (info.frames <= 0) return Invalid();
    return ProbeResult{kOk, info};
}

ProbeResult ProbeMpeg1File(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ProbeResult{kFileNotFound, {}};
    if (!S_ISREG(st.st_mode)) return Invalid();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ProbeResult{errno == ENOENT ? kFileNotFound : kFileRead, {}};
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    auto read_at = [fd](std::vector<uint8_t> &buffer, uint64_t offset) {
        buffer.resize(mpeg1::ReadAt(fd, buffer.data(), buffer.size(), offset));
        return true;
    };
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kProbeWindow)));
    std::vector<uint8_t> tail;
    read_at(head, 0);
    const bool one_window = size <= kProbeWindow;
    if (!one_window) {
        tail.resize(kProbeWindow);
        read_at(tail, size - kProbeWindow);
    }
    ::close(fd);
    if (head.size() < std::min<uint64_t>(size, kProbeWindow)) return ProbeResult{kFileRead, {}};
    ProbeResult probe = ProbeMpeg1(head, one_window ? Bytes(head) : Bytes(tail), one_window ? head.size() : size);
    if (probe.error == kOk && probe.info.length_source != LengthSource::ByteRate) {
        Played played = PicturesPlayed(path, probe.info.system_stream);
        if (played.pictures > 0) {
            probe.info.frames = played.pictures;
            probe.info.parts = std::move(played.parts);
        }
    }
    return probe;
}

} // namespace tvx::mci
