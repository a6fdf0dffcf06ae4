// The device command layer against the built-in media control interpreter
// with the real MPEG-1 files and an injected clock; and devices shared with
// the movie player, which closes them all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "component/registry.h"
#include "support/mci_client.h"
#include "tarvex10/tarvex10.h"

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using Api = _clsKwVidoMciApiA;
using Player = _clsKwVidoMoviesA;

const std::u16string kData = u"" TVX_SOURCE_DIR "/tests/data/";

using tvx::testing::TestClock;

std::string Status(const std::string &command) {
    char reply[128] = {};
    return mciSendStringA(command.c_str(), reply, sizeof reply, nullptr) == 0 ? reply : "(refused)";
}

class DeviceLayer : public ::testing::Test {
protected:
    DeviceLayer() : api_(ComPtr<Api>::Attach(reinterpret_cast<Api *>(tvx::MciApiClass().create()))) {
        mciSendStringA("close all", nullptr, 0, nullptr);
    }
    ~DeviceLayer() override { mciSendStringA("close all", nullptr, 0, nullptr); }

    LONG Open(const std::u16string &alias, const std::u16string &file, const std::u16string &type = u"mpegvideo",
              const std::u16string &style = u"child") {
        Bstr t(type), a(alias), f(file), s(style);
        BSTR tp = t.Get(), ap = a.Get(), fp = f.Get(), sp = s.Get();
        LONG window = 0, result = -1;
        EXPECT_EQ(api_->OpenDevice(&tp, &ap, &fp, &window, &sp, &result), S_OK);
        return result;
    }
    // Members whose only argument is the alias.
    template <typename R>
    R Call(HRESULT (Api::*member)(BSTR *, R *), const std::u16string &alias) {
        Bstr a(alias);
        BSTR ap = a.Get();
        R result{};
        EXPECT_EQ((api_.Get()->*member)(&ap, &result), S_OK);
        return result;
    }
    std::u16string Text(HRESULT (Api::*member)(BSTR *, BSTR *), const std::u16string &alias) {
        Bstr a(alias), result;
        BSTR ap = a.Get();
        EXPECT_EQ((api_.Get()->*member)(&ap, result.Put()), S_OK);
        return result.Str();
    }
    LONG ErrorNumber() {
        LONG value = 0;
        EXPECT_EQ(api_->get_ErrorNumber(&value), S_OK);
        return value;
    }
    LONG VariantNumber(HRESULT (Api::*member)(VARIANT *)) {
        tvx::Variant value;
        EXPECT_EQ((api_.Get()->*member)(value.Put()), S_OK);
        EXPECT_EQ(value.Type(), VT_I4);
        return V_I4(&value);
    }

    TestClock clock_{20000};
    ComPtr<Api> api_;
};

// Catches: the length measurement of OpenDevice (ms, then frames) finding
// lengths or rates that disagree with the streams.
TEST_F(DeviceLayer, OpenMeasuresRealFiles) {
    struct Case {
        const char16_t *file;
        LONG ms, frames, fps;
    } cases[] = {
        {u"system_ffmpeg.mpg", 6000, 150, 25},     {u"system_mplex.mpg", 4000, 100, 25},
        {u"system_vcd.mpg", 4000, 100, 25},        {u"elementary_ffmpeg.m1v", 5005, 150, 30},
        {u"elementary_mpeg2enc.m1v", 4000, 100, 25},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + std::char_traits<char16_t>::length(c.file)));
        ASSERT_EQ(Open(u"clip", kData + c.file), 0);
        LONG total = 0;
        ASSERT_EQ(api_->get_TotalTime(&total), S_OK);
        EXPECT_EQ(total, c.ms);
        EXPECT_EQ(VariantNumber(&Api::get_TotalFrames), c.frames);
        EXPECT_EQ(VariantNumber(&Api::get_FramesPerSec), c.fps);
        EXPECT_EQ(Text(&Api::cmdGetTimeFormat, u"clip"), u"frames") << "left as the measurement set it";
        EXPECT_EQ(Call(&Api::cmdGetLength, u"clip"), c.frames);
        EXPECT_EQ(ErrorNumber(), 0);
        EXPECT_EQ(Call(&Api::CloseDevice, u"clip"), 0);
    }
}

// Catches: the layer's transport, seek and window commands not understood
// by the device or landing elsewhere than asked.
TEST_F(DeviceLayer, DrivesPlaybackAndTheWindow) {
    ASSERT_EQ(Open(u"clip", kData + u"system_ffmpeg.mpg"), 0);
    Bstr ms(u"ms"), clip(u"clip");
    BSTR alias = clip.Get(), format = ms.Get();
    LONG result = -1;
    ASSERT_EQ(api_->cmdTimeFormat(&alias, &format, &result), S_OK);
    EXPECT_EQ(result, 0);
    SHORT none = -1;
    VARIANT_BOOL no = VARIANT_FALSE, yes = VARIANT_TRUE;
    ASSERT_EQ(api_->cmdPlay(&alias, &none, &none, &no, &result), S_OK);
    EXPECT_EQ(result, 0);
    clock_.Advance(1);
    EXPECT_EQ(Call(&Api::cmdGetPosition, u"clip"), 1000);
    EXPECT_EQ(Call(&Api::cmdPause, u"clip"), 0);
    EXPECT_EQ(Text(&Api::cmdGetStatus, u"clip"), u"paused");
    LONG seconds = 2;
    ASSERT_EQ(api_->cmdSeek(&alias, &seconds, &result), S_OK);
    EXPECT_EQ(Call(&Api::cmdGetPosition, u"clip"), 2000);
    EXPECT_EQ(Call(&Api::cmdToEnd, u"clip"), 0);
    EXPECT_EQ(Call(&Api::cmdGetPosition, u"clip"), 6000);
    EXPECT_EQ(Call(&Api::cmdToStart, u"clip"), 0);
    EXPECT_EQ(Call(&Api::cmdGetPosition, u"clip"), 0);
    SHORT from = 1000, to = 2000;
    ASSERT_EQ(api_->cmdPlay(&alias, &from, &to, &yes, &result), S_OK);
    EXPECT_EQ(result, 0);
    clock_.Advance(5);
    EXPECT_EQ(Call(&Api::cmdGetPosition, u"clip"), 2000);
    EXPECT_EQ(Text(&Api::cmdGetStatus, u"clip"), u"stopped");
    EXPECT_EQ(Call(&Api::cmdStop, u"clip"), 0);

    SHORT rate = 2000;
    ASSERT_EQ(api_->cmdRate(&alias, &rate, &result), S_OK);
    EXPECT_EQ(Status("status clip speed"), "2000");
    ASSERT_EQ(api_->cmdVideoOutput(&alias, &no, &result), S_OK);
    EXPECT_EQ(Status("status clip video"), "off");
    SHORT left = 0, both = 2;
    ASSERT_EQ(api_->cmdChannels(&alias, &both, &no, &result), S_OK);
    EXPECT_EQ(Status("status clip audio"), "off");
    ASSERT_EQ(api_->cmdChannels(&alias, &left, &yes, &result), S_OK);
    EXPECT_EQ(Status("status clip audio"), "on");
    EXPECT_EQ(Call(&Api::cmdConfigure, u"clip"), 0);

    SHORT x1 = 10, y1 = 20, x2 = 330, y2 = 260;
    ASSERT_EQ(api_->cmdResize(&alias, &x1, &y1, &x2, &y2, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Status("where clip window"), "10 20 330 260");
    tvx::Variant client;
    ASSERT_EQ(api_->cmdResizeClient(&alias, &x1, &y1, &x2, &y2, client.Put()), S_OK);
    EXPECT_EQ(client.Type(), VT_I2);
    EXPECT_EQ(V_I2(&client), 0);
    // A child window shows the picture at its own size.
    EXPECT_EQ(Text(&Api::cmdGetSize, u"clip"), u"320 240");
}

// Catches: volumes per channel mixed up, and queries the device cannot
// answer not refused with the interface's numbers.
TEST_F(DeviceLayer, VolumesAndTextQueries) {
    ASSERT_EQ(Open(u"clip", kData + u"system_vcd.mpg"), 0);
    Bstr clip(u"clip");
    BSTR alias = clip.Get();
    LONG result = -1;
    struct Case {
        SHORT channel, factor;
        LONG result, error;
    } settings[] = {{2, 500, 0, 0}, {0, 250, 0, 0}, {1, 750, 0, 0}, {2, 1001, 1, 282}, {7, 500, 1, 259}};
    for (Case c : settings) {
        SCOPED_TRACE(c.factor);
        ASSERT_EQ(api_->cmdVolume(&alias, &c.channel, &c.factor, &result), S_OK);
        EXPECT_EQ(result, c.result);
        if (c.error) {
            EXPECT_EQ(ErrorNumber(), c.error);
        }
    }
    struct Reading {
        SHORT channel, volume;
    } readings[] = {{0, 250}, {1, 750}, {2, 500}};
    for (Reading r : readings) {
        SCOPED_TRACE(r.channel);
        SHORT volume = -1;
        ASSERT_EQ(api_->cmdGetVolume(&alias, &r.channel, &volume, &result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(volume, r.volume);
    }
    const std::u16string product = Text(&Api::cmdGetProduct, u"clip");
    EXPECT_FALSE(product.empty());
    EXPECT_NE(product, u"MCIClass_ERROR") << "the product text fits the layer's 32-character buffer";
    EXPECT_EQ(Text(&Api::cmdGetCopyRight, u"clip"), u"MCIClass_ERROR");
    EXPECT_EQ(ErrorNumber(), 259);
    EXPECT_EQ(Text(&Api::cmdGetName, u"clip"), u"MCIClass_ERROR");
    EXPECT_EQ(Text(&Api::cmdGetFormatTag, u"clip"), u"MCIClass_ERROR");
    EXPECT_EQ(ErrorNumber(), 290);
    Bstr description;
    ASSERT_EQ(api_->get_ErrorDescription(description.Put()), S_OK);
    EXPECT_NE(description.Str().substr(0, 10), std::u16string(10, u'\0'));
}

// Catches: failures at open reported with other numbers, and an unquoted
// name with blanks (as the layer sends it) cut at its first blank.
TEST_F(DeviceLayer, OpenFailuresAndNamesWithBlanks) {
    EXPECT_EQ(Open(u"clip", kData + u"missing.mpg"), 1);
    EXPECT_EQ(ErrorNumber(), 275);
    EXPECT_EQ(Open(u"clip", kData + u"system_vcd.mpg", u"waveaudio"), 1);
    EXPECT_EQ(ErrorNumber(), 263);
    EXPECT_EQ(Open(u"clip", kData + u"system_vcd.mpg", u"mpegvideo", u""), 1) << "style without a value";
    ASSERT_EQ(Open(u"clip", kData + u"system_vcd.mpg"), 0);
    EXPECT_EQ(Open(u"clip", kData + u"system_mplex.mpg"), 1);
    EXPECT_EQ(ErrorNumber(), 289);

    char dir[] = "/tmp/tvx_layer_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/a b.mpg";
    ASSERT_EQ(std::system(("cp " TVX_SOURCE_DIR "/tests/data/system_vcd.mpg '" + path + "'").c_str()), 0);
    EXPECT_EQ(Open(u"spaced", std::u16string(path.begin(), path.end())), 0);
    LONG total = 0;
    api_->get_TotalTime(&total);
    EXPECT_EQ(total, 4000);
    std::remove(path.c_str());
    rmdir(dir);
}

// Catches: devices of the layer and of the movie player kept apart: the
// player's "close all" must close the layer's devices too, and the layer
// reaches the player's movie by its alias.
TEST_F(DeviceLayer, ThePlayersCloseAllClosesTheLayersDevices) {
    auto player = ComPtr<Player>::Attach(reinterpret_cast<Player *>(tvx::MoviesClass().create()));
    ASSERT_EQ(player->put_filename(Bstr(kData + u"system_ffmpeg.mpg").Get()), S_OK);
    tvx::Variant empty;
    ASSERT_EQ(player->openMovie(empty.Put()), S_OK);
    ASSERT_EQ(Open(u"clip", kData + u"system_vcd.mpg"), 0);
    ASSERT_EQ(Open(u"clip2", kData + u"elementary_mpeg2enc.m1v"), 0);
    EXPECT_EQ(Call(&Api::cmdGetLength, u"movie"), 6000) << "the player's movie, in its default milliseconds";
    EXPECT_EQ(Status("sysinfo all quantity open"), "3");

    ASSERT_EQ(player->closeMovie(empty.Put()), S_OK);
    LONG error = -1;
    player->get_Error(&error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Status("sysinfo all quantity open"), "0");
    EXPECT_EQ(Text(&Api::cmdGetStatus, u"clip"), u"MCIClass_ERROR");
    EXPECT_EQ(ErrorNumber(), 263);
    EXPECT_EQ(Call(&Api::CloseDevice, u"clip2"), 1);
}

} // namespace
