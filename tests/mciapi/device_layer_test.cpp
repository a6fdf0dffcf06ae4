// The device command layer against a scripted channel, grouped by member
// family: opening and the error recorder, commands, queries, late binding.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "component/registry.h"
#include "error/error.h"
#include "support/scripted_channel.h"
#include "tarvex10/tarvex10.h"

namespace {

using tvx::Bstr;
using tvx::testing::ScriptedChannel;
using Api = _clsKwVidoMciApiA;

constexpr HRESULT kOverflow = tvx::MakeControlError(tvx::kOverflow);
constexpr HRESULT kDivZero = tvx::MakeControlError(tvx::kDivisionByZero);

// Sits on the scripted channel (which still records every call) and keeps
// each alias's time format, so one length query can answer differently in
// "ms" and in "frames".
class LengthsByFormat {
public:
    LengthsByFormat() {
        TVXMCIHANDLER mine{&Send, [](void *c, MCIERROR code, char *text, UINT cap) {
                               auto &below = static_cast<LengthsByFormat *>(c)->below_;
                               return below.get_error_string(below.context, code, text, cap);
                           }, this};
        TvxSetMciHandler(&mine, &below_);
    }
    ~LengthsByFormat() { TvxSetMciHandler(&below_, nullptr); }
    void Set(const std::string &alias, MCIERROR ms_code, const std::string &ms, const std::string &frames) {
        lengths_[alias + " ms"] = {ms_code, ms};
        lengths_[alias + " frames"] = {0, frames};
    }

private:
    static MCIERROR Send(void *context, const char *command, char *reply, UINT capacity, HWND window) {
        auto *self = static_cast<LengthsByFormat *>(context);
        const MCIERROR code = self->below_.send(self->below_.context, command, reply, capacity, window);
        const std::string text(command);
        const size_t at = text.find(" time format ");
        if (text.starts_with("set ") && at != std::string::npos)
            self->formats_[text.substr(4, at - 4)] = text.substr(at + 13);
        if (!text.starts_with("status ") || !text.ends_with(" length") || capacity == 0) return code;
        const std::string alias = text.substr(7, text.size() - 14);
        auto it = self->lengths_.find(alias + " " + self->formats_[alias]);
        if (it == self->lengths_.end()) return code;
        std::snprintf(reply, capacity, "%s", it->second.second.c_str());
        return it->second.first;
    }
    TVXMCIHANDLER below_{};
    std::map<std::string, std::string> formats_;
    std::map<std::string, std::pair<MCIERROR, std::string>> lengths_;
};

class DeviceLayer : public ::testing::Test {
protected:
    DeviceLayer() : api_(tvx::ComPtr<Api>::Attach(reinterpret_cast<Api *>(tvx::MciApiClass().create()))) {
        channel_.Describe(263, "Device not open.");
    }
    ~DeviceLayer() override { SysFreeString(clip_); }

    HRESULT Open(std::u16string_view alias, LONG &result, std::u16string_view file = u"f.mpg", LONG window = 0,
                 std::u16string_view style = u"child") {
        Bstr t(u"mpegvideo"), a(alias), f(file), s(style);
        BSTR tp = t.Get(), ap = a.Get(), fp = f.Get(), sp = s.Get();
        return api_->OpenDevice(&tp, &ap, &fp, &window, &sp, &result);
    }
    LONG ErrorNumber() {
        LONG value = -99;
        EXPECT_EQ(api_->get_ErrorNumber(&value), S_OK);
        return value;
    }
    std::u16string Description() {
        Bstr text;
        EXPECT_EQ(api_->get_ErrorDescription(text.Put()), S_OK);
        return text.Str();
    }
    // TotalTime, TotalFrames and FramesPerSec; the last two must be int32s.
    std::array<LONG, 3> Lengths() {
        std::array<LONG, 3> values{};
        EXPECT_EQ(api_->get_TotalTime(&values[0]), S_OK);
        tvx::Variant frames, rate;
        EXPECT_EQ(api_->get_TotalFrames(frames.Put()), S_OK);
        EXPECT_EQ(api_->get_FramesPerSec(rate.Put()), S_OK);
        EXPECT_EQ(frames.Type(), VT_I4);
        EXPECT_EQ(rate.Type(), VT_I4);
        values[1] = V_I4(&frames);
        values[2] = V_I4(&rate);
        return values;
    }
    std::u16string Text(HRESULT (Api::*member)(BSTR *, BSTR *), HRESULT status = S_OK) {
        Bstr value;
        EXPECT_EQ((api_.Get()->*member)(&clip_, value.Put()), status);
        return value.Str();
    }

    ScriptedChannel channel_;
    LengthsByFormat device_;
    tvx::ComPtr<Api> api_;
    BSTR clip_ = tvx::AllocBstr(u"clip");
};
using DeviceOpening = DeviceLayer;
using DeviceCommands = DeviceLayer;
using DeviceQueries = DeviceLayer;

// ---- state, error recorder, opening ----------------------------------------------------

// Catches: Empty Variants on a fresh object, a success clearing the kept
// error, a trimmed description, a failed open returning -1, measuring or
// touching the lengths.
TEST_F(DeviceOpening, FailuresAreKeptAndAFailedOpenChangesNoLength) {
    EXPECT_EQ(Lengths(), (std::array<LONG, 3>{0, 0, 0}));
    EXPECT_EQ(ErrorNumber(), 0);
    EXPECT_EQ(Description(), u"");
    LONG result = -99;
    channel_.On("open f.mpg type mpegvideo alias clip parent 0 style child", 263);
    ASSERT_EQ(Open(u"clip", result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(channel_.Calls().size(), 1u);
    EXPECT_EQ(Lengths(), (std::array<LONG, 3>{0, 0, 0}));
    ASSERT_EQ(api_->CloseDevice(&clip_, &result), S_OK);
    EXPECT_EQ(result, 0);
    std::u16string described = u"Device not open.";
    described.resize(255, u'\0');
    EXPECT_EQ(ErrorNumber(), 263);
    EXPECT_EQ(Description(), described);
    channel_.On("close clip", 999); // no description: 255 NULs, not the old text
    ASSERT_EQ(api_->CloseDevice(&clip_, &result), S_OK);
    EXPECT_EQ(Description(), std::u16string(255, u'\0'));
}

// Catches: quoting or trimming pieces, a lost minus sign, a text after the
// style, or measuring calls in another order, format or buffer.
TEST_F(DeviceOpening, OpenSendsThePiecesAsGivenThenMeasuresEndingInFrames) {
    device_.Set("clip", 0, "1000", "25");
    LONG result = -99;
    ASSERT_EQ(Open(u"clip", result, u"C:\\v\\a b.mpg"), S_OK);
    ASSERT_EQ(Open(u"clip", result, u" x ", -42, u""), S_OK);
    EXPECT_EQ(result, 0);
    const std::vector<std::string> measure{"set clip time format ms", "status clip length",
                                           "set clip time format frames", "status clip length"};
    std::vector<std::string> expected{"open C:\\v\\a b.mpg type mpegvideo alias clip parent 0 style child"};
    expected.insert(expected.end(), measure.begin(), measure.end());
    expected.push_back("open  x  type mpegvideo alias clip parent -42 style ");
    expected.insert(expected.end(), measure.begin(), measure.end());
    EXPECT_EQ(channel_.Commands(), expected);
    EXPECT_FALSE(channel_.Calls()[0].has_buffer);
    EXPECT_EQ(channel_.Calls()[2].buffer, std::string(254, '\0'));
}

// Catches: integer division, rounding away from even, a failed length kept
// out of the division, or wrong values left when the division fails.
TEST_F(DeviceOpening, FramesPerSecondDividesInDoubleAndRoundsHalfToEven) {
    struct Case {
        MCIERROR ms_code;
        std::string ms, frames;
        HRESULT status;
        std::array<LONG, 3> after;
    } cases[] = {
        {0, "2000", "49", S_OK, {2000, 49, 24}},          {0, "2000", "51", S_OK, {2000, 51, 26}},
        {263, "", "250", S_OK, {-1, 250, -250000}},       {0, "0", "25", kDivZero, {0, 25, 30}},
        {0, "0", "0", kOverflow, {0, 0, 30}},             {0, "1", "2147484", kOverflow, {1, 2147484, 30}},
    };
    device_.Set("prior", 0, "1000", "30");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ms + "/" + c.frames);
        LONG result = -99;
        ASSERT_EQ(Open(u"prior", result), S_OK); // 30 frames per second before
        device_.Set("clip", c.ms_code, c.ms, c.frames);
        EXPECT_EQ(Open(u"clip", result), c.status);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Lengths(), c.after);
    }
}

// Catches: the object remembering an alias, or one alias's failure or
// length leaking into the other's calls.
TEST_F(DeviceOpening, OneObjectDrivesTwoAliasesAtOnce) {
    device_.Set("a", 0, "4000", "100");
    device_.Set("b", 0, "1000", "30");
    LONG result = -99;
    ASSERT_EQ(Open(u"a", result), S_OK);
    ASSERT_EQ(Open(u"b", result), S_OK);
    EXPECT_EQ(Lengths(), (std::array<LONG, 3>{1000, 30, 30}));
    channel_.ClearCalls();
    channel_.On("stop b", 263);
    Bstr a(u"a"), b(u"b"), ms(u" ms ");
    BSTR ap = a.Get(), bp = b.Get(), msp = ms.Get();
    ASSERT_EQ(api_->cmdStop(&bp, &result), S_OK);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(api_->cmdTimeFormat(&ap, &msp, &result), S_OK);
    ASSERT_EQ(api_->CloseDevice(&ap, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(channel_.Commands(), (std::vector<std::string>{"stop b", "set a time format  ms ", "close a"}));
    EXPECT_EQ(ErrorNumber(), 263);
    EXPECT_EQ(Lengths(), (std::array<LONG, 3>{1000, 30, 30}));
}

// ---- commands without reply -----------------------------------------------------------

using Command = std::function<HRESULT(Api &, BSTR *, LONG *)>;
template <class... T, class Member> Command Bind(Member member, std::type_identity_t<T>... values) {
    return [=](Api &api, BSTR *alias, LONG *result) mutable { return (api.*member)(alias, &values..., result); };
}

// Catches: the -1 rule applied to other values, clauses out of order, a
// truth test against -1 only, wrong channel or volume words, an unscaled
// seek, a reply area on a command, a code returned instead of 1, or a
// success clearing the kept error.
TEST_F(DeviceCommands, EachSendsItsTextAndKeepsTheLastFailure) {
    const std::pair<std::string, Command> cases[] = {
        {"play clip", Bind<SHORT, SHORT, VARIANT_BOOL>(&Api::cmdPlay, -1, -1, 0)},
        {"play clip from 0 to 100 fullscreen", Bind<SHORT, SHORT, VARIANT_BOOL>(&Api::cmdPlay, 0, 100, -1)},
        {"play clip to 50", Bind<SHORT, SHORT, VARIANT_BOOL>(&Api::cmdPlay, -1, 50, 0)},
        {"play clip from -5 fullscreen", Bind<SHORT, SHORT, VARIANT_BOOL>(&Api::cmdPlay, -5, -1, 1)},
        {"stop clip", Bind<>(&Api::cmdStop)},
        {"pause clip", Bind<>(&Api::cmdPause)},
        {"set clip audio left on", Bind<SHORT, VARIANT_BOOL>(&Api::cmdChannels, 0, -1)},
        {"set clip audio right off", Bind<SHORT, VARIANT_BOOL>(&Api::cmdChannels, 1, 0)},
        {"set clip audio on", Bind<SHORT, VARIANT_BOOL>(&Api::cmdChannels, 2, 2)},
        {"set clip speed -3", Bind<SHORT>(&Api::cmdRate, -3)},
        {"set clip video on", Bind<VARIANT_BOOL>(&Api::cmdVideoOutput, 2)},
        {"set clip video off", Bind<VARIANT_BOOL>(&Api::cmdVideoOutput, 0)},
        {"configure clip", Bind<>(&Api::cmdConfigure)},
        {"put clip window at 0 -1 320 240", Bind<SHORT, SHORT, SHORT, SHORT>(&Api::cmdResize, 0, -1, 320, 240)},
        {"seek clip to start", Bind<>(&Api::cmdToStart)},
        {"seek clip to end", Bind<>(&Api::cmdToEnd)},
        {"seek clip to 12000", Bind<LONG>(&Api::cmdSeek, 12)},
        {"seek clip to -2147483000", Bind<LONG>(&Api::cmdSeek, -2147483)},
        {"setaudio clip volume to 500", Bind<SHORT, SHORT>(&Api::cmdVolume, 2, 500)},
        {"setaudio clip left volume to 250", Bind<SHORT, SHORT>(&Api::cmdVolume, 0, 250)},
        {"setaudio clip right volume to -7", Bind<SHORT, SHORT>(&Api::cmdVolume, 1, -7)},
        {"setaudio clip 500", Bind<SHORT, SHORT>(&Api::cmdVolume, 7, 500)},
    };
    MCIERROR code = 300;
    for (const auto &[text, call] : cases) {
        SCOPED_TRACE(text);
        channel_.ClearCalls();
        channel_.On(text, ++code);
        LONG result = -99;
        ASSERT_EQ(call(*api_.Get(), &clip_, &result), S_OK);
        EXPECT_EQ(result, 1);
        channel_.On(text, 0);
        ASSERT_EQ(call(*api_.Get(), &clip_, &result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ErrorNumber(), static_cast<LONG>(code));
        EXPECT_EQ(channel_.Commands(), (std::vector<std::string>{text, text}));
        EXPECT_FALSE(channel_.Calls()[0].has_buffer);
        EXPECT_EQ(channel_.Calls()[0].capacity, 0u);
    }
}

// Catches: a resize-client result of another kind, a product that wraps or
// is sent anyway, or an overflow recorded as a device failure.
TEST_F(DeviceCommands, ResizeClientGivesAnInt16AndSeekOverflowSendsNothing) {
    SHORT x1 = 0, y1 = 0, x2 = 320, y2 = 240;
    for (MCIERROR code : {0u, 289u}) {
        channel_.On("put clip window client at 0 0 320 240", code);
        tvx::Variant result;
        ASSERT_EQ(api_->cmdResizeClient(&clip_, &x1, &y1, &x2, &y2, result.Put()), S_OK);
        ASSERT_EQ(result.Type(), VT_I2);
        EXPECT_EQ(V_I2(&result), code == 0 ? 0 : 1);
    }
    channel_.ClearCalls();
    for (LONG seconds : {2147484, -2147484}) {
        LONG result = -99;
        EXPECT_EQ(api_->cmdSeek(&clip_, &seconds, &result), kOverflow);
        EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(channel_.Calls().empty());
    EXPECT_EQ(ErrorNumber(), 289);
}

// ---- queries ---------------------------------------------------------------------------

// Catches: a wrong capacity, a reply not cut at its first NUL, trimmed
// blanks, or a failure text other than MCIClass_ERROR.
TEST_F(DeviceQueries, TextQueriesReturnTheReplyUpToItsFirstNul) {
    const std::string longer(300, 'x');
    struct Case {
        HRESULT (Api::*member)(BSTR *, BSTR *);
        std::string command;
        UINT capacity;
        std::string reply;
        size_t kept;
    } cases[] = {
        {&Api::cmdGetCopyRight, "info clip copyright", 255, longer, 254},
        {&Api::cmdGetName, "info clip name", 255, " Clip  ", 7},
        {&Api::cmdGetProduct, "info clip product", 32, longer, 31},
        {&Api::cmdGetFormatTag, "status clip format tag", 254, std::string("mpeg\0junk", 9), 4},
        {&Api::cmdGetTimeFormat, "status clip time format", 254, longer, 253},
        {&Api::cmdGetStatus, "status clip mode", 254, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        channel_.On(c.command, 0, c.reply);
        const std::string kept = c.reply.substr(0, c.kept);
        EXPECT_EQ(Text(c.member), std::u16string(kept.begin(), kept.end()));
        EXPECT_EQ(channel_.Calls().back().capacity, c.capacity);
        EXPECT_EQ(channel_.Calls().back().buffer, std::string(c.capacity, '\0'));
        channel_.On(c.command, 263, "partial");
        EXPECT_EQ(Text(c.member), u"MCIClass_ERROR");
    }
    EXPECT_EQ(ErrorNumber(), 263);
}

// Catches: replies not read by the number rule, rounding away from even, a
// refusal giving 0, or an overflow that keeps a value or is recorded.
TEST_F(DeviceQueries, LengthAndPositionReadTheReplyAsAnInt32) {
    const std::pair<HRESULT (Api::*)(BSTR *, LONG *), std::string> members[] = {
        {&Api::cmdGetLength, "status clip length"}, {&Api::cmdGetPosition, "status clip position"}};
    const std::tuple<MCIERROR, std::string, HRESULT, LONG> cases[] = {
        {0, "12345", S_OK, 12345}, {0, "", S_OK, 0},      {0, "01:02:03", S_OK, 1}, {0, " -2 .5", S_OK, -2},
        {0, "3.5", S_OK, 4},       {290, "7", S_OK, -1},  {0, "2147483648", kOverflow, 0},
    };
    for (const auto &[member, command] : members) {
        for (const auto &[code, reply, status, expected] : cases) {
            SCOPED_TRACE(command + ": " + reply);
            channel_.On(command, code, reply);
            LONG value = -99;
            EXPECT_EQ((api_.Get()->*member)(&clip_, &value), status);
            EXPECT_EQ(value, expected);
        }
    }
    EXPECT_EQ(ErrorNumber(), 290);
}

// Catches: Volume left alone on a refusal, Volume written or the refusal
// recorded when the reading overflows, or a wrong volume item.
TEST_F(DeviceQueries, GetVolumeWritesVolumeBeforeLookingAtTheCode) {
    const std::tuple<SHORT, std::string, MCIERROR, std::optional<std::string>, HRESULT, SHORT, LONG, LONG> cases[] = {
        {2, "status clip volume", 0, "500", S_OK, 500, 0, 0},
        {1, "status clip right volume", 0, "2.5", S_OK, 2, 0, 0},
        {0, "status clip left volume", 0, "3.5", S_OK, 4, 0, 0},
        {9, "status clip ", 0, "7", S_OK, 7, 0, 0},
        {2, "status clip volume", 277, std::nullopt, S_OK, 0, 1, 277},
        {2, "status clip volume", 278, "12", S_OK, 12, 1, 278},
        {2, "status clip volume", 279, "40000", kOverflow, 1234, 0, 278},
    };
    for (const auto &[channel, command, code, reply, status, volume, result, error] : cases) {
        SCOPED_TRACE(command + " " + reply.value_or("(nothing)"));
        channel_.On(command, code, reply);
        SHORT in = channel, out = 1234;
        LONG value = -99;
        EXPECT_EQ(api_->cmdGetVolume(&clip_, &in, &out, &value), status);
        EXPECT_EQ(channel_.Calls().back().command, command);
        EXPECT_EQ(std::make_tuple(out, value, ErrorNumber()), std::make_tuple(volume, result, error));
    }
}

// Catches: width and height not taken as differences, a layout error raised
// with the wrong number, int16 differences that wrap, or a refusal not
// giving MCIClass_ERROR.
TEST_F(DeviceQueries, GetSizeTurnsTheRectangleIntoWidthAndHeight) {
    constexpr HRESULT kInvalid = tvx::MakeControlError(tvx::kInvalidArgument);
    constexpr HRESULT kMismatch = tvx::MakeControlError(tvx::kTypeMismatch);
    const std::tuple<std::string, HRESULT, std::u16string> cases[] = {
        {"0 0 352 288", S_OK, u"352 288"},      {"10 20 330 260", S_OK, u"320 240"},
        {"1.5 -2 3 4", S_OK, u"1 6"},           {std::string("0 0 9 8\0 7", 10), S_OK, u"9 8"},
        {"352 288", kInvalid, u""},             {"0 0 352 288 5", kMismatch, u""},
        {" 0 0 352 288", kMismatch, u""},       {"0 0 40000 1", kOverflow, u""},
        {"-32768 0 32767 1", kOverflow, u""},   {"0 0 3e2 240", kMismatch, u""},
        {"0 0 &H160 288", kMismatch, u""},
    };
    for (const auto &[reply, status, size] : cases) {
        SCOPED_TRACE(reply);
        channel_.On("where clip destination", 0, reply);
        EXPECT_EQ(Text(&Api::cmdGetSize, status), size);
    }
    EXPECT_EQ(ErrorNumber(), 0);
    channel_.On("where clip destination", 263, "0 0 352 288");
    EXPECT_EQ(Text(&Api::cmdGetSize), u"MCIClass_ERROR");
    EXPECT_EQ(ErrorNumber(), 263);
}

// ---- late binding ------------------------------------------------------------------------

// Catches: Volume not reaching the caller's variable through a by-ref
// argument, also when the device refuses.
TEST_F(DeviceQueries, GetVolumeByLateBindingWritesBackVolume) {
    auto dispatch = api_.As<IDispatch>();
    std::u16string name = u"cmdGetVolume";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    for (auto [code, result, volume] : {std::tuple<MCIERROR, LONG, SHORT>{0, 0, 640}, {281, 1, 0}}) {
        channel_.On("status clip left volume", code, code ? std::nullopt : std::optional<std::string>("640"));
        SHORT channel = 0, out = 1234;
        VARIANT args[] = {tvx::Variant::Ref(VT_I2, &out).Detach(), tvx::Variant::Ref(VT_I2, &channel).Detach(),
                          tvx::Variant::Ref(VT_BSTR, &clip_).Detach()}; // reverse order
        DISPPARAMS params{args, nullptr, 3, 0};
        tvx::Variant value;
        ASSERT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, value.Put(), nullptr,
                                   nullptr),
                  S_OK);
        ASSERT_EQ(value.Type(), VT_I4);
        EXPECT_EQ(V_I4(&value), result);
        EXPECT_EQ(out, volume);
    }
    EXPECT_EQ(ErrorNumber(), 281);
}

} // namespace
