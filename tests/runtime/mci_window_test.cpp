// The mpegvideo device's window, kept as state since there is no display:
// what window, put and where keep and report.
#include <gtest/gtest.h>

#include <string>

#include "support/mci_client.h"
#include "tarvex10/platform.h"

namespace {

const std::string kMovie = std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg"; // 320 x 240

using tvx::testing::Answer;
using tvx::testing::Send;

class Window : public ::testing::Test {
protected:
    Window() { Send("close all"); }
    ~Window() override { Send("close all"); }
    void Open(const std::string &extra = "") {
        ASSERT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias w" + extra).code, 0u);
    }
    std::string Where(const std::string &what) { return Send("where w " + what).reply; }
};

// Catches: rectangles not reported as left, top, width, height, or not
// starting at the picture's size, and a window titled otherwise than by the
// name the device goes by.
TEST_F(Window, StartsAtThePictureSize) {
    Open();
    EXPECT_EQ(Where("source"), "0 0 320 240");
    EXPECT_EQ(Where("source max"), "0 0 320 240");
    EXPECT_EQ(Where("destination"), "0 0 320 240");
    EXPECT_EQ(Where("destination max"), "0 0 320 240");
    EXPECT_EQ(Where("window"), "0 0 320 240");
    // Titled with the name the device goes by: its alias, else the element.
    EXPECT_EQ(Send("info w window text").reply, "w");
    ASSERT_EQ(Send("open \"" + kMovie + "\" type mpegvideo").code, 0u);
    EXPECT_EQ(Send("info \"" + kMovie + "\" window text").reply, kMovie);
}

// Catches: put not kept, a move with zero size resizing to nothing, the
// picture not following the window's size, and "put window" without a
// rectangle not going back to the default.
TEST_F(Window, PutMovesAndSizesTheWindow) {
    Open();
    struct Step {
        const char *command;
        const char *window, *destination, *destination_max;
    } steps[] = {
        {"put w window at 10 20 640 480", "10 20 640 480", "0 0 640 480", "0 0 640 480"},
        {"put w window at 30 40 0 0", "30 40 640 480", "0 0 640 480", "0 0 640 480"},
        {"put w destination at 5 6 100 80", "30 40 640 480", "5 6 100 80", "0 0 640 480"},
        {"put w window client at -10 0 800 600", "-10 0 800 600", "5 6 100 80", "0 0 800 600"},
        {"put w destination", "-10 0 800 600", "0 0 800 600", "0 0 800 600"},
        {"put w window", "0 0 320 240", "0 0 320 240", "0 0 320 240"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.command);
        ASSERT_EQ(Send(step.command).code, 0u);
        EXPECT_EQ(Where("window"), step.window);
        EXPECT_EQ(Where("destination"), step.destination);
        EXPECT_EQ(Where("destination max"), step.destination_max);
    }
    ASSERT_EQ(Send("put w source at 8 8 160 120").code, 0u);
    EXPECT_EQ(Where("source"), "8 8 160 120");
    EXPECT_EQ(Where("source max"), "0 0 320 240");
    ASSERT_EQ(Send("put w source").code, 0u);
    EXPECT_EQ(Where("source"), "0 0 320 240");
    EXPECT_EQ(Send("put w window at 0 0 -5 10").code, 282u);
    EXPECT_EQ(Send("put w destination client at 0 0 5 10").code, 284u);
}

// Catches: window states not kept, not told by "status … window visible"
// or not changing the window's size when maximized, and a child window's picture stretched to its window.
TEST_F(Window, StatesAndStyles) {
    Open();
    EXPECT_EQ(Send("status w window visible").reply, "false"); // until shown or played
    EXPECT_EQ(Send("window w state maximized").code, 0u);
    const std::string screen = Where("window max");
    EXPECT_NE(screen, "0 0 320 240");
    EXPECT_EQ(Where("window"), screen);
    for (const char *state : {"minimized", "hide", "show", "restore"}) {
        SCOPED_TRACE(state);
        EXPECT_EQ(Send(std::string("window w state ") + state).code, 0u);
        EXPECT_EQ(Where("window"), "0 0 320 240");
        EXPECT_EQ(Send("status w window visible").reply, std::string(state) == "hide" ? "false" : "true");
    }
    EXPECT_EQ(Send("window w text \"My film\"").code, 0u);
    EXPECT_EQ(Send("info w window text").reply, "My film");
    // Playing full screen fills the screen while it plays.
    EXPECT_EQ(Send("play w fullscreen").code, 0u);
    EXPECT_EQ(Where("window"), screen);
    EXPECT_EQ(Send("stop w").code, 0u);
    EXPECT_EQ(Where("window"), "0 0 320 240");
    Send("close w");

    Open(" parent 0 style child");
    ASSERT_EQ(Send("put w window at 0 0 640 480").code, 0u);
    EXPECT_EQ(Where("destination"), "0 0 320 240");
    EXPECT_EQ(Where("destination max"), "0 0 640 480");
    Send("close w");

    // In a caller's window the picture keeps its size, until the device's
    // own window is back.
    Open();
    Send("put w window at 0 0 640 480");
    ASSERT_EQ(Send("window w handle 4242").code, 0u);
    EXPECT_EQ(Where("destination"), "0 0 320 240");
    ASSERT_EQ(Send("window w handle default").code, 0u);
    EXPECT_EQ(Where("destination"), "0 0 640 480");
    EXPECT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias s style sideways").code, 290u);
    EXPECT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias s style 1073741824").code, 0u);
}

// Catches: a full screen that outlives its play (reaching its end point,
// moved off by a seek, followed by a play without it, or a pause after the
// end bringing it back) or that a pause, which does not end the play, drops.
TEST_F(Window, FullScreenLastsAsLongAsItsPlay) {
    tvx::testing::TestClock clock;
    Open();
    const std::string screen = Where("window max");
    const std::string normal = Where("window");
    ASSERT_EQ(Send("play w from 0 to 1000 fullscreen").code, 0u);
    EXPECT_EQ(Send("pause w").code, 0u);
    EXPECT_EQ(Where("window"), screen);
    EXPECT_EQ(Send("resume w").code, 0u);
    clock.Advance(0.5);
    EXPECT_EQ(Where("window"), screen);
    clock.Advance(1);
    EXPECT_EQ(Send("status w mode").reply, "stopped");
    EXPECT_EQ(Where("window"), normal);
    EXPECT_EQ(Send("pause w").code, 0u);
    EXPECT_EQ(Where("window"), normal);

    ASSERT_EQ(Send("play w from 0 fullscreen").code, 0u);
    EXPECT_EQ(Send("pause w").code, 0u);
    EXPECT_EQ(Send("seek w to 500").code, 0u);
    EXPECT_EQ(Where("window"), normal);
    ASSERT_EQ(Send("play w from 0 fullscreen").code, 0u);
    EXPECT_EQ(Where("window"), screen);
    ASSERT_EQ(Send("play w from 100").code, 0u);
    EXPECT_EQ(Where("window"), normal);
}

} // namespace
