// The GStreamer engine against files that go bad under it, decoders that
// are not there, and closes that cut a seek or step short.
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

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

// Catches: a play that hangs or crashes once its file is cut short or
// removed under it, and a device that no longer answers afterwards.
TEST_F(RealEngine, AFileThatVanishesWhilePlayingStopsTheDevice) {
    const std::string clip = Clip("mpeg1", 160, 120, 500);
    for (const bool unlink_too : {false, true}) {
        SCOPED_TRACE(unlink_too ? "truncated and unlinked" : "truncated");
        const std::string copy = capture_ + "/vanishing.mpg";
        std::filesystem::copy_file(clip, copy, std::filesystem::copy_options::overwrite_existing);
        TVX_OPEN_OR_SKIP(copy);
        Reply("play m");
        Sleep(0.5);
        std::filesystem::resize_file(copy, 0);
        if (unlink_too) std::filesystem::remove(copy);
        // Far short of the 20 seconds the whole file would play.
        EXPECT_TRUE(StopsWithin(8.0));
        EXPECT_LT(Number("status m position"), 15000);
        const Answer seek = Send("seek m to 1000");
        EXPECT_TRUE(seek.code == 0 || seek.code == 296u) << seek.code;
        Reply("close m");
    }
}

} // namespace
} // namespace tvx::testing
