// tarvex10 cut on files made here by ffmpeg and mjpegtools: the kept range held against
// the groups' own time codes and the pictures a decoder finds, the times as
// users write them, every refusal, and outputs that survive failures and
// interrupts.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "mpeg1/mpeg1.h"
#include "run_command.h"

namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string &command) {
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

// Who encodes and multiplexes a made file; ffmpeg makes every source.
enum class Maker { ffmpeg, mjpegtools };

bool HaveMjpegtools() { return std::system("(command -v mpeg2enc && command -v mp2enc && command -v mplex) >/dev/null") == 0; }

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1") == 0; }

// The pictures a decoder gets out of a file.
long DecodedPictures(const std::string &path) {
    return std::atol(Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                           "-of csv=p=0 '" + path + "'")
                         .c_str());
}

// What a decoder says about the video of a file; the audio decoder's word on
// a sound frame split by the cut is not asked for.
std::string VideoErrors(const std::string &path) {
    return Shell("ffmpeg -v error -i '" + path + "' -map 0:v -f null - 2>&1 | grep -v '^\\[mp2 @'");
}

// The header of each group (from the four bytes after its start code), with
// the sequence's picture rate code.
template <typename Visit> void ForEachGroup(const std::string &path, Visit visit) {
    const std::string bytes = ReadFile(path);
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.data());
    int rate_code = 0;
    for (size_t i = 0; i + 12 <= bytes.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
        if (b[i + 3] == 0xB3 && !rate_code) rate_code = b[i + 7] & 0x0F;
        if (b[i + 3] == 0xB8 && (b[i + 5] & 0x08)) visit(b + i + 4, rate_code);
    }
}

// The first picture of each group, from the groups' time codes.
std::vector<int64_t> GroupPictures(const std::string &path) {
    std::vector<int64_t> pictures;
    ForEachGroup(path, [&](const uint8_t *header, int rate_code) {
        pictures.push_back(tvx::mpeg1::TimeCodePicture(tvx::mpeg1::DecodeTimeCode(header), rate_code));
    });
    return pictures;
}

// Each group's closed and broken-link flags, as "closed", "open" or "broken".
std::vector<std::string> GroupLinks(const std::string &path) {
    std::vector<std::string> links;
    ForEachGroup(path, [&](const uint8_t *header, int) {
        links.push_back(header[3] & 0x20 ? "broken" : header[3] & 0x40 ? "closed" : "open");
    });
    return links;
}

std::string Seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// The picture count and the time range of a cut's summary line.
struct Summary {
    double from = 0, to = 0;
    long pictures = -1, groups = -1;
};
Summary ReadSummary(const std::string &out) {
    static const std::regex line("kept ([0-9.]+)–([0-9.]+) s \\(([0-9]+) pictures?, ([0-9]+) groups?\\)");
    Summary summary;
    std::smatch m;
    for (const std::string &text : Lines(out))
        if (std::regex_match(text, m, line))
            summary = {std::stod(m[1]), std::stod(m[2]), std::stol(m[3]), std::stol(m[4])};
    return summary;
}

// A number that probe --json gives for `key`.
double JsonValue(const std::string &json, const std::string &key) {
    std::smatch m;
    const std::regex field("\"" + key + "\": ([-0-9.e]+)");
    return std::regex_search(json, m, field) ? std::stod(m[1]) : -1;
}

class OnMadeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe make and read the files";
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "tarvex10-cut-" + std::to_string(getpid()) + "-" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() / name;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("TVX_REGISTRY", Path("registry").c_str(), 1);
        // The private registry of each run goes here too, so that the tests
        // see it go.
        setenv("TMPDIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TVX_REGISTRY");
        unsetenv("TMPDIR");
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    std::string Path(const std::string &name) const { return (dir_ / name).string(); }

    // `seconds` of a test picture at `rate`, a group every `group` pictures,
    // as a video elementary stream (.m1v) or a system stream with sound,
    // made by ffmpeg alone or by mjpegtools' MPEG-1 encoders and multiplexer.
    std::string Make(const std::string &name, const std::string &rate, int group, double seconds,
                     const std::string &codec = "mpeg1video", const std::string &inputs = "",
                     const std::string &options = "", Maker maker = Maker::ffmpeg) {
        const std::string path = Path(name);
        const bool system = name.ends_with(".mpg");
        const std::string length = " -t " + std::to_string(seconds) + " ";
        const std::string picture = "-f lavfi -i testsrc=size=96x64:rate=" + rate + " ";
        const std::string sound = "-f lavfi -i sine=frequency=440:sample_rate=44100 ";
        std::string command;
        if (maker == Maker::ffmpeg) {
            command = "ffmpeg -v error -y " + picture + (system ? sound : "") + inputs +
                      (system ? " -c:a mp2 -b:a 64k " : " ") + options + length + " -c:v " + codec + " -g " +
                      std::to_string(group) + " -bf 0 -f " +
                      (system ? (codec == "mpeg1video" ? "mpeg" : "vob") : codec) + " '" + path + "'";
        } else {
            const std::string video = system ? path + ".m1v" : path, g = std::to_string(group);
            command = "ffmpeg -v error -y " + picture + length + "-pix_fmt yuv420p -f yuv4mpegpipe - | mpeg2enc -v 0 -f 0 -g " +
                      g + " -G " + g + " " + options + " -o '" + video + "'";
            if (system)
                command += " && ffmpeg -v error -y " + sound + length + "'" + path + ".wav' && mp2enc -v 0 -b 64 -r 44100 -o '" +
                           path + ".mp2' < '" + path + ".wav' && mplex -v 0 -f 0 -o '" + path + "' '" + video + "' '" +
                           path + ".mp2' && rm '" + video + "' '" + path + ".wav' '" + path + ".mp2'";
        }
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    // Entries of the folder other than the registry: outputs, and whatever a
    // cut left behind.
    std::vector<std::string> Leftovers(const std::vector<std::string> &expected) const {
        std::vector<std::string> extra;
        for (const auto &entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name != "registry" && std::find(expected.begin(), expected.end(), name) == expected.end())
                extra.push_back(name);
        }
        return extra;
    }

    fs::path dir_;
};

// ---- exact ranges ----------------------------------------------------------------

struct Stream {
    const char *rate;
    double fps;
    int group;
    const char *file;
    Maker maker = Maker::ffmpeg;
};
void PrintTo(const Stream &s, std::ostream *out) {
    *out << s.file << " at " << s.rate << ", groups of " << s.group << (s.maker == Maker::ffmpeg ? "" : " by mjpegtools");
}
class CutAtGroups : public OnMadeFiles, public ::testing::WithParamInterface<Stream> {};

TEST_P(CutAtGroups, KeepsTheGroupsOfTheRangeAndEveryPictureToTheEnd) {
    const Stream s = GetParam();
    if (s.maker == Maker::mjpegtools && !HaveMjpegtools()) GTEST_SKIP() << "mjpegtools make this file";
    const std::string in = Make(s.file, s.rate, s.group, 8, "mpeg1video", "", "", s.maker);
    const std::vector<int64_t> groups = GroupPictures(in);
    const long all = DecodedPictures(in);
    ASSERT_GT(groups.size(), 4u);

    const auto first_at_or_after = [&](double seconds) {
        const auto it = std::find_if(groups.begin(), groups.end(), [&](int64_t p) { return p / s.fps >= seconds - 1e-6; });
        return it == groups.end() ? static_cast<int64_t>(all) : *it;
    };
    const std::string ext = fs::path(s.file).extension().string();
    for (const auto &[from, to] : {std::pair{2.3, 5.1}, {1.0, 3.0}, {0.0, 2.0}}) {
        const std::string out = Path("cut" + ext);
        const Result run = Tool({"cut", "-y", in, out, Seconds(from), Seconds(to)});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const int64_t start = first_at_or_after(from), end = first_at_or_after(to);
        std::vector<int64_t> kept;
        std::copy_if(groups.begin(), groups.end(), std::back_inserter(kept),
                     [&](int64_t p) { return p >= start && p < end; });
        EXPECT_EQ(GroupPictures(out), kept) << from << " to " << to;
        EXPECT_EQ(DecodedPictures(out), end - start);
        EXPECT_EQ(VideoErrors(out), "");
        EXPECT_EQ(Lines(run.out).at(0), "kept " + Seconds(start / s.fps) + "–" + Seconds(end / s.fps) + " s (" +
                                            std::to_string(end - start) + " pictures, " +
                                            std::to_string(kept.size()) + " groups)");
    }
    // To the end, whether TO is the end or past it.
    for (const std::string &to : {Seconds(all / s.fps), std::string("1:00")}) {
        const Result run = Tool({"cut", "-y", in, Path("end" + ext), "3", to});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(DecodedPictures(Path("end" + ext)), all - first_at_or_after(3));
        EXPECT_EQ(VideoErrors(Path("end" + ext)), "");
    }
    const Result whole = Tool({"cut", "-y", in, Path("all" + ext), "0", "10"});
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    EXPECT_EQ(DecodedPictures(Path("all" + ext)), all);
}

INSTANTIATE_TEST_SUITE_P(RatesAndGroupLengths, CutAtGroups,
                         ::testing::Values(Stream{"24000/1001", 24000.0 / 1001, 12, "film.m1v"},
                                           Stream{"25", 25, 15, "pal.m1v"},
                                           Stream{"30000/1001", 30000.0 / 1001, 18, "ntsc.m1v"},
                                           Stream{"25", 25, 12, "pal.mpg"},
                                           Stream{"30000/1001", 30000.0 / 1001, 9, "ntsc.mpg"},
                                           Stream{"25", 25, 12, "pal.m1v", Maker::mjpegtools},
                                           Stream{"30000/1001", 30000.0 / 1001, 15, "ntsc.m1v", Maker::mjpegtools},
                                           Stream{"25", 25, 15, "pal.mpg", Maker::mjpegtools},
                                           Stream{"30000/1001", 30000.0 / 1001, 12, "ntsc.mpg", Maker::mjpegtools}),
                         [](const ::testing::TestParamInfo<Stream> &info) {
                             std::string name = std::string(info.param.maker == Maker::ffmpeg ? "" : "mjpegtools_") +
                                                info.param.file;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

// Catches: a stream whose encoder left every time code at zero cut by them.
TEST_F(OnMadeFiles, CutGroupsWithoutUsableTimeCodesAreFoundByCountingPictures) {
    const std::string in = Make("clip.m1v", "25", 12, 6);
    const Result intact = Tool({"cut", in, Path("a.m1v"), "2", "4.5"});
    ASSERT_EQ(intact.exit_code, 0) << intact.err;
    std::string bytes = ReadFile(in);
    for (size_t at = bytes.find(std::string("\0\0\1\xB8", 4)); at != std::string::npos;
         at = bytes.find(std::string("\0\0\1\xB8", 4), at + 4)) {
        bytes[at + 4] = 0;
        bytes[at + 5] = 0x08; // the marker bit alone
        bytes[at + 6] = 0;
        bytes[at + 7] &= 0x7F;
    }
    std::ofstream(Path("zeros.m1v"), std::ios::binary) << bytes;
    ASSERT_EQ(GroupPictures(Path("zeros.m1v")), std::vector<int64_t>(GroupPictures(in).size(), 0));
    const Result counted = Tool({"cut", Path("zeros.m1v"), Path("b.m1v"), "2", "4.5"});
    ASSERT_EQ(counted.exit_code, 0) << counted.err;
    EXPECT_EQ(Lines(counted.out).at(0), Lines(intact.out).at(0));
    EXPECT_EQ(fs::file_size(Path("b.m1v")), fs::file_size(Path("a.m1v")));
}

// Catches: leading B pictures of the first kept group shown as if their
// reference, cut away, were there.
TEST_F(OnMadeFiles, CutFromAnOpenGroupMarksItsLinkBroken) {
    if (!HaveMjpegtools()) GTEST_SKIP() << "mjpegtools make these files";
    for (const std::string name : {"b.m1v", "b.mpg"}) {
        // Two B pictures between references: each group after the first
        // opens with two predicted from the group before.
        const std::string in = Make(name, "25", 12, 6, "mpeg1video", "", "-R 2", Maker::mjpegtools);
        const std::vector<int64_t> groups = GroupPictures(in);
        ASSERT_EQ(GroupLinks(in), [&] {
            std::vector<std::string> links(groups.size(), "open");
            links[0] = "closed";
            return links;
        }());
        const std::string out = Path("cut-" + name);
        const Result run = Tool({"cut", "-y", in, out, "2", "4"});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const std::vector<std::string> links = GroupLinks(out);
        ASSERT_FALSE(links.empty());
        EXPECT_EQ(links[0], "broken") << name;
        EXPECT_EQ(std::count(links.begin(), links.end(), "open"), static_cast<long>(links.size()) - 1) << name;
        const auto start = *std::find_if(groups.begin(), groups.end(), [](int64_t p) { return p >= 50; });
        const auto end = *std::find_if(groups.begin(), groups.end(), [](int64_t p) { return p >= 100; });
        EXPECT_EQ(DecodedPictures(out), end - start - 2) << name;
        EXPECT_EQ(ReadSummary(run.out).pictures, end - start - 2) << run.out;
        EXPECT_EQ(VideoErrors(out), "") << name;
        // The stream's own first group is left as its encoder made it.
        ASSERT_EQ(Tool({"cut", "-y", in, out, "0", "2"}).exit_code, 0);
        EXPECT_EQ(GroupLinks(out).at(0), "closed") << name;
    }
}

TEST_F(OnMadeFiles, CutTimesAsUsersWriteThemAllNameTheSameCut) {
    const std::string in = Make("clip.mpg", "25", 10, 6);
    const Result first = Tool({"cut", in, Path("a.mpg"), "2.5", "4"});
    ASSERT_EQ(first.exit_code, 0) << first.err;
    const std::string expected = ReadFile(Path("a.mpg"));
    for (const auto &[from, to] : {std::pair{"0:02.5", "0:04"}, {"00:00:02.500", "00:00:04"}, {"2500ms", "4000ms"}}) {
        const Result run = Tool({"cut", "-y", in, Path("b.mpg"), from, to});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(Lines(run.out).at(0), Lines(first.out).at(0)) << from;
        EXPECT_TRUE(ReadFile(Path("b.mpg")) == expected) << from;
    }
}

TEST_F(OnMadeFiles, CutARangeInsideOneGroupKeepsThatGroupAndSaysSo) {
    const std::string in = Make("clip.m1v", "25", 25, 4);
    const Result run = Tool({"cut", in, Path("out.m1v"), "1.2", "1.6"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out).at(0), "1.20–1.60 s lies inside one group of pictures: keeping that whole group");
    EXPECT_EQ(Lines(run.out).at(1), "kept 1.00–2.00 s (25 pictures, 1 group)");
    EXPECT_EQ(GroupPictures(Path("out.m1v")), std::vector<int64_t>{25});
    EXPECT_EQ(DecodedPictures(Path("out.m1v")), 25);
}

// Catches: files joined end to end restart their time codes, and a summary
// read from them told a reversed range and a negative count, or none.
TEST_F(OnMadeFiles, CutOfJoinedFilesNeverReportsAReversedRange) {
    const std::string a = Make("a.mpg", "25", 12, 0.6), b = Make("b.mpg", "25", 12, 10);
    const std::string in = Path("joined.mpg");
    ASSERT_EQ(std::system(("cat '" + a + "' '" + b + "' > '" + in + "'").c_str()), 0);
    const std::regex summary("kept (([0-9.]+)–([0-9.]+) s \\(([0-9]+) pictures?, )([0-9]+) groups?\\)");
    for (const bool linear : {true, false}) {
        for (const auto &[from, to] : {std::pair{"0.3", "0.7"}, {"0.2", "1.2"}, {"0", "3"}}) {
            std::vector<std::string> args{"cut", "-y", in, Path("out.mpg"), from, to};
            if (linear) args.insert(args.begin() + 1, "--linear");
            const Result run = Tool(args);
            ASSERT_EQ(run.exit_code, 0) << run.err;
            const std::vector<std::string> lines = Lines(run.out);
            const auto kept = std::find_if(lines.begin(), lines.end(), [](const std::string &l) { return l.starts_with("kept"); });
            ASSERT_NE(kept, lines.end()) << run.out;
            const std::string &line = *kept;
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, summary)) << line;
            EXPECT_LT(std::stod(m[2]), std::stod(m[3])) << line;
            EXPECT_EQ(std::stoll(m[5]), static_cast<long long>(GroupPictures(Path("out.mpg")).size())) << line;
        }
    }
}

// Catches: time codes that start again at a join sent the search to the
// first copy, and probe gave the length of one copy.
TEST_F(OnMadeFiles, CutAndProbeOfJoinedAndLoopedFilesGoByTheTimeTheyPlay) {
    // Open groups with two leading B pictures, as ffmpeg makes them by default.
    const std::string clip = Path("clip.mpg");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=96x64:rate=25 -f lavfi -i "
                           "sine=frequency=440:sample_rate=44100 -t 4 -c:v mpeg1video -g 12 -bf 2 -c:a mp2 -b:a 64k "
                           "-f mpeg '" + clip + "'").c_str()),
              0);
    const std::string joined = Path("joined.mpg"), looped = Path("looped.mpg");
    ASSERT_EQ(std::system(("cat '" + clip + "' '" + clip + "' > '" + joined + "'").c_str()), 0);
    // A loop by stream copy keeps the time stamps running; the time codes restart.
    ASSERT_EQ(std::system(("ffmpeg -v error -y -stream_loop 2 -i '" + clip + "' -c copy -f mpeg '" + looped + "'").c_str()), 0);
    for (const std::string &in : {joined, looped}) {
        const Result probe = Tool({"probe", "--json", in});
        ASSERT_EQ(probe.exit_code, 0) << probe.err;
        const long decoded = DecodedPictures(in);
        EXPECT_GE(decoded, in == joined ? 200 : 300);
        EXPECT_EQ(JsonValue(probe.out, "pictures"), decoded) << probe.out;
        EXPECT_NEAR(JsonValue(probe.out, "duration"), decoded / 25.0, 1e-9) << probe.out;
    }
    // 1.5 copies into the joined file lies in the second copy, 2 s into it: the
    // cut keeps the groups a cut of the clip from 2 s keeps.
    const Result second = Tool({"cut", joined, Path("second.mpg"), "6", "8"});
    const Result single = Tool({"cut", clip, Path("single.mpg"), "2", "4"});
    ASSERT_EQ(second.exit_code, 0) << second.err;
    ASSERT_EQ(single.exit_code, 0) << single.err;
    const Summary joined_cut = ReadSummary(second.out), clip_cut = ReadSummary(single.out);
    EXPECT_EQ(GroupPictures(Path("second.mpg")), GroupPictures(Path("single.mpg")));
    EXPECT_EQ(joined_cut.groups, static_cast<long>(GroupPictures(Path("second.mpg")).size())) << second.out;
    EXPECT_EQ(joined_cut.pictures, DecodedPictures(Path("second.mpg"))) << second.out;
    EXPECT_NEAR(joined_cut.from, clip_cut.from + 4, 1e-9) << second.out << single.out;
    EXPECT_GE(joined_cut.from, 6.0) << second.out;
    EXPECT_LT(joined_cut.from, 6.6) << second.out;
    EXPECT_NEAR(joined_cut.to, 8.0, 0.5) << second.out;
    EXPECT_EQ(VideoErrors(Path("second.mpg")), "");
    // In the loop, 10 s lies in the third copy.
    const Result third = Tool({"cut", looped, Path("third.mpg"), "10", "12"});
    ASSERT_EQ(third.exit_code, 0) << third.err;
    EXPECT_EQ(GroupPictures(Path("third.mpg")), GroupPictures(Path("single.mpg")));
    EXPECT_EQ(ReadSummary(third.out).pictures, DecodedPictures(Path("third.mpg"))) << third.out;
}

TEST_F(OnMadeFiles, CutReportsQuietlyOrVerboselyAndChecksAGivenTotal) {
    const std::string in = Make("clip.mpg", "25", 12, 4);
    const Result plain = Tool({"cut", in, Path("a.mpg"), "1", "3", "4.5"});
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_EQ(Lines(plain.out).size(), 2u);
    EXPECT_EQ(Lines(plain.out).at(1), "wrote " + std::to_string(fs::file_size(Path("a.mpg"))) + " bytes to " + Path("a.mpg"));
    EXPECT_TRUE(plain.err.empty()) << plain.err; // half a second off is no warning

    const Result off = Tool({"cut", "-y", in, Path("a.mpg"), "1", "3", "10"});
    EXPECT_EQ(off.exit_code, 0);
    EXPECT_EQ(Lines(off.err), std::vector<std::string>{"tarvex10 cut: warning: TOTAL is 10.00 s but " + in +
                                                       " lasts 4.00 s; the cut goes by the file's times"});
    EXPECT_EQ(off.out, plain.out);

    const Result quiet = Tool({"cut", "-q", "-y", in, Path("a.mpg"), "1", "3", "10"});
    EXPECT_EQ(quiet.exit_code, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");

    const Result verbose = Tool({"cut", "-v", "-y", in, Path("a.mpg"), "1", "3"});
    EXPECT_EQ(verbose.exit_code, 0);
    ASSERT_EQ(Lines(verbose.out).size(), 4u);
    EXPECT_TRUE(Lines(verbose.out).at(3).starts_with("  component ")) << verbose.out;
    EXPECT_EQ(Leftovers({"clip.mpg", "a.mpg"}), std::vector<std::string>{});
}

// Files under `folder` that some process still holds open, their names gone.
std::vector<std::string> HeldDeletedFiles(const std::string &folder) {
    std::vector<std::string> held;
    std::error_code ignored;
    for (const auto &process : fs::directory_iterator("/proc", ignored)) {
        for (const auto &fd : fs::directory_iterator(process.path() / "fd", ignored)) {
            const std::string target = fs::read_symlink(fd.path(), ignored).string();
            if (target.starts_with(folder) && target.ends_with(" (deleted)")) held.push_back(target);
        }
    }
    return held;
}

// Catches: the replaced output kept under a name, or still held open once
// the command has returned.
TEST_F(OnMadeFiles, ACutOntoAnExistingOutputReplacesItAndLetsTheOldOneGo) {
    const std::string in = Make("clip.mpg", "25", 12, 4);
    const std::string out = Path("cut.mpg");
    ASSERT_EQ(Tool({"cut", "-q", in, Path("fresh.mpg"), "1", "3"}).exit_code, 0);
    std::ofstream(out) << std::string(1 << 20, 'x');
    const Result run = Tool({"cut", "-y", in, out, "1", "3"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(ReadFile(out) == ReadFile(Path("fresh.mpg")));
    EXPECT_EQ(Leftovers({"clip.mpg", "cut.mpg", "fresh.mpg"}), std::vector<std::string>{});
    EXPECT_EQ(HeldDeletedFiles(dir_.string()), std::vector<std::string>{});
}

// ---- refusals ----------------------------------------------------------------------

TEST_F(OnMadeFiles, CutRefusalsAreOneLineWithTheirExitCodeAndWriteNothing) {
    const std::string in = Make("clip.m1v", "25", 12, 3);
    const std::string old = Path("old.m1v");
    std::ofstream(old) << "an earlier cut";
    fs::create_directory(Path("folder"));
    fs::create_symlink(in, Path("link.m1v"));
    std::ofstream(Path("empty.mpg")).close();
    std::ofstream(Path("notes.txt")) << "not a video at all\n";
    const std::string big = Path("big.mpg");
    std::ofstream(big).close();
    fs::resize_file(big, 2147483648u); // sparse
    const std::string mpeg2 = Make("dvd.mpg", "25", 12, 1, "mpeg2video");
    const std::string mpeg2_video = Make("dvd.m2v", "25", 12, 1, "mpeg2video");

    const std::string usage = " must be a time such as 12.5, 1:02.250, 01:02:03.5 or 2500ms, not ";
    const struct {
        std::vector<std::string> args;
        int code;
        std::string line;
    } cases[] = {
        {{in, Path("o.m1v"), "1"}, 2, "expects IN OUT FROM TO [TOTAL] (see tarvex10 cut --help)"},
        {{in, Path("o.m1v"), "-1", "2"}, 2, "FROM" + usage + "'-1'"},
        {{in, Path("o.m1v"), "1", "1:75"}, 2, "TO" + usage + "'1:75'"},
        {{in, Path("o.m1v"), "1", "2,5"}, 2, "TO" + usage + "'2,5'"},
        {{in, Path("o.m1v"), "2", "1"}, 2, "FROM (2.00 s) must come before TO (1.00 s)"},
        {{in, Path("o.m1v"), "1", "2", "0"}, 2, "TOTAL must be more than 0"},
        {{in, Path("o.m1v"), "5", "6"}, 1, "FROM (5.00 s) is at or past the end of " + in + " (3.00 s)"},
        {{in, old, "1", "2"}, 1, old + " exists; give -y to overwrite it"},
        {{"-y", "-n", in, old, "1", "2"}, 1, old + " exists; not overwritten (-n)"},
        {{"-y", in, in, "1", "2"}, 1, "cannot write " + in + ": it is the input file " + in},
        {{"-y", in, Path("link.m1v"), "1", "2"}, 1, "cannot write " + Path("link.m1v") + ": it is the input file " + in},
        {{"-y", in, Path("folder/../clip.m1v"), "1", "2"}, 1,
         "cannot write " + Path("folder/../clip.m1v") + ": it is the input file " + in},
        {{"-y", in, Path("folder"), "1", "2"}, 1, "cannot write " + Path("folder") + ": Is a directory"},
        {{in, Path("none/o.m1v"), "1", "2"}, 1, "cannot write " + Path("none/o.m1v") + ": No such file or directory"},
        {{Path("none.mpg"), Path("o.mpg"), "1", "2"}, 1, "cannot open " + Path("none.mpg") + ": No such file or directory"},
        {{Path("folder"), Path("o.mpg"), "1", "2"}, 1, "cannot open " + Path("folder") + ": Is a directory"},
        {{Path("empty.mpg"), Path("o.mpg"), "1", "2"}, 1, "cannot cut " + Path("empty.mpg") + ": it is empty"},
        {{big, Path("o.mpg"), "1", "2"}, 1, "cannot cut " + big + ": it holds 2147483648 bytes; the cutter reads files of at most 2147483647 bytes"},
        {{Path("notes.txt"), Path("o.mpg"), "1", "2"}, 1, "cannot cut " + Path("notes.txt") + ": not an MPEG-1 stream (no MPEG stream)"},
        {{mpeg2, Path("o.mpg"), "0", "1"}, 1, "cannot cut " + mpeg2 + ": not an MPEG-1 stream (MPEG-2 program stream)"},
        {{mpeg2_video, Path("o.mpg"), "0", "1"}, 1, "cannot cut " + mpeg2_video + ": not an MPEG-1 stream (MPEG-2 video)"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args{"cut"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result run = Tool(args);
        EXPECT_EQ(run.exit_code, c.code) << c.line;
        EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 cut: " + c.line});
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(ReadFile(old), "an earlier cut");
    EXPECT_EQ(Leftovers({"clip.m1v", "old.m1v", "folder", "link.m1v", "empty.mpg", "notes.txt", "big.mpg", "dvd.mpg",
                         "dvd.m2v"}),
              std::vector<std::string>{});
}

TEST_F(OnMadeFiles, CutAnUnreadableInputGivesTheSystemsReason) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string in = Make("secret.m1v", "25", 12, 1);
    fs::permissions(in, fs::perms::none);
    const Result run = Tool({"cut", in, Path("o.m1v"), "0", "1"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 cut: cannot open " + in + ": Permission denied"});
}

// ---- outputs that survive ------------------------------------------------------------

TEST_F(OnMadeFiles, AFailedCutLeavesTheOldOutputAsItWas) {
    const std::string in = Make("clip.mpg", "25", 12, 4);
    const std::string out = Path("cut.mpg");
    std::ofstream(out) << "an earlier cut";
    // The linear mapping with too short a TOTAL starts the cut past the end.
    const Result run = Tool({"cut", "--linear", "-q", "-y", in, out, "3", "3.5", "2"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err).back(), "tarvex10 cut: the cutter says: fatal error! start beyond EOF");
    EXPECT_EQ(run.err.find("Cutting finished"), std::string::npos);
    EXPECT_EQ(ReadFile(out), "an earlier cut");
    EXPECT_EQ(Leftovers({"clip.mpg", "cut.mpg"}), std::vector<std::string>{});
}

TEST_F(OnMadeFiles, AnInterruptedCutRemovesWhatItMadeAndLeavesTheOldOutput) {
    const std::string in = Make("clip.mpg", "25", 12, 4);
    const std::string out = Path("cut.mpg");
    std::ofstream(out) << "an earlier cut";
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        // The command holds its finished temporary file until the signal.
        setenv("TARVEX10_TEST_HOLD_BEFORE_RENAME", "1", 1);
        int err_pipe[2];
        ASSERT_EQ(pipe(err_pipe), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
        posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
        std::vector<std::string> args{kCommand, "cut", "-q", "-y", in, out, "1", "3"};
        std::vector<char *> argv;
        for (std::string &arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, kCommand.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        unsetenv("TARVEX10_TEST_HOLD_BEFORE_RENAME");
        close(err_pipe[1]);
        std::string err;
        char c;
        while (read(err_pipe[0], &c, 1) == 1 && c != '\n') err += c;
        ASSERT_TRUE(err.starts_with("holding ")) << err;
        const std::string temp = err.substr(8);
        EXPECT_GT(fs::file_size(temp), 0u);
        kill(pid, signal_number);
        int status = 0;
        waitpid(pid, &status, 0);
        close(err_pipe[0]);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
        EXPECT_EQ(ReadFile(out), "an earlier cut");
        // Neither the temporary file nor the private registry is left.
        EXPECT_EQ(Leftovers({"clip.mpg", "cut.mpg"}), std::vector<std::string>{});
    }
}

// ---- probe --------------------------------------------------------------------------

TEST_F(OnMadeFiles, ProbeShowsTheStreamsAndRefusesWhatIsNotMpeg1) {
    const std::string in =
        Make("two.mpg", "25", 12, 3, "mpeg1video", "-f lavfi -i sine=frequency=880:sample_rate=32000",
             "-map 0:v -map 1:a -map 2:a -b:a:1 48k -ac:a:1 1 -b:v 300k -minrate 300k -maxrate 300k -bufsize 200k");
    const Result run = Tool({"probe", in});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    const auto has = [&](const std::string &line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("  kind            MPEG-1 system stream")) << run.out;
    EXPECT_TRUE(has("  video           96 x 64, 25 pictures per second, 300 kbit/s")) << run.out;
    EXPECT_TRUE(has("  groups          12 pictures, 1 of the first 7 closed")) << run.out;
    EXPECT_TRUE(has("  duration        3.00 s (75 pictures, from the time codes)")) << run.out;
    // The last time stamp may belong to a picture a little before the last.
    const auto stamps = std::find_if(lines.begin(), lines.end(), [](const std::string &l) { return l.starts_with("  time stamps"); });
    ASSERT_NE(stamps, lines.end()) << run.out;
    EXPECT_NEAR(std::atof(stamps->substr(18).c_str()), 3.0, 0.081) << *stamps;
    EXPECT_TRUE(has("  audio 0xC0      MPEG-1 layer II, 44100 Hz, 1 channel (single channel), 64 kbit/s")) << run.out;
    EXPECT_TRUE(has("  audio 0xC1      MPEG-1 layer II, 32000 Hz, 1 channel (single channel), 48 kbit/s")) << run.out;

    const std::string mpeg2 = Make("dvd.mpg", "25", 12, 1, "mpeg2video");
    const Result refused = Tool({"probe", "--json", mpeg2});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Lines(refused.err), std::vector<std::string>{"tarvex10 probe: cannot probe " + mpeg2 +
                                                           ": not an MPEG-1 stream (MPEG-2 program stream)"});
    const std::string big = Path("big.mpg");
    std::ofstream(big).close();
    fs::resize_file(big, 2147483648u);
    const Result large = Tool({"probe", big});
    EXPECT_EQ(large.exit_code, 1);
    EXPECT_EQ(Lines(large.err), std::vector<std::string>{"tarvex10 probe: cannot probe " + big + ": it holds 2147483648 "
                                                         "bytes; the cutter reads files of at most 2147483647 bytes"});
}

TEST_F(OnMadeFiles, ProbeTellsTheGroupsAndSoundOfMjpegtoolsFiles) {
    if (!HaveMjpegtools()) GTEST_SKIP() << "mjpegtools make these files";
    // mjpegtools' encoder closes only its first group.
    const Result system = Tool({"probe", Make("pal.mpg", "25", 15, 4, "mpeg1video", "", "", Maker::mjpegtools)});
    ASSERT_EQ(system.exit_code, 0) << system.err;
    const std::vector<std::string> lines = Lines(system.out);
    const auto has = [&](const std::string &line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("  kind            MPEG-1 system stream")) << system.out;
    EXPECT_TRUE(has("  groups          15 pictures, 1 of the first 7 closed")) << system.out;
    EXPECT_TRUE(has("  duration        4.00 s (100 pictures, from the time codes)")) << system.out;
    EXPECT_TRUE(has("  audio 0xC0      MPEG-1 layer II, 44100 Hz, 1 channel (single channel), 64 kbit/s")) << system.out;
    const Result video = Tool({"probe", Make("ntsc.m1v", "30000/1001", 9, 3, "mpeg1video", "", "", Maker::mjpegtools)});
    ASSERT_EQ(video.exit_code, 0) << video.err;
    EXPECT_TRUE(video.out.find("\n  groups          9 pictures, 1 of the first 8 closed\n") != std::string::npos) << video.out;
    EXPECT_TRUE(video.out.find("\n  video           96 x 64, 29.97 pictures per second") != std::string::npos) << video.out;
}

} // namespace
