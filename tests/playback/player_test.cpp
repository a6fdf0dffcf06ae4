// The movie player class end to end on the GStreamer engine: the same
// scenarios as on the clock engine, with time that passes for real.
#include "engine_fixture.h"
#include "component/registry.h"
#include "tarvex10/tarvex10.h"

namespace tvx::testing {
namespace {

using Player = _clsKwVidoMoviesA;

class RealPlayer : public RealEngine {
protected:
    RealPlayer() : player_(ComPtr<Player>::Attach(reinterpret_cast<Player *>(tvx::MoviesClass().create()))) {}

    void Do(HRESULT (Player::*member)(VARIANT *)) {
        tvx::Variant result;
        EXPECT_EQ((player_.Get()->*member)(result.Put()), S_OK);
        EXPECT_EQ(Error(), 0);
    }
    void Do(HRESULT (Player::*member)(LONG *, VARIANT *), LONG value) {
        tvx::Variant result;
        EXPECT_EQ((player_.Get()->*member)(&value, result.Put()), S_OK);
        EXPECT_EQ(Error(), 0);
    }
    LONG Get(HRESULT (Player::*member)(LONG *)) {
        LONG value = -1;
        EXPECT_EQ((player_.Get()->*member)(&value), S_OK);
        return value;
    }
    LONG Error() { return Get(&Player::get_Error); }
    bool Playing() {
        VARIANT_BOOL value = 0;
        EXPECT_EQ(player_->isMoviePlaying(&value), S_OK);
        return value == VARIANT_TRUE;
    }

    ComPtr<Player> player_;
};

// Catches: a player whose positions do not follow the real picture, a
// pause that keeps moving, steps and seeks that land off the frame, and a
// close that fails on the real device.
TEST_F(RealPlayer, OpensPlaysPausesStepsSeeksAndCloses) {
    // The player opens its own device; its open must find the engine.
    Send("open \"" + Clip("mpeg1") + "\" type mpegvideo alias probe");
    if (Send("status probe ready").code != 0) {
        if (!std::getenv("CI")) GTEST_SKIP() << "the GStreamer engine is not built here";
        FAIL() << "the GStreamer engine does not open the clip";
    }
    Send("close probe");

    const std::string clip = Clip("mpeg1");
    Bstr name(std::u16string(clip.begin(), clip.end()));
    ASSERT_EQ(player_->put_filename(name.Get()), S_OK);
    Do(&Player::openMovie);
    EXPECT_EQ(Get(&Player::getLengthInFrames), kClipFrames);

    const double start = MonotonicSeconds();
    Do(&Player::playMovie);
    EXPECT_TRUE(Playing());
    Sleep(1.0);
    const double played = (MonotonicSeconds() - start) * 1000;
    // The presented picture never runs ahead of the wall clock; a busy
    // machine may hold it back a little.
    const LONG position = Get(&Player::getPositionInMS);
    EXPECT_LE(position, played + 100);
    EXPECT_GE(position, played - 400);

    Do(&Player::pauseMovie);
    const LONG paused = Get(&Player::getPositionInFrames);
    Sleep(0.3);
    EXPECT_EQ(Get(&Player::getPositionInFrames), paused);
    EXPECT_FALSE(Playing());

    Do(&Player::stepFrames, 5);
    EXPECT_EQ(Get(&Player::getPositionInFrames), paused + 5);
    EXPECT_EQ(ShownFrame(), paused + 5);
    Do(&Player::stepFrames, -8);
    EXPECT_EQ(Get(&Player::getPositionInFrames), paused - 3);
    EXPECT_EQ(ShownFrame(), paused - 3);

    Do(&Player::stopMovie);
    // The player's seeks count in the time format that its last query set.
    Get(&Player::getPositionInMS);
    Do(&Player::setPositionTo, 3);
    EXPECT_EQ(Get(&Player::getPositionInMS), 3000);
    EXPECT_EQ(ShownFrame(), 75);
    Do(&Player::closeMovie);
}

} // namespace
} // namespace tvx::testing
