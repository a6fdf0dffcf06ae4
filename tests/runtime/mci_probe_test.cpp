// The mpegvideo device's probe, through the string interface: picture size,
// frame rate and length of the real MPEG-1 files, lengths by time codes,
// time stamps and byte rate on altered copies of them, and the refusal of
// what is not MPEG-1 video.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/mci_client.h"
#include "tarvex10/platform.h"

namespace {

const std::string kData = std::string(TVX_SOURCE_DIR) + "/tests/data/";

using tvx::testing::Answer;
using tvx::testing::Send;

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The frames of a file as an outside decoder counts them, when one is
// installed.
std::optional<long> CountedByDecoder(const std::string &path) {
    const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=nb_read_frames -of csv=p=0 '" + path + "' 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    long frames = -1;
    const int read = std::fscanf(pipe, "%ld", &frames);
    const int status = pclose(pipe);
    if (read != 1 || status != 0 || frames <= 0) return std::nullopt;
    return frames;
}

// Rewrites the time code of every group header: the n-th group gets
// `code(n, old)` as (hours, minutes, seconds, pictures).
struct TimeCode {
    int hours, minutes, seconds, pictures;
};
template <typename Fn>
void RewriteTimeCodes(Bytes &b, Fn code) {
    int n = 0;
    for (size_t p = 0; p + 8 <= b.size(); ++p) {
        if (b[p] != 0 || b[p + 1] != 0 || b[p + 2] != 1 || b[p + 3] != 0xB8) continue;
        uint8_t *t = &b[p + 4];
        const TimeCode old{(t[0] >> 2) & 0x1F, ((t[0] & 3) << 4) | (t[1] >> 4), ((t[1] & 7) << 3) | (t[2] >> 5),
                           ((t[2] & 0x1F) << 1) | (t[3] >> 7)};
        const TimeCode tc = code(n++, old);
        t[0] = static_cast<uint8_t>((t[0] & 0x80) | (tc.hours << 2) | (tc.minutes >> 4));
        t[1] = static_cast<uint8_t>(((tc.minutes & 0xF) << 4) | 0x08 | (tc.seconds >> 3));
        t[2] = static_cast<uint8_t>(((tc.seconds & 7) << 5) | (tc.pictures >> 1));
        t[3] = static_cast<uint8_t>(((tc.pictures & 1) << 7) | (t[3] & 0x7F));
    }
}

void ReplaceStartCodes(Bytes &b, uint8_t from, uint8_t to) {
    for (size_t p = 0; p + 4 <= b.size(); ++p)
        if (b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1 && b[p + 3] == from) b[p + 3] = to;
}

class Probe : public ::testing::Test {
protected:
    Probe() {
        char dir[] = "/tmp/tvx_probe_XXXXXX";
        dir_ = mkdtemp(dir) ? dir : "";
        Send("close all");
    }
    ~Probe() override {
        Send("close all");
        for (const std::string &path : made_) std::remove(path.c_str());
        rmdir(dir_.c_str());
    }
    std::string Write(const std::string &name, const Bytes &bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        made_.push_back(path);
        return path;
    }
    MCIERROR Open(const std::string &path) {
        return Send("open \"" + path + "\" type mpegvideo alias p").code;
    }
    std::string Status(const std::string &item) { return Send("status p " + item).reply; }
    std::string FramesLength() {
        Send("set p time format frames");
        std::string frames = Status("length");
        Send("set p time format ms");
        return frames;
    }

    std::string dir_;
    std::vector<std::string> made_;
};

// Catches: a wrong picture size or rate decoded from the sequence header,
// a length off by the pictures that carry no time stamp, and lengths in
// milliseconds that disagree with the frame count.
TEST_F(Probe, RealFilesGiveSizeRateAndLength) {
    struct Case {
        const char *file;
        const char *source;
        const char *rate;
        const char *frames;
        const char *ms;
    } cases[] = {
        {"system_ffmpeg.mpg", "0 0 320 240", "25000", "150", "6000"},
        {"system_mplex.mpg", "0 0 352 288", "25000", "100", "4000"},
        {"system_vcd.mpg", "0 0 352 288", "25000", "100", "4000"},
        {"elementary_ffmpeg.m1v", "0 0 176 144", "29970", "150", "5005"},
        {"elementary_mpeg2enc.m1v", "0 0 352 288", "25000", "100", "4000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(Open(kData + c.file), 0u);
        EXPECT_EQ(Send("where p source").reply, c.source);
        EXPECT_EQ(Status("nominal frame rate"), c.rate);
        EXPECT_EQ(Status("frame rate"), c.rate);
        EXPECT_EQ(Status("length"), c.ms) << "milliseconds are the default";
        EXPECT_EQ(FramesLength(), c.frames);
        Send("close p");
    }
}

// Catches: frame counts that disagree with what a decoder finds in the
// same files (skipped when no decoder is installed).
TEST_F(Probe, FrameCountsAgreeWithADecoder) {
    bool any = false;
    for (const char *file : {"system_ffmpeg.mpg", "system_mplex.mpg", "system_vcd.mpg", "elementary_ffmpeg.m1v",
                             "elementary_mpeg2enc.m1v"}) {
        SCOPED_TRACE(file);
        const auto counted = CountedByDecoder(kData + file);
        if (!counted) continue;
        any = true;
        ASSERT_EQ(Open(kData + file), 0u);
        EXPECT_EQ(FramesLength(), std::to_string(*counted));
        Send("close p");
    }
    if (!any) GTEST_SKIP() << "no decoder to compare with";
}

// Catches: the first group's time code taken as zero (a stream whose codes
// start at one hour would last an hour longer).
TEST_F(Probe, TimeCodesCountFromTheFirstGroup) {
    for (const char *file : {"system_vcd.mpg", "elementary_mpeg2enc.m1v"}) {
        SCOPED_TRACE(file);
        Bytes bytes = ReadFile(kData + file);
        RewriteTimeCodes(bytes, [](int, TimeCode tc) { return TimeCode{tc.hours + 1, tc.minutes, tc.seconds, tc.pictures}; });
        ASSERT_EQ(Open(Write("late.mpg", bytes)), 0u);
        EXPECT_EQ(FramesLength(), "100");
        Send("close p");
    }
}

// Catches: the tail not read (a long file measured by its head alone) or
// the whole file read (the middle of this one is 64 MB of nothing): the
// length comes from the last group's time code an hour later.
TEST_F(Probe, LongFilesAreMeasuredFromTheirTail) {
    const Bytes head = ReadFile(kData + "elementary_mpeg2enc.m1v");
    Bytes tail = head;
    RewriteTimeCodes(tail, [](int, TimeCode tc) { return TimeCode{tc.hours + 1, tc.minutes, tc.seconds, tc.pictures}; });
    const std::string path = Write("long.m1v", head);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(head.size()) + (64 << 20));
        out.write(reinterpret_cast<const char *>(tail.data()), static_cast<std::streamsize>(tail.size()));
    }
    ASSERT_EQ(Open(path), 0u);
    // 100 pictures of 40 ms, one hour later.
    EXPECT_EQ(Status("length"), std::to_string(3600 * 1000 + 4000));
}

// Catches: time codes trusted when an encoder left them all at zero, and no
// fall-back to the time stamps of a system stream.
TEST_F(Probe, UnsetTimeCodesFallBackToTimeStamps) {
    for (const char *file : {"system_vcd.mpg", "system_mplex.mpg"}) {
        SCOPED_TRACE(file);
        Bytes bytes = ReadFile(kData + file);
        RewriteTimeCodes(bytes, [](int, TimeCode) { return TimeCode{0, 0, 0, 0}; });
        ASSERT_EQ(Open(Write("zero.mpg", bytes)), 0u);
        EXPECT_EQ(FramesLength(), "100");
        Send("close p");
    }
}

// Catches: no length at all for an elementary stream without usable time
// codes (no time stamps, and a variable rate in the header): the pictures
// are counted when the file fits the head, and scaled from the head when not.
TEST_F(Probe, WithoutTimeInformationThePicturesPerByteCount) {
    Bytes small = ReadFile(kData + "elementary_ffmpeg.m1v");
    RewriteTimeCodes(small, [](int, TimeCode) { return TimeCode{0, 0, 0, 0}; });
    ASSERT_EQ(Open(Write("small.m1v", small)), 0u);
    EXPECT_EQ(FramesLength(), "150");
    Send("close p");

    // Backwards codes are as useless as none.
    Bytes big = ReadFile(kData + "elementary_mpeg2enc.m1v");
    RewriteTimeCodes(big, [](int n, TimeCode) { return TimeCode{0, 0, 59 - n, 0}; });
    Bytes four;
    for (int i = 0; i < 4; ++i) four.insert(four.end(), big.begin(), big.end());
    ASSERT_EQ(Open(Write("big.m1v", four)), 0u);
    const long frames = std::stol(FramesLength());
    EXPECT_GT(frames, 400 * 9 / 10);
    EXPECT_LT(frames, 400 * 11 / 10);
}

// Catches: streams joined end to end (cat a b > joined) measured as their
// last copy alone: time codes and time stamps start again at every join,
// and the two ends of the file look like one stream's.
TEST_F(Probe, JoinedStreamsLastAsLongAsAllTheirParts) {
    struct Case {
        const char *name;
        std::vector<const char *> parts;
        const char *frames;
    } cases[] = {
        {"twice.mpg", {"system_ffmpeg.mpg", "system_ffmpeg.mpg"}, "300"},
        {"two.mpg", {"system_vcd.mpg", "system_mplex.mpg", "system_vcd.mpg"}, "300"},
        {"twice.m1v", {"elementary_ffmpeg.m1v", "elementary_ffmpeg.m1v"}, "300"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes joined;
        for (const char *part : c.parts) {
            const Bytes bytes = ReadFile(kData + part);
            joined.insert(joined.end(), bytes.begin(), bytes.end());
        }
        ASSERT_EQ(Open(Write(c.name, joined)), 0u);
        EXPECT_EQ(FramesLength(), c.frames);
        Send("close p");
    }
    // Milliseconds follow the pictures.
    ASSERT_EQ(Open(dir_ + "/twice.mpg"), 0u);
    EXPECT_EQ(Status("length"), "12000");
}

// Catches: files that are not MPEG-1 video opened as if they were, or
// refused with the wrong number.
TEST_F(Probe, WhatIsNotMpeg1VideoIsRefused) {
    Bytes mpeg2_video = ReadFile(kData + "elementary_ffmpeg.m1v");
    // A sequence extension right after the sequence header (at 12 bytes).
    const uint8_t extension[] = {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00};
    mpeg2_video.insert(mpeg2_video.begin() + 12, std::begin(extension), std::end(extension));

    Bytes mpeg2_system = ReadFile(kData + "system_vcd.mpg");
    mpeg2_system[4] = 0x44; // a pack header of the later standard

    Bytes audio_only = ReadFile(kData + "system_vcd.mpg");
    ReplaceStartCodes(audio_only, 0xE0, 0xC1);

    Bytes no_sequence = ReadFile(kData + "elementary_ffmpeg.m1v");
    ReplaceStartCodes(no_sequence, 0xB3, 0xB2);

    Bytes text(4096, 'x');
    struct Case {
        const char *name;
        Bytes bytes;
    } cases[] = {
        {"mpeg2.m2v", mpeg2_video}, {"mpeg2.mpg", mpeg2_system}, {"audio.mpg", audio_only},
        {"noseq.m1v", no_sequence}, {"text.mpg", text},         {"empty.mpg", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Open(Write(c.name, c.bytes)), 296u);
        EXPECT_EQ(Send("status p mode").code, 263u) << "a refused open leaves no device";
    }
    EXPECT_EQ(Open(dir_), 296u) << "a directory";
    EXPECT_EQ(Open(dir_ + "/missing.mpg"), 275u);
}

} // namespace
