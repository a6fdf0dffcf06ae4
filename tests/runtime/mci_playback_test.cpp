// mpegvideo playback against an injected clock: mode and position as time
// passes, speed, pause and resume, seeks and steps, time formats, repeat,
// midnight, "play … wait", sound switches and volumes, info texts.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/mci_client.h"
#include "tarvex10/platform.h"

namespace {

const std::string kData = std::string(TVX_SOURCE_DIR) + "/tests/data/";

using tvx::testing::Answer;
using tvx::testing::Send;
using tvx::testing::TestClock;

class Playback : public ::testing::Test {
protected:
    // system_ffmpeg.mpg: 150 pictures at 25 per second, 6000 ms.
    Playback() {
        Send("close all");
        Open("system_ffmpeg.mpg");
    }
    ~Playback() override { Send("close all"); }
    void Open(const std::string &file) {
        Send("close m");
        ASSERT_EQ(Send("open \"" + kData + file + "\" type mpegvideo alias m").code, 0u);
    }
    MCIERROR Do(const std::string &command) { return Send(command).code; }
    std::string Mode() { return Send("status m mode").reply; }
    std::string Position() { return Send("status m position").reply; }

    TestClock clock_;
};

// Catches: a position that does not follow the clock, a mode that stays
// "playing" past the end, or a position that runs past it.
TEST_F(Playback, PositionFollowsTheClockAndStopsAtTheEnd) {
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "0");
    ASSERT_EQ(Do("play m"), 0u);
    EXPECT_EQ(Mode(), "playing");
    clock_.Advance(1.5);
    EXPECT_EQ(Position(), "1500");
    clock_.Advance(2.25);
    EXPECT_EQ(Position(), "3750");
    EXPECT_EQ(Mode(), "playing");
    clock_.Advance(60);
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "6000");
    // Playing again at the end has nothing left to play.
    EXPECT_EQ(Do("play m"), 0u);
    EXPECT_EQ(Mode(), "stopped");
}

// Catches: pause that lets the position run on, resume that jumps, and
// resume of a stopped device accepted.
TEST_F(Playback, PauseHoldsThePositionAndResumeGoesOn) {
    Do("play m");
    clock_.Advance(1);
    ASSERT_EQ(Do("pause m"), 0u);
    EXPECT_EQ(Mode(), "paused");
    clock_.Advance(5);
    EXPECT_EQ(Position(), "1000");
    EXPECT_EQ(Do("pause m"), 0u) << "pausing twice is harmless";
    ASSERT_EQ(Do("resume m"), 0u);
    EXPECT_EQ(Mode(), "playing");
    clock_.Advance(0.5);
    EXPECT_EQ(Position(), "1500");
    EXPECT_EQ(Do("resume m"), 0u) << "resuming a playing device changes nothing";
    ASSERT_EQ(Do("stop m"), 0u);
    EXPECT_EQ(Mode(), "stopped");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "1500") << "stop keeps the position";
    EXPECT_EQ(Do("resume m"), 302u);
    // Paused from stopped, resume plays on to the end.
    EXPECT_EQ(Do("pause m"), 0u);
    EXPECT_EQ(Mode(), "paused");
    EXPECT_EQ(Do("resume m"), 0u);
    clock_.Advance(1);
    EXPECT_EQ(Position(), "2500");
}

// Catches: speed ignored, a speed change that rewrites the time already
// played, and a negative speed accepted.
TEST_F(Playback, SpeedScalesTheClock) {
    EXPECT_EQ(Send("status m speed").reply, "1000");
    Do("play m");
    clock_.Advance(1);
    ASSERT_EQ(Do("set m speed 2000"), 0u);
    EXPECT_EQ(Send("status m speed").reply, "2000");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "3000");
    Do("set m speed 500");
    clock_.Advance(2);
    EXPECT_EQ(Position(), "4000");
    EXPECT_EQ(Do("set m speed -1"), 282u);
    // 0 is as fast as possible.
    Do("set m speed 0");
    EXPECT_EQ(Position(), "6000");
    EXPECT_EQ(Mode(), "stopped");
}

// Catches: frame positions converted with the wrong rate or rounding, the
// time format not kept, and "to" ignored.
TEST_F(Playback, FromAndToInFramesAndMilliseconds) {
    EXPECT_EQ(Send("status m time format").reply, "milliseconds");
    ASSERT_EQ(Do("set m time format frames wait"), 0u);
    EXPECT_EQ(Send("status m time format").reply, "frames");
    EXPECT_EQ(Send("status m length").reply, "150");
    ASSERT_EQ(Do("play m from 25 to 50"), 0u);
    EXPECT_EQ(Position(), "25");
    clock_.Advance(0.5); // 12.5 pictures
    EXPECT_EQ(Position(), "37");
    clock_.Advance(1);
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "50");
    ASSERT_EQ(Do("set m time format ms"), 0u);
    EXPECT_EQ(Position(), "2000");
    EXPECT_EQ(Do("set m time format milliseconds"), 0u);
    EXPECT_EQ(Send("status m length").reply, "6000");
    // A play that would end before it starts is refused.
    Do("seek m to 3000");
    EXPECT_EQ(Do("play m to 1000"), 282u);
    EXPECT_EQ(Position(), "3000");
    EXPECT_EQ(Do("play m to 3000"), 0u) << "ending where it stands is fine";
    EXPECT_EQ(Mode(), "stopped");
}

// Catches: fractional frame rates converted with the rounded rate.
TEST_F(Playback, FrameNumbersAtAFractionalRate) {
    Open("elementary_ffmpeg.m1v"); // 150 pictures at 30000/1001 per second
    EXPECT_EQ(Send("status m length").reply, "5005");
    Do("set m time format frames");
    ASSERT_EQ(Do("seek m to 149"), 0u);
    EXPECT_EQ(Position(), "149");
    Do("set m time format ms");
    EXPECT_EQ(Position(), "4971"); // 149 * 1001 / 30, downwards
    Do("seek m to 1001");
    Do("set m time format frames");
    EXPECT_EQ(Position(), "30");
}

// Catches: seeks that leave the device playing, or land elsewhere.
TEST_F(Playback, SeeksLandAndStop) {
    Do("play m");
    clock_.Advance(1);
    ASSERT_EQ(Do("seek m to 2500"), 0u);
    EXPECT_EQ(Mode(), "stopped");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "2500");
    ASSERT_EQ(Do("seek m to end"), 0u);
    EXPECT_EQ(Position(), "6000");
    ASSERT_EQ(Do("seek m to start wait"), 0u);
    EXPECT_EQ(Position(), "0");
    EXPECT_EQ(Send("status m position start").reply, "0");
    // Playing from a seek point.
    Do("seek m to 4000");
    Do("play m");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "5000");
}

// Catches: a query that comes between the parts of a command reading the
// device or its transport while the command changes them (ThreadSanitizer
// tells), or answering a position that no command set.
TEST_F(Playback, QueriesAmongSeeksFromAnotherThreadSeeOneOrTheOther) {
    constexpr int kRounds = 300;
    std::thread seeker([] {
        for (int i = 0; i < kRounds; ++i) EXPECT_EQ(Send(i % 2 ? "seek m to 2000" : "seek m to 1000").code, 0u);
    });
    for (int i = 0; i < kRounds; ++i) {
        const std::string position = Position();
        EXPECT_TRUE(position == "0" || position == "1000" || position == "2000") << position;
        EXPECT_EQ(Mode(), "stopped");
    }
    seeker.join();
    EXPECT_EQ(Position(), "2000");
}

// Catches: steps counted in the time format instead of frames, steps past
// either end, and "reverse" ignored.
TEST_F(Playback, StepsAreWholeFrames) {
    ASSERT_EQ(Do("step m"), 0u);
    EXPECT_EQ(Position(), "40") << "one frame is 40 ms";
    Do("set m time format frames");
    Do("seek m to 10");
    ASSERT_EQ(Do("step m by 5"), 0u);
    EXPECT_EQ(Position(), "15");
    ASSERT_EQ(Do("step m by 5 reverse"), 0u);
    EXPECT_EQ(Position(), "10");
    ASSERT_EQ(Do("step m by -3"), 0u);
    EXPECT_EQ(Position(), "7");
    Do("step m by -100");
    EXPECT_EQ(Position(), "0");
    Do("step m by 1000");
    EXPECT_EQ(Position(), "150");
    Do("seek m to 20");
    Do("play m");
    clock_.Advance(0.2);
    ASSERT_EQ(Do("step m by 1"), 0u);
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "26");
}

// Catches: repeat that stops at the end point or restarts at the start of
// the file instead of the start point.
TEST_F(Playback, RepeatLoopsBetweenFromAndTo) {
    ASSERT_EQ(Do("play m from 1000 to 2000 repeat"), 0u);
    clock_.Advance(2.5);
    EXPECT_EQ(Mode(), "playing");
    EXPECT_EQ(Position(), "1500");
}

// Catches: a clock that passes midnight read as going backwards.
TEST_F(Playback, PlayingAcrossMidnight) {
    clock_.now = 86399.5;
    Do("play m");
    clock_.now = 0.5;
    EXPECT_EQ(Position(), "1000");
    EXPECT_EQ(Mode(), "playing");
}

// Catches: a clock set back an hour (daylight saving time ending) read as
// a whole day passing, which would end every play at once.
TEST_F(Playback, AClockSetBackIsNoDayPassing) {
    Do("play m");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "1000");
    clock_.now -= 3600;
    EXPECT_EQ(Position(), "1000");
    EXPECT_EQ(Mode(), "playing");
    clock_.Advance(1);
    EXPECT_EQ(Position(), "2000");
}

// Catches: "wait" returning before the play has ended, also when the play
// opened its device itself or went to all devices.
TEST_F(Playback, PlayWaitReturnsWhenThePlayEnds) {
    clock_.tick = 0.25;
    ASSERT_EQ(Do("play m from 0 to 1000 wait"), 0u);
    clock_.tick = 0;
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "1000");

    // The same for a device opened by the play itself and for "all".
    const std::string file = kData + "system_ffmpeg.mpg";
    clock_.tick = 0.25;
    const double before = clock_.now;
    ASSERT_EQ(Do("play \"" + file + "\" from 5000 wait"), 0u);
    EXPECT_GE(clock_.now - before, 1.0) << "returned before the second to the end had passed";
    ASSERT_EQ(Do("play all from 5000 wait"), 0u);
    clock_.tick = 0;
    EXPECT_EQ(Mode(), "stopped");
    EXPECT_EQ(Position(), "6000");
}

// Catches: switches that do not stick, one channel switching both, and
// "audio" reported off while one channel is still on.
TEST_F(Playback, AudioAndVideoSwitches) {
    EXPECT_EQ(Send("status m audio").reply, "on");
    EXPECT_EQ(Send("status m video").reply, "on");
    struct Step {
        const char *command;
        const char *audio;
    } steps[] = {
        {"set m audio all off", "off"}, {"set m audio left on", "on"},  {"set m audio left off", "off"},
        {"set m audio right on", "on"}, {"set m audio on", "on"},       {"setaudio m off", "off"},
        {"setaudio m right on", "on"},  {"setaudio m right off", "off"}, {"set m audio all on", "on"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.command);
        ASSERT_EQ(Do(step.command), 0u);
        EXPECT_EQ(Send("status m audio").reply, step.audio);
    }
    ASSERT_EQ(Do("set m video off"), 0u);
    EXPECT_EQ(Send("status m video").reply, "off");
    ASSERT_EQ(Do("set m video on"), 0u);
    EXPECT_EQ(Send("status m video").reply, "on");
    EXPECT_EQ(Do("set m audio on off"), 284u);
}

// Catches: per-channel volumes mixed up, the overall volume not their
// mean, and a refused volume applied anyway.
TEST_F(Playback, VolumesPerChannel) {
    EXPECT_EQ(Send("status m volume").reply, "1000");
    struct Step {
        const char *command;
        MCIERROR code;
        const char *volume, *left, *right;
    } steps[] = {
        {"setaudio m volume to 500", 0, "500", "500", "500"},
        {"setaudio m left volume to 200", 0, "350", "200", "500"},
        {"setaudio m right volume to 800", 0, "500", "200", "800"},
        {"setaudio m volume to 1001", 282, "500", "200", "800"},
        {"setaudio m left volume to 1000", 0, "900", "1000", "800"},
        {"setaudio m volume to 0", 0, "0", "0", "0"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.command);
        EXPECT_EQ(Do(step.command), step.code);
        EXPECT_EQ(Send("status m volume").reply, step.volume);
        EXPECT_EQ(Send("status m left volume").reply, step.left);
        EXPECT_EQ(Send("status m right volume").reply, step.right);
    }
}

// Catches: info texts missing or too long for a 32-character buffer, a file
// named as the open named it instead of by its full path, and queries that
// do not answer as the interface words them.
TEST_F(Playback, InfoAndOtherStatusItems) {
    const std::string product = Send("info m product").reply;
    EXPECT_FALSE(product.empty());
    char small[32];
    EXPECT_EQ(mciSendStringA("info m product", small, sizeof small, nullptr), 0u) << "fits 32 characters";
    EXPECT_FALSE(Send("info m version").reply.empty());
    EXPECT_EQ(Send("info m file").reply, kData + "system_ffmpeg.mpg");
    // A relative or roundabout name still answers with the full path.
    const std::string relative = std::filesystem::relative(kData + "system_ffmpeg.mpg").string();
    for (const std::string &name : {relative, kData + "../data/./system_ffmpeg.mpg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Do("open \"" + name + "\" type mpegvideo alias r"), 0u);
        EXPECT_EQ(Send("info r file").reply, kData + "system_ffmpeg.mpg");
        Do("close r");
    }
    EXPECT_EQ(Send("status m ready").reply, "true");
    EXPECT_EQ(Send("status m media present").reply, "true");
    EXPECT_EQ(Send("status m monitor input").reply, "file");
    EXPECT_EQ(Send("status m monitor output").reply, "file");
    EXPECT_EQ(Send("status m number of tracks").reply, "1");
    EXPECT_EQ(Send("status m length track 1").reply, "6000");
    EXPECT_EQ(Send("status m length track 2").code, 282u);
    EXPECT_EQ(Send("capability m can play").reply, "true");
    EXPECT_EQ(Send("capability m can record").reply, "false");
    EXPECT_EQ(Send("capability m has video").reply, "true");
    EXPECT_EQ(Send("capability m device type").reply, "digitalvideo");
    EXPECT_EQ(Send("capability m").code, 273u);
    EXPECT_EQ(Send("capability m can fly").code, 290u);
    EXPECT_EQ(Do("configure m"), 0u);
}

} // namespace
