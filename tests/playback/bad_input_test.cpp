// The GStreamer engine against files that go bad under it, decoders that
// are not there, and closes that cut a seek or step short.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "engine_fixture.h"

namespace tvx::testing {
namespace {

// Polls until the device stops; false when it is still playing after `seconds`.
bool StopsWithin(double seconds) {
    const double end = MonotonicSeconds() + seconds;
    while (MonotonicSeconds() < end) {
        if (Send("status m mode").reply == "stopped") return true;
        Sleep(0.05);
    }
    return false;
}

// The notifications posted to this thread, once `count` have come or after
// a while (so that a missing one fails rather than hangs).
std::vector<UINT> Notified(size_t count) {
    static std::vector<UINT> flags;
    TvxSetMciNotifyHandler([](void *, HWND, UINT, UINT flag, UINT) { flags.push_back(flag); }, nullptr);
    const double end = MonotonicSeconds() + 5;
    while (flags.size() < count && MonotonicSeconds() < end) TvxDispatchEvents();
    TvxSetMciNotifyHandler(nullptr, nullptr);
    return std::exchange(flags, {});
}

// Catches: a play that hangs or crashes once its file is cut short or
// removed under it, a device that no longer answers afterwards, a play
// told as done (or not told at all) when it failed, and a position that
// is not the last picture shown.
TEST_F(RealEngine, AFileThatVanishesWhilePlayingStopsTheDevice) {
    const std::string clip = Clip("mpeg1", 160, 120, 500);
    for (const bool unlink_too : {false, true}) {
        SCOPED_TRACE(unlink_too ? "truncated and unlinked" : "truncated");
        const std::string copy = capture_ + "/vanishing.mpg";
        std::filesystem::copy_file(clip, copy, std::filesystem::copy_options::overwrite_existing);
        TVX_OPEN_OR_SKIP(copy);
        Reply("set m time format frames");
        const HWND callback = reinterpret_cast<HWND>(0x77);
        ASSERT_EQ(mciSendStringA("play m notify", nullptr, 0, callback), 0u);
        Sleep(0.5);
        std::filesystem::resize_file(copy, 0);
        if (unlink_too) std::filesystem::remove(copy);
        // Far short of the 20 seconds the whole file would play.
        EXPECT_TRUE(StopsWithin(8.0));
        EXPECT_EQ(Notified(1), std::vector<UINT>{MCI_NOTIFY_FAILURE});
        EXPECT_EQ(Reply("status m mode"), "stopped");
        const long position = Number("status m position");
        EXPECT_LT(position, 15 * kClipFps);
        EXPECT_EQ(position, ShownFrame());
        const Answer seek = Send("seek m to 25");
        EXPECT_TRUE(seek.code == 0 || seek.code == 296u) << seek.code;
        Reply("close m");
    }
}

// Catches: a damaged file whose play never ends: a picture or a sound
// stamped hours past the end held its sink (or the end of the stream behind
// it) waiting for that time. Also a decoder that ends the process on damaged
// pictures (the small MPEG picture decoder writes out of bounds).
TEST_F(RealEngine, ADamagedFilePlaysWhatDecodesAndEnds) {
    const std::string pattern = capture_ + "/pattern.mpg";
    // Made on one thread, so that the bytes, and the damage below, are the same each time.
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=6 -f lavfi -i "
                           "sine=frequency=440:sample_rate=44100:duration=6 -ac 2 -threads 1 -c:v mpeg1video -mbd rd "
                           "-g 12 -bf 2 -q:v 3 -c:a mp2 -b:a 128k -f mpeg '" + pattern + "'").c_str()),
              0);
    const std::pair<std::string, unsigned> cases[] = {{Clip("mpeg2", 352, 288, 150), 1}, {pattern, 5}, {pattern, 2}};
    for (const auto &[clip, seed] : cases) {
        SCOPED_TRACE(clip);
        const std::string damaged = capture_ + "/damaged.mpg";
        std::filesystem::copy_file(clip, damaged, std::filesystem::copy_options::overwrite_existing);
        {
            std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
            const auto size = static_cast<long>(std::filesystem::file_size(damaged));
            std::mt19937 random(seed);
            for (int i = 0; i < 2000; ++i) {
                file.seekp(size / 8 + static_cast<long>(random() % static_cast<unsigned long>(size - size / 8)));
                file.put(static_cast<char>(random()));
            }
        }
        const Answer open = Send("open \"" + damaged + "\" type mpegvideo alias m");
        if (open.code == kEngineMissing && !std::getenv("CI")) GTEST_SKIP() << "the GStreamer engine is not built here";
        if (open.code == 296u) continue; // refused at once is fine too
        ASSERT_EQ(open.code, 0u);
        Reply("play m");
        // The whole file plays in 6 s.
        EXPECT_TRUE(StopsWithin(12.0));
        Reply("close m");
    }
}

// Catches: a close that frees the device while its seek or step still
// waits on the pipeline, whether it comes from the same caller at once or
// from another caller racing through the interpreter.
TEST_F(RealEngine, ClosingDuringASeekOrStepIsSafe) {
    const std::string clip = Clip("mpeg1");
    for (const char *move : {"seek m to 3500", "step m by 30", "step m by 10 reverse"}) {
        SCOPED_TRACE(move);
        TVX_OPEN_OR_SKIP(clip);
        Reply("play m");
        Reply(move);
        Reply("close m");
    }

    std::atomic<bool> open{true};
    std::atomic<int> moves{0};
    for (int round = 0; round < 4; ++round) {
        TVX_OPEN_OR_SKIP(clip);
        Reply("set m time format frames");
        open = true;
        std::thread mover([&] {
            for (int i = 0; open; ++i) {
                const Answer answer = Send(i % 2 ? "seek m to " + std::to_string((i * 37) % 100) : "step m by 9");
                // Done on the open device, or refused once its name is gone
                // (no such device, or no such command for a device type "m").
                if (answer.code != 0 && answer.code != 263u && answer.code != 261u) ADD_FAILURE() << answer.code;
                ++moves;
            }
        });
        Sleep(0.1 + 0.07 * round);
        Reply("close m");
        open = false;
        mover.join();
    }
    EXPECT_GT(moves.load(), 4);
}

// Catches: a file whose decoders are not installed opening as playable, or
// refused without the reason in the diagnostics; also a file whose sound
// decodes but whose picture does not, which playbin would play as sound
// alone. The registry is narrowed to the demuxer and the converters (and the
// sound's decoder) in a process of its own, since this process's registry is
// already loaded.
TEST_F(RealEngine, AMissingDecoderGives296AndTheReason) {
#ifndef TVX_GST_PLUGINS_DIR
    GTEST_SKIP() << "GStreamer's plug-in folder is not known here";
#else
    const std::string clip = Clip("mpeg1");
    const std::vector<const char *> base = {"coreelements", "playback", "typefindfunctions", "mpegpsdemux",
                                            "audioconvert", "audioresample", "videoconvertscale", "videoconvert",
                                            "videoscale"};
    for (const bool with_sound : {false, true}) {
        SCOPED_TRACE(with_sound ? "the sound's decoder installed" : "no decoder installed");
        const std::string plugins = capture_ + (with_sound ? "/plugins_sound" : "/plugins");
        std::filesystem::create_directories(plugins);
        std::vector<const char *> names = base;
        if (with_sound) names.insert(names.end(), {"audioparsers", "mpg123"});
        for (const char *name : names) {
            const std::filesystem::path file = std::string(TVX_GST_PLUGINS_DIR) + "/libgst" + name + ".so";
            if (std::filesystem::exists(file))
                std::filesystem::create_symlink(file, plugins + "/" + file.filename().string());
        }
        setenv("GST_PLUGIN_SYSTEM_PATH_1_0", plugins.c_str(), 1);
        setenv("GST_REGISTRY_1_0", (plugins + "/registry.bin").c_str(), 1);
        setenv("TVX_DEBUG", "1", 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                const Answer answer = Send("open \"" + clip + "\" type mpegvideo alias m");
                char text[256] = "";
                mciGetErrorStringA(answer.code, text, sizeof text);
                std::fprintf(stderr, "code %u: %s\n", answer.code, text);
                std::_Exit(answer.code == 296u && *text ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "missing a plug-in");
    }
    unsetenv("GST_PLUGIN_SYSTEM_PATH_1_0");
    unsetenv("GST_REGISTRY_1_0");
    unsetenv("TVX_DEBUG");
#endif
}

} // namespace
} // namespace tvx::testing
