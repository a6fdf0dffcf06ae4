// Cuts of real files made by real encoders and multiplexers (tests/data):
// the output's byte layout, its structure as a system stream, and, when
// ffmpeg is installed, a decode of its video with the picture count the cut
// spans.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "cutter_fixture.h"

namespace tvx::testing {
namespace {

const char *const kSamples[] = {"system_ffmpeg.mpg", "system_vcd.mpg", "system_mplex.mpg", "elementary_ffmpeg.m1v",
                                "elementary_mpeg2enc.m1v"};
// Start and end in percent of the duration.
const std::pair<LONG, LONG> kRanges[] = {{10, 40}, {0, 100}, {50, 60}, {30, 31}, {90, 100}, {60, 20}};

bool IsCode(const Bytes &b, size_t i, int code = -1) {
    return i + 4 <= b.size() && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (code < 0 || b[i + 3] == code);
}
size_t Find(const Bytes &b, size_t from, uint8_t code) {
    for (size_t i = from; i + 4 <= b.size(); ++i) {
        if (IsCode(b, i, code)) return i;
    }
    return b.size();
}

// Video payload of a system stream (or the elementary stream itself), with
// the input offset of each byte. With `strict`, every structure must start
// where the previous one ended and lie wholly inside the bytes.
struct Video {
    Bytes es;
    std::vector<size_t> at;
    std::string fault;
};
Video Demux(const Bytes &b, bool system, bool strict) {
    Video v;
    if (!system) {
        v.es = b;
        for (size_t i = 0; i < b.size(); ++i) v.at.push_back(i);
        return v;
    }
    size_t i = 0;
    while (i + 4 <= b.size()) {
        if (!IsCode(b, i)) {
            if (b[i] == 0) { // zero bytes may precede any start code
                ++i;
                continue;
            }
            if (strict) return v.fault = "no start code at " + std::to_string(i), v;
            ++i;
            continue;
        }
        const uint8_t code = b[i + 3];
        size_t end = i + 4;
        if (code == 0xBA) end = i + 12;
        else if (code >= 0xBB && i + 6 <= b.size()) end = i + 6 + (b[i + 4] << 8 | b[i + 5]);
        if (end > b.size()) {
            if (strict) return v.fault = "structure at " + std::to_string(i) + " runs past the end", v;
            end = b.size();
        }
        if (code == 0xE0) {
            size_t j = i + 6;
            while (j < end && b[j] == 0xFF) ++j;
            if (j < end && b[j] >> 6 == 1) j += 2;
            j += j < end && b[j] >> 4 == 2 ? 5 : j < end && b[j] >> 4 == 3 ? 10 : 1;
            for (; j < end; ++j) v.es.push_back(b[j]), v.at.push_back(j);
        }
        i = end;
    }
    if (strict && std::any_of(b.begin() + static_cast<long>(std::min(i, b.size())), b.end(), [](uint8_t x) { return x != 0; })) {
        v.fault = "trailing bytes";
    }
    return v;
}

// Pictures whose start code lies in input [G, Z), less the B pictures that
// follow the first I picture of an open first GOP (they lack a reference).
int ExpectedPictures(const Video &v, size_t G, size_t Z) {
    int pictures = 0, leading = 0;
    bool open = false, seen_gop = false, after_first = true;
    for (size_t k = 0; k + 6 < v.es.size(); ++k) {
        if (v.at[k] < G || v.at[k] >= Z || !IsCode(v.es, k)) continue;
        if (v.es[k + 3] == 0xB8) {
            if (!seen_gop) open = !(v.es[k + 7] & 0x40);
            seen_gop = true;
        } else if (v.es[k + 3] == 0x00) {
            const int type = (v.es[k + 5] >> 3) & 7;
            if (pictures > 0 && after_first) {
                if (type == 3) ++leading;
                else after_first = false;
            }
            ++pictures;
        }
    }
    return pictures - (open ? leading : 0);
}

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") == 0; }

std::string Shell(const std::string &command) {
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    char chunk[512];
    while (pipe && fgets(chunk, sizeof chunk, pipe.get())) output += chunk;
    return output;
}

class RealData : public CutterTest {
protected:
    struct Outcome {
        std::string path;
        bool system;
        size_t G, Z;
        Video input;
    };
    // Cuts every sample over every range and checks the layout of each.
    std::vector<Outcome> CutAll() {
        std::vector<Outcome> outcomes;
        for (const char *sample : kSamples) {
            const std::string in = std::string(TVX_SOURCE_DIR) + "/tests/data/" + sample;
            const Bytes file = ReadFile(in);
            const bool system = std::string(sample).find("system") == 0;
            for (const auto &[from, to] : kRanges) {
                SCOPED_TRACE(std::string(sample) + " " + std::to_string(from) + ".." + std::to_string(to));
                const std::string out = Path(std::string(sample) + std::to_string(from) + "-" + std::to_string(to));
                messages_.clear();
                EXPECT_EQ(CutVideo(in, out, from, to, 100), S_OK);
                EXPECT_EQ(messages_, std::vector<std::string>{"Cutting finished"});
                const Bytes cut = ReadFile(out);
                const size_t M = static_cast<size_t>(Long(&_clsKwVidoCutVideoA::get_MinimumCut));
                const size_t G = Find(file, static_cast<size_t>(Long(&_clsKwVidoCutVideoA::get_startO)), 0xB8);
                const size_t Z = std::max(G, Find(file, static_cast<size_t>(Long(&_clsKwVidoCutVideoA::get_stopO)), 0xB8));
                EXPECT_TRUE(Slice(cut, 0, M) == Slice(file, 0, M)) << "the head";
                if (!system) {
                    EXPECT_EQ(M, Find(file, 0, 0xB8)) << "the head ends at the first GOP";
                    EXPECT_TRUE(cut == Slice(file, 0, M) + Slice(file, G, Z)) << "head, then the GOP range";
                } else if (G == file.size()) {
                    EXPECT_TRUE(cut == Slice(file, 0, M)) << "no GOP after the start: the head alone";
                } else {
                    const size_t S = Find(file, 0, 0xB3), E = Find(file, S, 0xB8);
                    const Video parsed = Demux(cut, true, true);
                    EXPECT_EQ(parsed.fault, "") << "every pack and packet lies wholly in the output";
                    EXPECT_TRUE(IsCode(cut, M, 0xBA) && IsCode(cut, M + 12, 0xE0)) << "pack header, then packet";
                    const Video video = Demux(Slice(cut, M, cut.size()), true, false);
                    EXPECT_TRUE(Slice(video.es, 0, E - S) == Slice(file, S, E)) << "the sequence header re-inserted";
                    if (Z > G) {
                        EXPECT_TRUE(IsCode(video.es, E - S, 0xB8)) << "the GOP right after it";
                    }
                }
                outcomes.push_back({out, system, G, Z, Demux(file, system, false)});
            }
        }
        return outcomes;
    }
};

// Catches: cuts of real multiplexers' streams that are structurally broken
// (stray bytes before the first packet, packets claiming bytes the output
// lacks), a head or GOP range other than the input's.
TEST_F(RealData, CutsHaveTheLayout) { CutAll(); }

// Catches: outputs that players reject or decode with errors, or whose
// picture count is not that of the GOPs the cut spans.
TEST_F(RealData, FfmpegDecodesEveryCut) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    for (const Outcome &o : CutAll()) {
        if (o.Z <= o.G) continue; // nothing but headers to decode
        SCOPED_TRACE(o.path);
        const std::string errors =
            Shell("ffmpeg -nostdin -hide_banner -v error -i '" + o.path + "' -map 0:v -f null - 2>&1 | grep -v '^\\[mp2 @'");
        EXPECT_EQ(errors, "");
        const std::string count = Shell("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                      "stream=nb_read_frames -of csv=p=0 '" + o.path + "' 2>/dev/null");
        EXPECT_EQ(std::atoi(count.c_str()), ExpectedPictures(o.input, o.G, o.Z));
    }
}

} // namespace
} // namespace tvx::testing
