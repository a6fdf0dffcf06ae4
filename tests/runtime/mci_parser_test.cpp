// The built-in media control interpreter: how it reads commands (words,
// quotes, integers, rectangles, keywords) and the error number of every
// malformed command; the reply buffer contract; the process-wide alias
// table and the device name "all".
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../runtime/mci/cdaudio.h"
#include "support/mci_client.h"
#include "tarvex10/platform.h"

namespace {

const std::string kMovie = std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg";
const std::string kOther = std::string(TVX_SOURCE_DIR) + "/tests/data/elementary_mpeg2enc.m1v";

using tvx::testing::Answer;
using tvx::testing::Send;

// A clock that stands still unless a test moves it.
class StillClock {
public:
    StillClock() { TvxSetClock(&Read, this); }
    ~StillClock() { TvxSetClock(nullptr, nullptr); }
    double now = 36000;

private:
    static double Read(void *self) { return static_cast<StillClock *>(self)->now; }
};

class Interpreter : public ::testing::Test {
protected:
    Interpreter() {
        // No test may depend on the machine having a CD drive.
        tvx::mci::SetCdDriveOpener([](const std::string &) { return nullptr; });
        Send("close all");
    }
    ~Interpreter() override {
        Send("close all");
        tvx::mci::SetCdDriveOpener(nullptr);
    }
    void OpenMovie(const std::string &alias = "v", const std::string &path = kMovie) {
        ASSERT_EQ(Send("open \"" + path + "\" type mpegvideo alias " + alias).code, 0u);
    }
    StillClock clock_;
};

struct Case {
    const char *command;
    MCIERROR code;
    const char *fault; // what a wrong answer would reveal
};

void RunCases(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " -- " + c.fault);
        const Answer answer = Send(c.command);
        EXPECT_EQ(answer.code, c.code);
        if (c.code != 0) {
            EXPECT_EQ(answer.reply, "");
        }
    }
}

// Catches: malformed commands accepted, or refused with a number other than
// the one the interface gives for that fault.
TEST_F(Interpreter, MalformedCommandsGetTheirErrorNumbers) {
    OpenMovie();
    RunCases({
        {"", 267, "empty command"},
        {" \t ", 267, "blank command"},
        {"frobnicate v", 261, "unknown verb"},
        {"open", 292, "open without a name"},
        {"play", 292, "verb without a device name"},
        {"status v", 273, "status without an item"},
        {"status v nsa", 290, "unknown status item"},
        {"status v 99", 290, "item number that names no item"},
        {"status v length position", 284, "two items at once"},
        {"status v mode mode", 295, "the same item twice"},
        {"status v mode wait wait", 295, "the same flag twice"},
        {"status v position start track 1", 284, "start and track together"},
        {"status v format tag", 290, "an item this device does not have"},
        {"status v bitsperpel", 274, "an item the device knows but cannot answer"},
        {"set v milliseconds", 259, "a time format word without 'time format'"},
        {"set v time format bytes", 293, "a time format this device lacks"},
        {"set v time format fortnights", 293, "a time format nobody has"},
        {"set v time format", 293, "time format without a value"},
        {"set v", 273, "set with nothing to set"},
        {"set v video", 273, "video without on or off"},
        {"set v door open", 274, "a door on a device without one"},
        {"seek v", 273, "seek without a target"},
        {"seek v to", 270, "seek to without a number"},
        {"seek v to start to 0", 284, "two seek targets"},
        {"seek v to 0xfa", 270, "hexadecimal integer"},
        {"seek v to 1:2:3:4:5", 270, "five colon fields"},
        {"seek v to 256:0", 270, "a colon field above 255"},
        {"seek v to :", 270, "colon fields without a digit"},
        {"seek v to 12a", 270, "trailing letters"},
        {"seek v to -", 270, "a lone minus"},
        {"seek v to 99999999999", 270, "beyond 32 bits"},
        {"seek v to -1", 282, "a negative position"},
        {"seek v to 99999999", 282, "past the end"},
        {"put v window at 0 0", 270, "a rectangle of two numbers"},
        {"put v window at 0 0 10 x", 270, "a rectangle with a word in it"},
        {"put v", 273, "put without a rectangle name"},
        {"where v", 273, "where without a rectangle name"},
        {"where v source destination", 284, "two rectangles at once"},
        {"window v state sideways", 290, "unknown window state"},
        {"window v", 273, "window without anything to change"},
        {"setaudio v volume to 1001", 282, "volume above 1000"},
        {"setaudio v volume to -1", 282, "negative volume"},
        {"setaudio v volume 500", 259, "volume without 'to'"},
        {"setaudio v 500", 259, "a bare number"},
        {"info v copyright", 259, "an info item only other devices have"},
        {"info v name", 259, "an info item only other devices have"},
        {"info v", 273, "info without an item"},
        {"play v from 99999999", 282, "play from beyond the end"},
        {"play v to 99999999", 282, "play to beyond the end"},
        {"play v from 1000 to 500", 282, "play backwards"},
        {"play v sideways", 259, "unknown play flag"},
        {"record v", 274, "recording on a player"},
        {"open \"unterminated", 294, "missing closing quote"},
        {"open \"a\"b type mpegvideo alias q", 305, "text glued to a closing quote"},
        {"open notify", 263, "a flag where the name belongs"},
        {"open new type mpegvideo", 299, "new without an alias"},
        {"open x.xyz", 281, "an extension no type claims"},
        {"open somefile", 263, "no type, no extension"},
        {"open /no/such/file.mpg alias q", 275, "a missing file"},
        {"open \"/no/such/file\" type mpegvideo alias q", 275, "a missing file with a type"},
        {"open a.wav type waveaudio alias q", 263, "a device type that does not exist here"},
        {"open \"" TVX_SOURCE_DIR "/tests/data/make_samples.sh\" type mpegvideo alias q", 296,
         "a file that is not MPEG-1 video"},
        {"open \"" TVX_SOURCE_DIR "/tests/data/system_vcd.mpg\" type mpegvideo alias V", 289,
         "an alias in use, in other case"},
        {"open \"" TVX_SOURCE_DIR "/tests/data/system_vcd.mpg\" type mpegvideo alias all", 279,
         "the alias all"},
        {"status nosuch mode", 263, "an alias nobody opened"},
        {"close nosuch", 263, "closing an alias nobody opened"},
        {"where nosuch source", 261, "a device verb for an unknown name"},
        {"status nosuch.mpg mode", 275, "an automatically opened file that does not exist"},
        {"status all mode", 279, "status of all devices"},
        {"info all product", 279, "info of all devices"},
        {"open all", 279, "opening all"},
        {"where all source", 261, "a device verb with all"},
        {"step all by 1", 261, "a device verb with all"},
        {"set all speed 500", 259, "a device keyword with all"},
        {"sysinfo all installname", 279, "installname of all"},
        {"play nosuch.mpg notify", 300, "notify on an automatic open"},
    });
}

// Catches: case-sensitive keywords or aliases, quotes kept in names, extra
// blanks breaking the split, item numbers not read.
TEST_F(Interpreter, WordsIgnoreCaseQuotesAndExtraBlanks) {
    OpenMovie("MyClip");
    for (const char *command : {"status myclip mode", "STATUS MYCLIP MODE", "Status \"MyClip\" Mode",
                                "  status\tmyclip   mode  wait ", "status myclip 4"}) {
        SCOPED_TRACE(command);
        const Answer answer = Send(command);
        EXPECT_EQ(answer.code, 0u);
        EXPECT_EQ(answer.reply, "stopped");
    }
    EXPECT_EQ(Send("status myclip time format").reply, "milliseconds");
    EXPECT_EQ(Send("status myclip 6").reply, "milliseconds");
}

// Catches: colon-packed integers read in the wrong byte order, empty fields
// refused, or decimal positions misread.
TEST_F(Interpreter, IntegersAreDecimalOrColonPacked) {
    OpenMovie();
    struct {
        const char *target;
        const char *position;
    } cases[] = {{"1500", "1500"}, {"220:5:0", "1500"}, {"250::", "250"}, {":1", "256"}, {"0", "0"},
                 {"4:1", "260"}, {"1:1:0:0", "257"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        ASSERT_EQ(Send(std::string("seek v to ") + c.target).code, 0u);
        EXPECT_EQ(Send("status v position").reply, c.position);
    }
}

// Catches: a reply written past capacity - 1, no NUL, bytes after the NUL
// changed, a reply cut short instead of refused, capacity 0 or no buffer
// touched, and an open refused for its reply that left the device open.
TEST_F(Interpreter, RepliesKeepTheBufferContract) {
    OpenMovie();
    const std::string full = "stopped";
    for (UINT capacity : {1u, 2u, 7u, 8u, 9u, 16u}) {
        SCOPED_TRACE(capacity);
        char buffer[20];
        std::memset(buffer, 'X', sizeof buffer);
        const MCIERROR code = mciSendStringA("status v mode", buffer, capacity, nullptr);
        std::string expected;
        if (capacity > full.size()) {
            EXPECT_EQ(code, 0u);
            expected = full + '\0';
        } else {
            EXPECT_EQ(code, 268u) << "a reply that does not fit is refused, not cut";
            expected = std::string(1, '\0');
        }
        expected.resize(sizeof buffer, 'X');
        EXPECT_EQ(std::string(buffer, sizeof buffer), expected);
    }
    char untouched[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(mciSendStringA("status v mode", untouched, 0, nullptr), 0u);
    EXPECT_EQ(std::string(untouched, 4), "XXXX");
    EXPECT_EQ(mciSendStringA("status v mode", nullptr, 128, nullptr), 0u);
    // A command without a reply writes just the NUL.
    char plain[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(mciSendStringA("seek v to 100", plain, sizeof plain, nullptr), 0u);
    EXPECT_EQ(std::string(plain, 4), std::string("\0XXX", 4));

    // An open whose device number does not fit is refused before it opens:
    // the same open then succeeds instead of finding the alias taken.
    const std::string open = "open \"" + kOther + "\" type mpegvideo alias w";
    char one[1];
    EXPECT_EQ(mciSendStringA(open.c_str(), one, sizeof one, nullptr), 268u);
    EXPECT_EQ(Send("status w mode").code, 263u) << "nothing was opened";
    EXPECT_EQ(mciSendStringA(open.c_str(), nullptr, 0, nullptr), 0u);
}

// Catches: open not replying the device id, ids not reused, and the
// default alias (the file or type name) not registered.
TEST_F(Interpreter, OpenRepliesTheDeviceIdAndDefaultsTheAlias) {
    EXPECT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias a").reply, "1");
    EXPECT_EQ(Send("open \"" + kOther + "\" type mpegvideo alias b").reply, "2");
    ASSERT_EQ(Send("close a").code, 0u);
    EXPECT_EQ(Send("open \"" + kOther + "\" type mpegvideo alias c").reply, "1");
    // Without an alias the file name is the alias; "type!file" works as well.
    ASSERT_EQ(Send("open " + kOther).code, 0u);
    EXPECT_EQ(Send("status " + kOther + " ready").reply, "true");
    ASSERT_EQ(Send("open mpegvideo!" + kMovie + " alias d").code, 0u);
    EXPECT_EQ(Send("where d source").reply, "0 0 320 240");
    // A device opened by type alone has no file.
    ASSERT_EQ(Send("open mpegvideo").code, 0u);
    EXPECT_EQ(Send("status mpegvideo mode").reply, "not ready");
    EXPECT_EQ(Send("play mpegvideo").code, 302u);
    EXPECT_EQ(Send("where mpegvideo source").code, 346u);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "5");
}

// Catches: a file name with blanks cut at its first blank when the caller
// did not quote it (the device layer sends names as they are).
TEST_F(Interpreter, UnquotedFileNamesWithBlanksAreTakenWhole) {
    char dir_template[] = "/tmp/tvx_mci_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string path = std::string(dir_template) + "/my movie file.mpg";
    ASSERT_EQ(std::system(("cp " + kMovie + " '" + path + "'").c_str()), 0);
    EXPECT_EQ(Send("open " + path + " type mpegvideo alias spaced parent 0 style child ").code, 0u);
    EXPECT_EQ(Send("info spaced file").reply, path);
    // Without the type, the extension of the whole name counts.
    EXPECT_EQ(Send("open " + path + " alias spaced2").code, 0u);
    // Words that do not make up a file stay an error.
    EXPECT_EQ(Send("open " + path + " bogus type mpegvideo alias q").code, 259u);
    std::remove(path.c_str());
    rmdir(dir_template);
}

// Catches: close all leaving devices behind, or failing when none is open;
// a closed alias still answering.
TEST_F(Interpreter, CloseAllClosesEveryDevice) {
    EXPECT_EQ(Send("close all").code, 0u);
    OpenMovie("a");
    OpenMovie("b", kOther);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "2");
    EXPECT_EQ(Send("sysinfo all name 2 open").reply, "b");
    EXPECT_EQ(Send("close all").code, 0u);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "0");
    EXPECT_EQ(Send("status a mode").code, 263u);
    EXPECT_EQ(Send("close all wait").code, 0u);
    EXPECT_EQ(Send("close all bogus").code, 259u);
}

// Catches: "all" reaching only one device, errors of several devices not
// combined, and device keywords accepted under "all".
TEST_F(Interpreter, AllReachesEveryOpenDevice) {
    OpenMovie("a");
    OpenMovie("b", kOther);
    EXPECT_EQ(Send("set all video off").code, 0u);
    EXPECT_EQ(Send("status a video").reply, "off");
    EXPECT_EQ(Send("status b video").reply, "off");
    EXPECT_EQ(Send("set all time format frames").code, 0u);
    EXPECT_EQ(Send("status b time format").reply, "frames");
    EXPECT_EQ(Send("play all").code, 0u);
    EXPECT_EQ(Send("status a mode").reply, "playing");
    EXPECT_EQ(Send("status b mode").reply, "playing");
    EXPECT_EQ(Send("pause all").code, 0u);
    EXPECT_EQ(Send("status b mode").reply, "paused");
    // The same refusal from every device is that refusal; different answers
    // are "several devices failed".
    EXPECT_EQ(Send("stop all").code, 0u);
    EXPECT_EQ(Send("resume all").code, 302u);
    EXPECT_EQ(Send("pause a").code, 0u);
    EXPECT_EQ(Send("resume all").code, 280u);
    EXPECT_EQ(Send("status a mode").reply, "playing");
    EXPECT_EQ(Send("seek all to start").code, 0u);
    EXPECT_EQ(Send("status a position").reply, "0");
}

// Catches: a core verb on a type or file name not opening the device for
// the command, a non-play command leaving it open, a play closing it, and
// reopening its name under open counted as a plain duplicate.
TEST_F(Interpreter, CoreVerbsOpenDevicesByTypeOrFileName) {
    EXPECT_EQ(Send("status mpegvideo ready").reply, "false");
    EXPECT_EQ(Send("status " + kMovie + " length").reply, "6000");
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "0");
    EXPECT_EQ(Send("play " + kMovie).code, 0u);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "1");
    EXPECT_EQ(Send("status " + kMovie + " mode").reply, "playing");
    EXPECT_EQ(Send("open " + kMovie).code, 265u);
    // Devices opened this way are not reached by "all" (but are closed by it).
    EXPECT_EQ(Send("pause all").code, 0u);
    EXPECT_EQ(Send("status " + kMovie + " mode").reply, "playing");
    EXPECT_EQ(Send("close all").code, 0u);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "0");
}

// Runs each of `commands` on a thread of its own, all let go at once; their
// error numbers, in the same order.
std::vector<MCIERROR> AtOnce(const std::vector<std::string> &commands) {
    std::atomic<size_t> ready{0};
    std::vector<MCIERROR> codes(commands.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < commands.size(); ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < commands.size()) std::this_thread::yield();
            codes[i] = Send(commands[i]).code;
        });
    }
    for (auto &thread : threads) thread.join();
    return codes;
}

// Catches: callers that name one file at once each opening a device of
// their own, so that all but the first to finish are refused (265) for the
// device that another opened meanwhile, instead of reaching it.
TEST_F(Interpreter, CallersOpeningOneNameAtOnceShareItsDevice) {
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::string play = "play " + kMovie;
        for (MCIERROR code : AtOnce({play, play, play})) EXPECT_EQ(code, 0u);
        EXPECT_EQ(Send("sysinfo all quantity open").reply, "1");
        EXPECT_EQ(Send("status " + kMovie + " mode").reply, "playing");
        ASSERT_EQ(Send("close all").code, 0u);

        // An open and a play: the play reaches the device that the open
        // made, or the open finds the name taken by the play's.
        const std::vector<MCIERROR> codes = AtOnce({"open " + kMovie, play});
        EXPECT_TRUE(codes[0] == 0u || codes[0] == 265u) << codes[0];
        EXPECT_EQ(codes[1], 0u);
        EXPECT_EQ(Send("status " + kMovie + " mode").reply, "playing");
        ASSERT_EQ(Send("close all").code, 0u);
    }
}

// Catches: sysinfo answering for the wrong set of devices or types.
TEST_F(Interpreter, SysinfoCountsTypesAndOpenDevices) {
    EXPECT_EQ(Send("sysinfo all quantity").reply, "2");
    EXPECT_EQ(Send("sysinfo all name 1").reply, "mpegvideo");
    EXPECT_EQ(Send("sysinfo all name 3").code, 282u);
    OpenMovie("a");
    EXPECT_EQ(Send("sysinfo mpegvideo quantity open").reply, "1");
    EXPECT_EQ(Send("sysinfo cdaudio quantity open").reply, "0");
    EXPECT_EQ(Send("sysinfo a installname").reply, "mpegvideo");
    EXPECT_EQ(Send("sysinfo all").code, 273u);
}

// Catches: aliases kept per thread (another thread must reach the device),
// and a table that concurrent opens and closes corrupt.
TEST_F(Interpreter, AliasesBelongToTheProcess) {
    std::thread([] { EXPECT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias shared").code, 0u); }).join();
    EXPECT_EQ(Send("status shared ready").reply, "true");
    std::thread([] { EXPECT_EQ(Send("close shared").code, 0u); }).join();
    EXPECT_EQ(Send("status shared ready").code, 263u);

    constexpr int kThreads = 4, kRounds = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string alias = "t" + std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                EXPECT_EQ(Send("open \"" + kOther + "\" type mpegvideo alias " + alias).code, 0u);
                EXPECT_EQ(Send("status " + alias + " length").reply, "4000");
                EXPECT_EQ(Send("open \"" + kOther + "\" type mpegvideo alias " + alias).code, 289u);
                EXPECT_EQ(Send("close " + alias).code, 0u);
            }
            EXPECT_EQ(Send("open \"" + kOther + "\" type mpegvideo alias " + alias).code, 0u);
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(Send("sysinfo all quantity open").reply, std::to_string(kThreads));
}

} // namespace
