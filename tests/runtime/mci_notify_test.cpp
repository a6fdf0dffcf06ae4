// Notifications of how a command ended, on the clock engine: what each
// outcome posts, to whom, and when a pending play's notification is
// superseded or aborted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "tarvex10/platform.h"

namespace {

const std::string kMovie = std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg"; // 6000 ms

// Read by the interpreter's watcher thread as well as the test's.
class SharedClock {
public:
    SharedClock() { TvxSetClock(&Read, this); }
    ~SharedClock() { TvxSetClock(nullptr, nullptr); }
    void Advance(double seconds) { now_ = now_ + seconds; }

private:
    static double Read(void *self) { return static_cast<SharedClock *>(self)->now_; }
    std::atomic<double> now_{36000};
};

struct Notified {
    HWND callback;
    UINT message, flags, device;
};

class Notifications : public ::testing::Test {
protected:
    Notifications() {
        Send("close all");
        TvxSetMciNotifyHandler(&Record, this);
    }
    ~Notifications() override {
        Send("close all");
        TvxSetMciNotifyHandler(nullptr, nullptr);
    }

    // Sends with this test's callback handle.
    MCIERROR Send(const std::string &command, std::string *reply = nullptr, HWND callback = kWindow) {
        char text[64] = "";
        const MCIERROR code = mciSendStringA(command.c_str(), text, sizeof text, callback);
        if (reply) *reply = text;
        return code;
    }
    // What was posted to this thread, once `count` notifications have come
    // (or after a while, so that a missing one fails rather than hangs).
    std::vector<Notified> Take(size_t count) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got_.size() < count && std::chrono::steady_clock::now() < give_up) TvxDispatchEvents();
        for (int pass = 0; pass < 20; ++pass) TvxDispatchEvents(); // anything more that was posted
        return std::exchange(got_, {});
    }

    static inline HWND const kWindow = reinterpret_cast<HWND>(0x5a17);
    SharedClock clock_;

private:
    static void Record(void *self, HWND callback, UINT message, UINT flags, UINT device) {
        static_cast<Notifications *>(self)->got_.push_back({callback, message, flags, device});
    }
    std::vector<Notified> got_;
};

std::vector<UINT> Flags(const std::vector<Notified> &notified) {
    std::vector<UINT> flags;
    for (const Notified &n : notified) flags.push_back(n.flags);
    return flags;
}

// Catches: notifications to the wrong handle or with the wrong device
// number, a play told as done when it starts, and none when it ends.
TEST_F(Notifications, APlayTellsWhenItHasReachedItsEnd) {
    std::string id;
    ASSERT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias m notify", &id), 0u);
    const auto opened = Take(1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].callback, kWindow);
    EXPECT_EQ(opened[0].message, static_cast<UINT>(MM_MCINOTIFY));
    EXPECT_EQ(opened[0].flags, static_cast<UINT>(MCI_NOTIFY_SUCCESSFUL));
    EXPECT_EQ(std::to_string(opened[0].device), id);

    ASSERT_EQ(Send("play m notify"), 0u);
    EXPECT_TRUE(Take(0).empty()) << "told before the play ended";
    clock_.Advance(7);
    const auto ended = Take(1);
    EXPECT_EQ(Flags(ended), std::vector<UINT>{MCI_NOTIFY_SUCCESSFUL});
    if (!ended.empty()) {
        EXPECT_EQ(std::to_string(ended[0].device), id);
    }

    // Done at once: told at once. No handle: nothing told.
    ASSERT_EQ(Send("status m mode notify"), 0u);
    EXPECT_EQ(Flags(Take(1)), std::vector<UINT>{MCI_NOTIFY_SUCCESSFUL});
    ASSERT_EQ(Send("seek m to 0"), 0u);
    ASSERT_EQ(Send("play m notify", nullptr, nullptr), 0u);
    clock_.Advance(7);
    EXPECT_TRUE(Take(0).empty());
}

// Catches: a pending notification lost, told twice, or told as done when
// a later command cut the play short; and failed commands that post.
TEST_F(Notifications, ALaterCommandSupersedesOrAbortsAPendingPlay) {
    ASSERT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias m"), 0u);
    ASSERT_EQ(Send("play m notify"), 0u);
    ASSERT_EQ(Send("play m from 1000 notify"), 0u);
    EXPECT_EQ(Flags(Take(1)), std::vector<UINT>{MCI_NOTIFY_SUPERSEDED});
    // A command that fails tells nobody and leaves the play's notification.
    EXPECT_EQ(Send("seek m to 99999 notify"), 282u);
    EXPECT_EQ(Send("play m from 99999"), 282u);
    EXPECT_TRUE(Take(0).empty());
    ASSERT_EQ(Send("stop m"), 0u);
    EXPECT_EQ(Flags(Take(1)), std::vector<UINT>{MCI_NOTIFY_ABORTED});
    for (const char *cut : {"stop m", "pause m", "seek m to 100", "close m"}) {
        SCOPED_TRACE(cut);
        ASSERT_EQ(Send("play m notify"), 0u);
        ASSERT_EQ(Send(cut), 0u);
        EXPECT_EQ(Flags(Take(1)), std::vector<UINT>{MCI_NOTIFY_ABORTED});
        clock_.Advance(7);
        EXPECT_TRUE(Take(0).empty()) << "told again at the end";
    }
    // A play that ended before the next command came is done, not cut short.
    ASSERT_EQ(Send("open \"" + kMovie + "\" type mpegvideo alias m"), 0u);
    ASSERT_EQ(Send("play m notify"), 0u);
    clock_.Advance(7);
    ASSERT_EQ(Send("stop m"), 0u);
    EXPECT_EQ(Flags(Take(1)), std::vector<UINT>{MCI_NOTIFY_SUCCESSFUL});
}

} // namespace
