// What the real-engine tests share: the GStreamer engine chosen, capture on,
// and a device "m" open on a made clip. Where the engine's plug-in was not
// built the tests skip, except under CI, where they fail.
#ifndef TVX_TESTS_PLAYBACK_ENGINE_FIXTURE_H
#define TVX_TESTS_PLAYBACK_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "clips.h"
#include "support/mci_client.h"

namespace tvx::testing {

inline constexpr MCIERROR kEngineMissing = 266;

inline void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

class RealEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("TVX_MEDIA_ENGINE", "gstreamer", 1); }
    void SetUp() override {
        Send("close all");
        capture_ = CaptureInto(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { Send("close all"); }

    // Opens `path` as "m"; false (the test then ends) when it could not.
    bool Open(const std::string &path, const std::string &flags = "") {
        const Answer answer = Send("open \"" + path + "\" type mpegvideo alias m" + flags);
        if (answer.code == kEngineMissing && !std::getenv("CI")) {
            skipped_ = true;
            return false;
        }
        EXPECT_EQ(answer.code, 0u) << "open " << path << " (TVX_DEBUG=1 shows why)";
        return answer.code == 0;
    }

    std::string Reply(const std::string &command) {
        const Answer answer = Send(command);
        EXPECT_EQ(answer.code, 0u) << command;
        return answer.reply;
    }
    long Number(const std::string &command) { return std::stol("0" + Reply(command)); }

    // The frame whose picture the video sink was handed last.
    int ShownFrame() {
        const auto video = ReadVideo(capture_);
        return video.empty() ? -1 : FrameOfColour(video.back().colour);
    }

    std::string capture_;
    bool skipped_ = false;
};

#define TVX_OPEN_OR_SKIP(...)                                                                                          \
    do {                                                                                                               \
        if (!Open(__VA_ARGS__)) {                                                                                          \
            if (skipped_) GTEST_SKIP() << "the GStreamer engine is not built here";                                   \
            return;                                                                                                    \
        }                                                                                                              \
    } while (0)

} // namespace tvx::testing

#endif // TVX_TESTS_PLAYBACK_ENGINE_FIXTURE_H
