// The tarvex10 command end to end: run as a separate process on the sample
// files, its results held against the library's own answers obtained here
// by calling the cutter and the media control interface directly.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_command.h"
#include "component/registry.h"
#include "convert/convert.h"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(TVX_SOURCE_DIR) + "/tests/data/";

// A cutter of the library, called early-bound in this process.
tvx::ComPtr<_clsKwVidoCutVideoA> NewCutter() {
    return tvx::ComPtr<_clsKwVidoCutVideoA>::Attach(
        reinterpret_cast<_clsKwVidoCutVideoA *>(tvx::CutVideoClass().create()));
}

// Each test gets a folder of its own and an empty registry, so that the
// command registers the component privately, as on a fresh machine.
class Command : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "tarvex10-cli-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-" +
                           info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = (fs::temp_directory_path() / name).string();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("TVX_REGISTRY", Path("registry").c_str(), 1);
        TvxRegistrySetPath(nullptr);
        TvxSetMessageBoxHandler(&Collect, &messages_);
    }
    void TearDown() override {
        TvxSetMessageBoxHandler(nullptr, nullptr);
        unsetenv("TVX_REGISTRY");
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static void Collect(void *context, const char *text, const char *) {
        static_cast<std::vector<std::string> *>(context)->push_back(text);
    }

    std::string Path(const std::string &name) const { return (fs::path(dir_) / name).string(); }

    // The library's own cut, made here by calling the cutter directly.
    std::string ReferenceCut(const std::string &in, int from, int to, int total) {
        auto cutter = NewCutter();
        const std::string out = Path("reference.mpg");
        tvx::Bstr in_path(tvx::convert::FromUtf8(in)), out_path(tvx::convert::FromUtf8(out));
        SHORT result = -1;
        EXPECT_EQ(cutter->CutVideo(in_path.Get(), out_path.Get(), from, to, total, &result), S_OK);
        EXPECT_EQ(messages_, std::vector<std::string>{"Cutting finished"});
        messages_.clear();
        return ReadFile(out);
    }

    std::string dir_;
    std::vector<std::string> messages_;
};

// ---- cut ------------------------------------------------------------------

struct CutCase {
    const char *file;
    int from, to, total;
};

void PrintTo(const CutCase &c, std::ostream *out) {
    *out << c.file << " " << c.from << " " << c.to << " " << c.total;
}

class CutMatchesTheLibrary : public Command, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutMatchesTheLibrary, ByteForByte) {
    const CutCase &c = GetParam();
    const std::string in = kData + c.file;
    const std::string out = Path("cut.mpg");
    // --linear cuts with CutVideo itself, given the times in milliseconds.
    const auto ms = [](int value) { return std::to_string(value) + "ms"; };
    const Result run = Tool({"cut", "--linear", in, out, ms(c.from), ms(c.to), ms(c.total)});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    // "Cutting finished" says nothing about the cut: it is not repeated.
    EXPECT_EQ(run.err, "");
    const std::string expected = ReferenceCut(in, c.from, c.to, c.total);
    const std::string written = ReadFile(out);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the command's cut differs from the library's";
    EXPECT_NE(run.out.find("wrote " + std::to_string(written.size()) + " bytes"), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, CutMatchesTheLibrary,
                         ::testing::Values(CutCase{"system_ffmpeg.mpg", 1000, 4000, 6000},
                                           CutCase{"system_ffmpeg.mpg", 0, 6000, 6000},
                                           CutCase{"system_vcd.mpg", 500, 2500, 4000},
                                           CutCase{"system_mplex.mpg", 1000, 3000, 4000},
                                           CutCase{"elementary_ffmpeg.m1v", 1000, 4000, 5005},
                                           CutCase{"elementary_mpeg2enc.m1v", 2000, 4000, 4000}),
                         [](const ::testing::TestParamInfo<CutCase> &info) {
                             std::string name = std::string(info.param.file) + "_" + std::to_string(info.param.from) +
                                                "_" + std::to_string(info.param.to);
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST_F(Command, CutOverAnOldLongerFileLeavesOnlyTheCut) {
    const std::string in = kData + "system_ffmpeg.mpg";
    const std::string out = Path("cut.mpg");
    std::ofstream(out, std::ios::binary) << std::string(2000000, 'x');
    ASSERT_EQ(Tool({"cut", "--linear", "--force", in, out, "1", "2", "6"}).exit_code, 0);
    EXPECT_TRUE(ReadFile(out) == ReferenceCut(in, 1000, 2000, 6000));
}

TEST_F(Command, CutOfAMissingInputFailsWithTheSystemsReason) {
    const Result run = Tool({"cut", Path("missing.mpg"), Path("cut.mpg"), "1", "4"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err),
              std::vector<std::string>{"tarvex10 cut: cannot open " + Path("missing.mpg") + ": No such file or directory"});
    EXPECT_TRUE(run.out.empty());
}

TEST_F(Command, CutStartingPastTheEndFailsAndWritesNothing) {
    const Result run = Tool({"cut", kData + "system_ffmpeg.mpg", Path("cut.mpg"), "7", "8"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err).back(), "tarvex10 cut: FROM (7.00 s) is at or past the end of " + kData +
                                         "system_ffmpeg.mpg (6.00 s)");
    EXPECT_FALSE(fs::exists(Path("cut.mpg")));
}

TEST_F(Command, CutWithZeroDurationIsAUsageError) {
    for (const char *mode : {"--linear", "--no-progress"}) {
        const Result run = Tool({"cut", mode, kData + "system_ffmpeg.mpg", Path("cut.mpg"), "1", "2", "0"});
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 cut: TOTAL must be more than 0"});
    }
}

TEST_F(Command, CutOfARangeWithoutAGroupOfPicturesKeepsTheGroupThatHoldsIt) {
    // The elementary sample's last group starts before 4.5 s of its 5.005 s.
    const Result run = Tool({"cut", kData + "elementary_ffmpeg.m1v", Path("cut.m1v"), "4.99", "5"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out).at(0), "4.99–5.00 s lies inside one group of pictures: keeping that whole group");
    EXPECT_EQ(Lines(run.out).at(1).rfind("kept 4.50–5.00 s (15 pictures, 1 group)", 0), 0u) << run.out;
}

TEST_F(Command, CutOfAFileThatIsNoStreamFails) {
    const std::string text = Path("notes.txt");
    std::ofstream(text) << "not a video at all\n";
    const Result run = Tool({"cut", text, Path("cut.mpg"), "0", "1"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err).back(), "tarvex10 cut: cannot cut " + text + ": not an MPEG-1 stream (no MPEG stream)");
}

// Catches: an input past the cutter's 32-bit offsets reported as missing.
TEST_F(Command, CutOfAnInputTooLargeToAddressSaysSo) {
    const std::string big = Path("big.mpg");
    std::ofstream(big, std::ios::binary).close();
    fs::resize_file(big, 2147483648u); // sparse: no disk space used
    const Result run = Tool({"cut", big, Path("cut.mpg"), "1000", "2000", "6000"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 cut: cannot cut " + big +
                                                       ": it holds 2147483648 bytes; the cutter reads files of at "
                                                       "most 2147483647 bytes"});
    EXPECT_FALSE(fs::exists(Path("cut.mpg")));
}

TEST_F(Command, CutOntoItsOwnInputIsRefusedAndTheInputKept) {
    const std::string copy = Path("copy.mpg");
    fs::copy_file(kData + "system_ffmpeg.mpg", copy);
    const Result run = Tool({"cut", "--force", copy, copy, "1", "4"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 cut: cannot write " + copy + ": it is the input file " + copy});
    EXPECT_TRUE(ReadFile(copy) == ReadFile(kData + "system_ffmpeg.mpg"));
}

TEST_F(Command, CutWithAWrongCommandLineIsAUsageError) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"cut", "a", "b", "1"}, {"cut", "a", "b", "1", "two", "3"},
          {"cut", "a", "b", "1,5", "2", "3"}, {"cut", "--bogus", "a", "b", "1", "2", "3"}}) {
        const Result run = Tool(args);
        EXPECT_EQ(run.exit_code, 2) << args[4];
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
}

// ---- play -------------------------------------------------------------------

// Catches: a player that does not start at --from, does not end with the
// play (or at --to), or runs at the wrong speed; and wrong command lines or
// missing files not reported as such.
TEST_F(Command, PlayPlaysFromItsStartToItsEndAndExits) {
    const auto start = std::chrono::steady_clock::now();
    const Result run = Tool({"play", "--from", "4.5", "--speed", "2000", kData + "system_ffmpeg.mpg"});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.exit_code, 0) << run.err;
    // 1.5 s of the movie at twice its speed.
    EXPECT_GT(seconds, 0.6);
    EXPECT_LT(seconds, 3.0);
    EXPECT_NE(run.out.find("0:04.5 / 0:06.0  Playing"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0:06.0 / 0:06.0  Stopped"), std::string::npos) << run.out;

    const Result until = Tool({"play", "--from", "1", "--to", "1.4", kData + "system_ffmpeg.mpg"});
    EXPECT_EQ(until.exit_code, 0) << until.err;
    EXPECT_EQ(until.out.find("0:02"), std::string::npos) << until.out;

    const Result missing = Tool({"play", kData + "no_such_file.mpg"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("error 275"), std::string::npos) << missing.err;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"play"}, {"play", "--volume", "1001", "a.mpg"}, {"play", "--from", "x", "a.mpg"},
          {"play", "--from", "3", "--to", "2", "a.mpg"}, {"play", "--bogus", "a.mpg"}}) {
        EXPECT_EQ(Tool(args).exit_code, 2) << args.back();
    }
}

// The status lines a player showed, in order, without repeats.
std::vector<std::string> StatusLines(const std::string &terminal) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : terminal + "\r") {
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (const size_t clear = line.find("\033[K"); clear != std::string::npos) line.erase(clear);
        if (line.find(" / ") != std::string::npos && (lines.empty() || lines.back() != line)) lines.push_back(line);
        line.clear();
    }
    return lines;
}

// Catches: arrows that ask the class for a place before the start or past
// the end, which it refuses (error 282), so that the play went on where it
// was instead of going to the start or ending.
TEST_F(Command, PlayArrowsGoToTheStartOrEndThePlay) {
    // Back from 1 s goes to the start; forward from there to 5 s, and
    // forward once more, within 5 s of the end, ends the play.
    const auto start = std::chrono::steady_clock::now();
    const Result moved = OnTerminal({"play", kData + "system_ffmpeg.mpg"}, {{1.0, "\033[D"}, {1.5, "\033[C"}, {2.0, "\033[C"}});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(moved.exit_code, 0) << moved.out;
    EXPECT_LT(seconds, 4.0) << moved.out;
    // Positions shown, in seconds: back to the start is a fall to below
    // 0.5 s, however far the play had come (slow under the sanitizers).
    std::vector<double> shown;
    for (const std::string &line : StatusLines(moved.out))
        shown.push_back(60 * std::stod(line.substr(0, line.find(':'))) + std::stod(line.substr(line.find(':') + 1)));
    size_t back = 1;
    while (back < shown.size() && !(shown[back] < shown[back - 1] && shown[back] < 0.5)) ++back;
    ASSERT_LT(back, shown.size()) << moved.out;
    EXPECT_TRUE(std::any_of(shown.begin() + static_cast<long>(back), shown.end(), [](double at) { return at >= 5.0; }))
        << moved.out;
}

// ---- probe ------------------------------------------------------------------

// What the cutter's init and the interpreter find, asked directly here.
struct Findings {
    int file_type, seq_start, seq_end, head_size;
    double frame_rate, start_time;
    long length_ms, frames;
    std::string where;
};

Findings AskDirectly(const std::string &file) {
    Findings f{};
    auto cutter = NewCutter();
    tvx::Bstr path(tvx::convert::FromUtf8(file));
    EXPECT_EQ(cutter->init(path.Get()), S_OK);
    SHORT file_type = 0;
    LONG seq_start = 0, seq_end = 0, head_size = 0;
    cutter->get_FileType(&file_type);
    cutter->get_VidSeqStart(&seq_start);
    cutter->get_VidSeqEnd(&seq_end);
    cutter->get_MinimumCut(&head_size);
    cutter->get_FrameRate(&f.frame_rate);
    cutter->get_startTime(&f.start_time);
    f.file_type = file_type;
    f.seq_start = seq_start;
    f.seq_end = seq_end;
    f.head_size = head_size;
    char reply[128] = {};
    EXPECT_EQ(mciSendStringA(("open " + file + " type mpegvideo alias direct").c_str(), reply, sizeof reply, nullptr), 0u);
    mciSendStringA("set direct time format milliseconds", reply, sizeof reply, nullptr);
    mciSendStringA("status direct length", reply, sizeof reply, nullptr);
    f.length_ms = std::atol(reply);
    mciSendStringA("set direct time format frames", reply, sizeof reply, nullptr);
    mciSendStringA("status direct length", reply, sizeof reply, nullptr);
    f.frames = std::atol(reply);
    mciSendStringA("where direct source", reply, sizeof reply, nullptr);
    f.where = reply;
    mciSendStringA("close direct", reply, sizeof reply, nullptr);
    return f;
}

class ProbeMatchesTheLibrary : public Command, public ::testing::WithParamInterface<const char *> {};

TEST_P(ProbeMatchesTheLibrary, JsonParsesAndHoldsTheSameValues) {
    const std::string file = kData + GetParam();
    const Result run = Tool({"probe", "--json", file});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string json = Path("probe.json");
    std::ofstream(json) << run.out;
    // Python's own parser reads it and prints the fields one per line.
    const std::string script =
        "import json, sys\n"
        "d = json.load(open(sys.argv[1]))\n"
        "c, m = d['cutter'], d['mci']\n"
        "assert d['file'] == sys.argv[2]\n"
        "assert c['recognised'] is True and m['opened'] is True and c['error'] is None and m['error'] is None\n"
        "for v in (c['FileType'], c['VidSeqStart'], c['VidSeqEnd'], c['MinimumCut'], repr(float(c['FrameRate'])),\n"
        "          repr(float(c['startTime'])), m['length_ms'], m['frames'], m['width'], m['height']):\n"
        "    print(v)\n";
    std::ofstream(Path("check.py")) << script;
    const std::string parsed = Path("parsed.txt");
    const std::string command = "python3 " + Path("check.py") + " " + json + " " + file + " > " + parsed;
    ASSERT_EQ(std::system(command.c_str()), 0) << run.out;
    const Findings f = AskDirectly(file);
    const std::vector<std::string> lines = Lines(ReadFile(parsed));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], std::to_string(f.file_type));
    EXPECT_EQ(lines[1], std::to_string(f.seq_start));
    EXPECT_EQ(lines[2], std::to_string(f.seq_end));
    EXPECT_EQ(lines[3], std::to_string(f.head_size));
    EXPECT_EQ(std::stod(lines[4]), f.frame_rate);
    EXPECT_EQ(std::stod(lines[5]), f.start_time);
    EXPECT_EQ(lines[6], std::to_string(f.length_ms));
    EXPECT_EQ(lines[7], std::to_string(f.frames));
    EXPECT_EQ(f.where, "0 0 " + lines[8] + " " + lines[9]);
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, ProbeMatchesTheLibrary,
                         ::testing::Values("system_ffmpeg.mpg", "system_vcd.mpg", "system_mplex.mpg",
                                           "elementary_ffmpeg.m1v", "elementary_mpeg2enc.m1v"));

TEST_F(Command, ProbeAsTextNamesTheStreamAndItsNumbers) {
    const std::string file = kData + "system_ffmpeg.mpg";
    const Result run = Tool({"probe", file});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const Findings f = AskDirectly(file);
    EXPECT_NE(run.out.find("system stream (FileType 4)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("at byte " + std::to_string(f.seq_end) + " (VidSeqEnd)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("length          " + std::to_string(f.length_ms) + " ms"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("frames          " + std::to_string(f.frames)), std::string::npos) << run.out;
}

TEST_F(Command, ProbeOfAMissingFileFailsInOneLine) {
    const Result run = Tool({"probe", Path("missing.mpg")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 probe: cannot open " + Path("missing.mpg") +
                                                       ": No such file or directory"});
}

TEST_F(Command, ProbeOfAFileThatIsNoStreamFailsButStillReportsAsJson) {
    const std::string text = Path("notes.txt");
    std::ofstream(text) << "\x00\x00\x01\xB5 not a stream";
    const Result run = Tool({"probe", "--json", text});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(Lines(run.err).back().find("is not an MPEG-1 stream"), std::string::npos) << run.err;
    std::ofstream(Path("probe.json")) << run.out;
    const std::string command = "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                                "assert d['cutter']['recognised'] is False and d['mci']['opened'] is False\" " +
                                Path("probe.json");
    EXPECT_EQ(std::system(command.c_str()), 0) << run.out;
}

// ---- mci ------------------------------------------------------------------------

TEST_F(Command, MciSendsOneCommandAndPrintsCodeDescriptionAndReply) {
    const Result bad = Tool({"mci", "status", "nothing", "length"});
    EXPECT_EQ(bad.exit_code, 1);
    char reply[128] = {};
    const MCIERROR code = mciSendStringA("status nothing length", reply, sizeof reply, nullptr);
    ASSERT_NE(code, 0u);
    char text[256] = {};
    ASSERT_TRUE(mciGetErrorStringA(code, text, sizeof text));
    EXPECT_EQ(bad.out, "code " + std::to_string(code) + ": " + text + "\n");

    const Result good = Tool({"mci", "sysinfo", "all", "quantity"});
    EXPECT_EQ(good.exit_code, 0) << good.out;
    ASSERT_EQ(mciSendStringA("sysinfo all quantity", reply, sizeof reply, nullptr), 0u);
    EXPECT_EQ(good.out, std::string("code 0: The command was carried out.\n") + (reply[0] ? "reply: " + std::string(reply) + "\n" : ""));
}

TEST_F(Command, MciShellFromAPipeKeepsDevicesOpenBetweenLines) {
    const std::string file = kData + "system_ffmpeg.mpg";
    const Result run = Tool({"mci"}, "open " + file + " type mpegvideo alias clip\n"
                                    "\n"
                                    "# a comment\n"
                                    "set clip time format milliseconds\n"
                                    "status clip length\n"
                                    "set clip time format frames\n"
                                    "  status clip length  \n"
                                    "status clip bogus\n"
                                    "where clip source\n"
                                    "close clip\n"
                                    "status clip length\n");
    EXPECT_EQ(run.exit_code, 0);
    const Findings f = AskDirectly(file);
    const std::vector<std::string> lines = Lines(run.out);
    // No prompt: standard input is not a terminal.
    for (const std::string &line : lines) EXPECT_EQ(line.find("mci>"), std::string::npos);
    std::vector<std::string> replies, codes;
    for (const std::string &line : lines) {
        if (line.rfind("reply: ", 0) == 0) replies.push_back(line.substr(7));
        else codes.push_back(line.substr(0, line.find(':')));
    }
    ASSERT_EQ(codes.size(), 9u) << run.out;
    EXPECT_EQ(codes[0], "code 0");
    EXPECT_EQ(codes[2], "code 0");
    EXPECT_NE(codes[5], "code 0"); // the unknown item
    EXPECT_EQ(codes[7], "code 0");
    EXPECT_NE(codes[8], "code 0"); // closed by then
    EXPECT_NE(std::find(replies.begin(), replies.end(), std::to_string(f.length_ms)), replies.end()) << run.out;
    EXPECT_NE(std::find(replies.begin(), replies.end(), std::to_string(f.frames)), replies.end()) << run.out;
    EXPECT_NE(std::find(replies.begin(), replies.end(), f.where), replies.end()) << run.out;
}

TEST_F(Command, MciShellStopsAtQuit) {
    const Result run = Tool({"mci"}, "sysinfo all quantity\nquit\nstatus nothing length\n");
    EXPECT_EQ(run.exit_code, 0);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "code 0: The command was carried out.");
    // The command after quit is never sent.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("code ", 0) == 0; }),
              1);
}

// ---- call and members -------------------------------------------------------------

TEST_F(Command, CallRunsStepsInOrderWithResultsAndByRefValues) {
    const std::string file = kData + "system_ffmpeg.mpg";
    const Result run = Tool({"call", "Tarvex10.clsKwVidoCutVideoA", "init", file, "FileType", "VidSeqEnd",
                            "startT=2.5", "startT", "FindNext", "0", "224"});
    ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    auto cutter = NewCutter();
    tvx::Bstr path(tvx::convert::FromUtf8(file));
    ASSERT_EQ(cutter->init(path.Get()), S_OK);
    SHORT file_type = 0, found = 0;
    LONG seq_end = 0, off = 0;
    cutter->get_FileType(&file_type);
    cutter->get_VidSeqEnd(&seq_end);
    ASSERT_EQ(cutter->FindNext(&off, 224, &found), S_OK);
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{"init(" + file + "): status 0x00000000 (S_OK)",
                                        "FileType: status 0x00000000 (S_OK), result int16 " +
                                            std::to_string(file_type),
                                        "VidSeqEnd: status 0x00000000 (S_OK), result int32 " +
                                            std::to_string(seq_end),
                                        "startT=2.5: status 0x00000000 (S_OK)",
                                        "startT: status 0x00000000 (S_OK), result double 2.5",
                                        "FindNext(0, 224): status 0x00000000 (S_OK), result int16 " +
                                            std::to_string(found),
                                        "  off = int32 " + std::to_string(off)}));
}

TEST_F(Command, CallPassesTextToStringParametersAsWritten) {
    // "007" would be 7 as a number; the movie player keeps the text.
    const Result run = Tool({"call", "Tarvex10.clsKwVidoMoviesA", "filename=007", "filename"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out).back(), "filename: status 0x00000000 (S_OK), result string \"007\"");
}

TEST_F(Command, CallGoesOnAfterAFailingStepAndExitsWithOne) {
    const Result run = Tool({"call", "Tarvex10.clsKwVidoCutVideoA", "TotalTime=0", "TimeToOffSets", "Tmax"});
    EXPECT_EQ(run.exit_code, 1);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[1], "TimeToOffSets: status 0x800A000B: error 11: Division by zero");
    EXPECT_EQ(lines[2], "Tmax: status 0x00000000 (S_OK), result double 0");
}

TEST_F(Command, CallReportsArgumentsTheDispatchLayerCannotConvert) {
    const Result run = Tool({"call", "Tarvex10.clsKwVidoCutVideoA", "FileType=many"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("FileType=many: status 0x80020005"), std::string::npos) << run.out;
}

TEST_F(Command, CallChecksTheWholeCommandLineBeforeCallingAnything) {
    const Result unknown = Tool({"call", "Tarvex10.clsKwVidoCutVideoA", "FileType=4", "NoSuchMember"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_TRUE(unknown.out.empty()) << unknown.out;
    EXPECT_EQ(Lines(unknown.err),
              std::vector<std::string>{"tarvex10 call: no member named 'NoSuchMember' in Tarvex10.clsKwVidoCutVideoA"});
    const Result short_of_args = Tool({"call", "Tarvex10.clsKwVidoCutVideoA", "FindNext", "0"});
    EXPECT_EQ(short_of_args.exit_code, 2);
    const Result no_class = Tool({"call", "Tarvex10.NoSuchClass"});
    EXPECT_EQ(no_class.exit_code, 1);
    EXPECT_EQ(Lines(no_class.err), std::vector<std::string>{"tarvex10 call: no class is registered as Tarvex10.NoSuchClass"});
}

TEST_F(Command, MembersListsTheTypeInformation) {
    const Result run = Tool({"members", "Tarvex10.clsKwVidoCutVideoA"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Tarvex10.clsKwVidoCutVideoA: interface _clsKwVidoCutVideoA, " +
                            std::to_string(lines.size() - 1) + " members");
    const auto has = [&](const std::string &text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("method  CutVideo(Inpath: string, OutPath: string, fromT: int32, toT: int32, "
                    "TotalDuration: int32) -> int16"));
    EXPECT_TRUE(has("method  FindNext(off: int32 by ref, mark: byte) -> int16"));
    EXPECT_TRUE(has("put     startT(double) -> -"));
}

// ---- register and unregister --------------------------------------------------------

TEST_F(Command, RegisterWritesTheRegistryThatLaterRunsUse) {
    const std::string registry = Path("registry");
    const Result added = Tool({"register", "--component", TVX_COMPONENT_PATH});
    ASSERT_EQ(added.exit_code, 0) << added.err;
    EXPECT_NE(added.out.find(registry), std::string::npos) << added.out;
    EXPECT_NE(ReadFile(registry).find("Tarvex10.clsKwVidoCutVideoA"), std::string::npos);
    // The framework library next to the component goes in with it.
    EXPECT_NE(ReadFile(registry).find("KwBasalt10.clsKwBasalt10A"), std::string::npos);
    // Creation now goes through this registry, without a private one.
    const Result cut = Tool({"cut", "-v", kData + "system_ffmpeg.mpg", Path("cut.mpg"), "1", "4"});
    EXPECT_EQ(cut.exit_code, 0) << cut.err;
    EXPECT_EQ(cut.out.find("registered for this run only"), std::string::npos) << cut.out;

    const Result removed = Tool({"unregister", "--component", TVX_COMPONENT_PATH});
    ASSERT_EQ(removed.exit_code, 0) << removed.err;
    EXPECT_EQ(ReadFile(registry).find("Tarvex10.clsKwVidoCutVideoA"), std::string::npos);
    EXPECT_EQ(ReadFile(registry).find("KwBasalt10.clsKwBasalt10A"), std::string::npos);
    const Result again = Tool({"cut", "-v", "-y", kData + "system_ffmpeg.mpg", Path("cut.mpg"), "1", "4"});
    EXPECT_EQ(again.exit_code, 0) << again.err;
    EXPECT_NE(again.out.find("registered for this run only"), std::string::npos) << again.out;
}

TEST_F(Command, RegisterFindsTheComponentNextToTheCommand) {
    const Result run = Tool({"register"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find(fs::canonical(TVX_COMPONENT_PATH).string()), std::string::npos) << run.out;
}

TEST_F(Command, AComponentThatIsNotThereIsOneLineAndExitOne) {
    for (const char *command : {"register", "unregister"}) {
        const Result run = Tool({command, "--component", Path("nothing.so")});
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(Lines(run.err), std::vector<std::string>{"tarvex10 " + std::string(command) +
                                                           ": no component at " + Path("nothing.so")});
    }
    const Result cut = Tool({"cut", "--component", Path("nothing.so"), "a", "b", "1", "2", "3"});
    EXPECT_EQ(cut.exit_code, 1);
    EXPECT_EQ(Lines(cut.err).size(), 1u);
}

TEST_F(Command, ARegistryNamingAMissingComponentSaysWhatToDo) {
    const std::string copy = Path("libtarvex10.so");
    fs::copy_file(TVX_COMPONENT_PATH, copy);
    ASSERT_EQ(Tool({"register", "--component", copy}).exit_code, 0);
    fs::remove(copy);
    const Result run = Tool({"members", "Tarvex10.clsKwVidoCutVideoA"});
    EXPECT_EQ(run.exit_code, 1);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find("run 'tarvex10 register' or give --component PATH"), std::string::npos) << lines[0];
}

// ---- help and the command line ---------------------------------------------------------

TEST_F(Command, EveryCommandHasHelp) {
    for (const char *command : {"cut", "probe", "mci", "call", "members", "register", "unregister"}) {
        const Result run = Tool({command, "--help"});
        EXPECT_EQ(run.exit_code, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("usage: tarvex10 ") + command, 0), 0u) << run.out;
        EXPECT_EQ(Tool({"help", command}).out, run.out) << command;
    }
    const Result main_help = Tool({"--help"});
    EXPECT_EQ(main_help.exit_code, 0);
    std::string text = main_help.out;
    std::replace(text.begin(), text.end(), '\n', ' ');
    EXPECT_NE(text.find("private registry"), std::string::npos);
}

TEST_F(Command, HelpIsWrappedToTheTerminalAndTheVersionIsOneLine) {
    setenv("COLUMNS", "50", 1);
    const Result help = Tool({"help", "cut"});
    unsetenv("COLUMNS");
    EXPECT_EQ(help.exit_code, 0);
    for (const std::string &line : Lines(help.out)) {
        const bool as_written = line.starts_with("usage:") || line.starts_with(" ") || line.starts_with("example:");
        EXPECT_TRUE(as_written || line.size() <= 50) << line;
    }
    const Result version = Tool({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(Lines(version.out), std::vector<std::string>{"tarvex10 " TVX_PROJECT_VERSION});
    EXPECT_EQ(Tool({"help", "cut", "probe"}).exit_code, 2);
    EXPECT_EQ(Tool({"help", "slice"}).exit_code, 2);
}

TEST_F(Command, UnknownCommandsAndOptionsAreUsageErrors) {
    const Result unknown = Tool({"slice"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(Lines(unknown.err), std::vector<std::string>{"tarvex10: unknown command 'slice' (see tarvex10 --help)"});
    EXPECT_EQ(Tool({}).exit_code, 2);
    const Result option = Tool({"probe", "--yaml", "x"});
    EXPECT_EQ(option.exit_code, 2);
    EXPECT_EQ(Lines(option.err), std::vector<std::string>{"tarvex10 probe: unknown option --yaml (see tarvex10 probe --help)"});
}

} // namespace
