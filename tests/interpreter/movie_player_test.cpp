// The movie player against the built-in media control interpreter, with
// the real MPEG-1 files and an injected clock: nothing scripted between
// the class and the device.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../../runtime/mci/cdaudio.h"
#include "component/registry.h"
#include "support/mci_client.h"
#include "tarvex10/tarvex10.h"

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using Player = _clsKwVidoMoviesA;

const std::u16string kData = u"" TVX_SOURCE_DIR "/tests/data/";

using tvx::testing::TestClock;

// One movie player object, called as a client calls it.
class Movie {
public:
    Movie() : p_(ComPtr<Player>::Attach(reinterpret_cast<Player *>(tvx::MoviesClass().create()))) {}

    void Open(const std::u16string &file) {
        Bstr name(file);
        ASSERT_EQ(p_->put_filename(name.Get()), S_OK);
        Do(&Player::openMovie);
    }
    void Do(HRESULT (Player::*member)(VARIANT *)) {
        tvx::Variant result;
        EXPECT_EQ((p_.Get()->*member)(result.Put()), S_OK);
    }
    void Do(HRESULT (Player::*member)(LONG *, VARIANT *), LONG value) {
        tvx::Variant result;
        EXPECT_EQ((p_.Get()->*member)(&value, result.Put()), S_OK);
    }
    LONG Number(HRESULT (Player::*member)(LONG *)) {
        LONG value = -1;
        EXPECT_EQ((p_.Get()->*member)(&value), S_OK);
        return value;
    }
    // A text result up to its first NUL (the rest is earlier replies).
    std::u16string Text(HRESULT (Player::*member)(BSTR *)) {
        Bstr value;
        EXPECT_EQ((p_.Get()->*member)(value.Put()), S_OK);
        const std::u16string text = value.Str();
        return text.substr(0, text.find(u'\0'));
    }
    bool Playing() {
        VARIANT_BOOL value = 0;
        EXPECT_EQ(p_->isMoviePlaying(&value), S_OK);
        return value == VARIANT_TRUE;
    }
    LONG Error() {
        LONG value = -1;
        EXPECT_EQ(p_->get_Error(&value), S_OK);
        return value;
    }
    Player *operator->() { return p_.Get(); }

private:
    ComPtr<Player> p_;
};

class MoviePlayer : public ::testing::Test {
protected:
    MoviePlayer() { Close(); }
    ~MoviePlayer() override { Close(); }
    static void Close() { mciSendStringA("close all", nullptr, 0, nullptr); }

    TestClock clock_{50000};
    Movie movie_;
};

// Catches: lengths, rates and sizes that disagree with the streams, as the
// player's members read and round them.
TEST_F(MoviePlayer, OpensRealFilesAndMeasuresThem) {
    struct Case {
        const char16_t *file;
        LONG ms, frames, seconds, nominal, fps, width, height;
    } cases[] = {
        {u"system_ffmpeg.mpg", 6000, 150, 6, 25000, 25, 320, 240},
        {u"system_mplex.mpg", 4000, 100, 4, 25000, 25, 352, 288},
        {u"system_vcd.mpg", 4000, 100, 4, 25000, 25, 352, 288},
        {u"elementary_ffmpeg.m1v", 5005, 150, 5, 29970, 29, 176, 144},
        {u"elementary_mpeg2enc.m1v", 4000, 100, 4, 25000, 25, 352, 288},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + std::char_traits<char16_t>::length(c.file)));
        movie_.Open(kData + c.file);
        ASSERT_EQ(movie_.Error(), 0);
        EXPECT_EQ(movie_.Number(&Player::getLengthInMS), c.ms);
        EXPECT_EQ(movie_.Number(&Player::getLengthInFrames), c.frames);
        EXPECT_EQ(movie_.Number(&Player::getLengthInSec), c.seconds);
        EXPECT_EQ(movie_.Number(&Player::getNominalFrameRate), c.nominal);
        EXPECT_EQ(movie_.Number(&Player::getFramePerSecRate), c.fps);
        LONG width = 0, height = 0;
        tvx::Variant result;
        ASSERT_EQ(movie_->extractDefaultMovieSize(&width, &height, result.Put()), S_OK);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        EXPECT_EQ(movie_.Text(&Player::getStatus), u"Stopped");
        EXPECT_EQ(movie_.Text(&Player::checkDeviceReady), u"true");
        EXPECT_FALSE(movie_.Playing());
    }
    EXPECT_EQ(movie_.Text(&Player::getFormatLength), u"0:04");
    EXPECT_EQ(movie_.Text(&Player::getTimeFormat), u"milliseconds");
    EXPECT_FALSE(movie_.Text(&Player::getDeviceName).empty());
    EXPECT_FALSE(movie_.Text(&Player::getDeviceVersion).empty());
}

// Catches: play, pause, resume and stop not moving the mode, a position
// that does not follow the clock, and the player's seeks and relative
// moves landing elsewhere than asked.
TEST_F(MoviePlayer, PlaysPausesAndSeeksWithTheClock) {
    movie_.Open(kData + u"system_ffmpeg.mpg"); // 6000 ms, 150 pictures
    movie_.Do(&Player::playMovie);
    EXPECT_EQ(movie_.Error(), 0);
    EXPECT_TRUE(movie_.Playing());
    EXPECT_EQ(movie_.Text(&Player::getStatus), u"Playing");
    clock_.Advance(2);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 2000);
    movie_.Do(&Player::pauseMovie);
    clock_.Advance(3);
    EXPECT_EQ(movie_.Text(&Player::getStatus), u"Paused");
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 2000);
    movie_.Do(&Player::resumeMovie);
    clock_.Advance(1);
    EXPECT_EQ(movie_.Number(&Player::getPositionInFrames), 75);
    EXPECT_EQ(movie_.Text(&Player::getFormatPosition), u"0:03");

    // An absolute move while playing plays from there.
    movie_.Do(&Player::setPositionTo, 1);
    clock_.Advance(0.5);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 1500);
    EXPECT_TRUE(movie_.Playing());
    // While stopped it seeks.
    movie_.Do(&Player::stopMovie);
    movie_.Do(&Player::setPositionTo, 3);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 3000);
    EXPECT_FALSE(movie_.Playing());
    // Relative moves play from the target, and playing stops at the end.
    movie_.Do(&Player::forwardBySeconds, 1);
    EXPECT_EQ(movie_.Error(), 0);
    EXPECT_TRUE(movie_.Playing());
    clock_.Advance(10);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 6000);
    EXPECT_FALSE(movie_.Playing());
    movie_.Do(&Player::rewindByFrames, 25);
    clock_.Advance(0.2);
    EXPECT_EQ(movie_.Number(&Player::getPositionInFrames), 130);
    movie_.Do(&Player::stepFrames, -10);
    EXPECT_EQ(movie_.Number(&Player::getPositionInFrames), 120);
    EXPECT_EQ(movie_.Text(&Player::getStatus), u"Stopped");
    movie_.Do(&Player::restartMovie);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 0);
    movie_.Do(&Player::setSpeed, 2000);
    EXPECT_EQ(movie_.Number(&Player::getRate), 2000);
    clock_.Advance(1);
    EXPECT_EQ(movie_.Number(&Player::getPositionInMS), 2000);
    movie_.Do(&Player::playFullScreen);
    EXPECT_EQ(movie_.Error(), 0);
}

// Catches: sound and picture switches, volumes and the window not reaching
// the device, or not reported back as set.
TEST_F(MoviePlayer, SoundPictureAndWindow) {
    movie_.Open(kData + u"system_ffmpeg.mpg");
    movie_.Do(&Player::setAudioOff);
    EXPECT_EQ(movie_.Text(&Player::getAudioStatus), u"off");
    movie_.Do(&Player::setLeftOn);
    EXPECT_EQ(movie_.Text(&Player::getAudioStatus), u"on");
    movie_.Do(&Player::setLeftOff);
    movie_.Do(&Player::setRightOn);
    EXPECT_EQ(movie_.Text(&Player::getAudioStatus), u"on");
    movie_.Do(&Player::setRightOff);
    EXPECT_EQ(movie_.Text(&Player::getAudioStatus), u"off");
    movie_.Do(&Player::setAudioOn);
    movie_.Do(&Player::setVolume, 500);
    movie_.Do(&Player::setLeftVolume, 200);
    EXPECT_EQ(movie_.Number(&Player::getLeftVolume), 200);
    EXPECT_EQ(movie_.Number(&Player::getRightVolume), 500);
    EXPECT_EQ(movie_.Number(&Player::getVolume), 350);
    movie_.Do(&Player::setRightVolume, 1001);
    EXPECT_EQ(movie_.Error(), 282);
    EXPECT_FALSE(movie_.Text(&Player::checkError).empty());
    EXPECT_EQ(movie_.Number(&Player::getRightVolume), 500);

    movie_.Do(&Player::setVideoOff);
    EXPECT_EQ(movie_.Text(&Player::getVideoStatus), u"off");
    movie_.Do(&Player::setVideoOn);
    EXPECT_EQ(movie_.Text(&Player::getVideoStatus), u"on");

    EXPECT_EQ(movie_.Text(&Player::getDefaultSize), u"0 0 320 240");
    LONG left = 10, top = 20, width = 640, height = 480;
    tvx::Variant result;
    ASSERT_EQ(movie_->sizeLocateMovie(&left, &top, &width, &height, result.Put()), S_OK);
    EXPECT_EQ(movie_.Error(), 0);
    EXPECT_EQ(movie_.Text(&Player::getCurrentSize), u"0 0 640 480");
    LONG w = 0, h = 0;
    ASSERT_EQ(movie_->extractCurrentMovieSize(&left, &top, &w, &h, result.Put()), S_OK);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    movie_.Do(&Player::restoreSizeDefault);
    EXPECT_EQ(movie_.Text(&Player::getCurrentSize), u"0 0 320 240");
    for (auto member : {&Player::minimizeMovie, &Player::hideMovie, &Player::showMovie, &Player::restoreMovie}) {
        movie_.Do(member);
        EXPECT_EQ(movie_.Error(), 0);
    }
    EXPECT_EQ(movie_.Text(&Player::getMovieInput), u"file");
    EXPECT_EQ(movie_.Text(&Player::getMovieOutput), u"file");
    tvx::Variant bits;
    EXPECT_EQ(movie_->getBitsPerPixel(bits.Put()), S_OK);
    EXPECT_EQ(movie_.Error(), 274) << "nothing is captured, so there is no depth to tell";
}

// Catches: failures reported with other numbers than the interface's, or
// described in no words.
TEST_F(MoviePlayer, FailuresCarryTheirNumbers) {
    movie_.Open(kData + u"no_such_movie.mpg");
    EXPECT_EQ(movie_.Error(), 275);
    const std::u16string text = movie_.Text(&Player::checkError);
    EXPECT_NE(text.find(u"not found"), std::u16string::npos) << std::string(text.begin(), text.end());
    movie_.Do(&Player::playMovie);
    EXPECT_EQ(movie_.Error(), 263);
    movie_.Text(&Player::getStatus);
    EXPECT_EQ(movie_.Error(), 263);
    movie_.Open(kData + u"make_samples.sh");
    EXPECT_EQ(movie_.Error(), 296);
}

// Catches: the CD door not reaching the drive, and a missing drive not
// reported as such.
TEST_F(MoviePlayer, DoorCommandsReachTheDrive) {
    struct Drive : tvx::mci::CdDrive {
        int *ejects, *closes;
        State Status() override { return State::DiscOk; }
        bool Eject() override { return ++*ejects > 0; }
        bool CloseTray() override { return ++*closes > 0; }
        std::optional<Toc> ReadToc() override { return std::nullopt; }
    };
    int ejects = 0, closes = 0;
    bool present = false;
    tvx::mci::SetCdDriveOpener([&](const std::string &) -> std::unique_ptr<tvx::mci::CdDrive> {
        if (!present) return nullptr;
        auto drive = std::make_unique<Drive>();
        drive->ejects = &ejects;
        drive->closes = &closes;
        return drive;
    });
    movie_.Do(&Player::setDoorOpen);
    EXPECT_EQ(movie_.Error(), 266);
    present = true;
    movie_.Do(&Player::setDoorOpen);
    EXPECT_EQ(movie_.Error(), 0);
    movie_.Do(&Player::setDoorClosed);
    EXPECT_EQ(movie_.Error(), 0);
    EXPECT_EQ(ejects, 1);
    EXPECT_EQ(closes, 1);
    tvx::mci::SetCdDriveOpener(nullptr);
}

// Catches: the alias "movie" kept per object: every player drives the one
// device of the process.
TEST_F(MoviePlayer, PlayersShareTheOneMovie) {
    Movie other;
    movie_.Open(kData + u"system_ffmpeg.mpg");
    EXPECT_EQ(other.Number(&Player::getLengthInMS), 6000);
    other.Open(kData + u"system_vcd.mpg");
    EXPECT_EQ(movie_.Number(&Player::getLengthInMS), 4000);
    movie_.Do(&Player::closeMovie);
    other.Number(&Player::getLengthInMS);
    EXPECT_EQ(other.Error(), 263);
}

} // namespace
