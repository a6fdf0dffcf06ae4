// Audio and door control: the switches and door commands, the volume
// settings, and the three volume readings with their two conversion rules.
#include <climits>

#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

using Audio = PlayerTest;
using Strings = std::vector<std::string>;
using Setting = HRESULT (_clsKwVidoMoviesA::*)(LONG *, VARIANT *);

// Catches: a switch sent to the wrong channel or device (the door names
// cdaudio, not movie), a reply area, or a code not recorded.
TEST_F(Audio, SwitchesAndDoorSendOnePlainCommandEach) {
    struct Case {
        const char *name;
        EmptyMember member;
        std::string command;
    } cases[] = {
        {"setAudioOff", &_clsKwVidoMoviesA::setAudioOff, "set movie audio all off"},
        {"setAudioOn", &_clsKwVidoMoviesA::setAudioOn, "set movie audio all on"},
        {"setLeftOff", &_clsKwVidoMoviesA::setLeftOff, "set movie audio left off"},
        {"setLeftOn", &_clsKwVidoMoviesA::setLeftOn, "set movie audio left on"},
        {"setRightOff", &_clsKwVidoMoviesA::setRightOff, "set movie audio right off"},
        {"setRightOn", &_clsKwVidoMoviesA::setRightOn, "set movie audio right on"},
        {"setDoorOpen", &_clsKwVidoMoviesA::setDoorOpen, "set cdaudio door open"},
        {"setDoorClosed", &_clsKwVidoMoviesA::setDoorClosed, "set cdaudio door closed"},
    };
    MCIERROR code = 500;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        channel_.On(c.command, ++code);
        EXPECT_EQ(CallEmpty(c.member), S_OK);
        EXPECT_EQ(Commands(), Strings{c.command});
        EXPECT_EQ(channel_.Calls()[0].capacity, 0u);
        EXPECT_EQ(Error(), static_cast<LONG>(code));
    }
}

// Catches: a volume clamped or scaled, a blank missing or added around the
// number, or the caller's value changed.
TEST_F(Audio, VolumeSettingsSendTheValueUnchanged) {
    struct Case {
        Setting member;
        LONG value;
        std::string command;
    } cases[] = {
        {&_clsKwVidoMoviesA::setVolume, 500, "setaudio movie volume to 500"},
        {&_clsKwVidoMoviesA::setVolume, -1, "setaudio movie volume to -1"},
        {&_clsKwVidoMoviesA::setVolume, 5000, "setaudio movie volume to 5000"},
        {&_clsKwVidoMoviesA::setLeftVolume, 0, "setaudio movie left volume to 0"},
        {&_clsKwVidoMoviesA::setLeftVolume, INT_MIN, "setaudio movie left volume to -2147483648"},
        {&_clsKwVidoMoviesA::setRightVolume, 750, "setaudio movie right volume to 750"},
        {&_clsKwVidoMoviesA::setRightVolume, INT_MAX, "setaudio movie right volume to 2147483647"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        ClearLog();
        channel_.On(c.command, 8);
        LONG value = c.value;
        Variant result;
        EXPECT_EQ((movie_->*c.member)(&value, result.Put()), S_OK);
        EXPECT_EQ(result.Type(), VT_EMPTY);
        EXPECT_EQ(Commands(), Strings{c.command});
        EXPECT_EQ(Error(), 8);
        EXPECT_EQ(value, c.value);
    }
}

// Catches: the right volume read by the lenient rule (or the others by the
// strict one), the strict text not cut at the first NUL, empty text read as
// 0, overflow not reported, or a failed reading leaving a nonzero result.
TEST_F(Audio, VolumeReadingsUseTheirOwnConversionRules) {
    struct Outcome {
        HRESULT status;
        LONG value;
    };
    struct Case {
        const char *reply;
        Outcome lenient, strict;
    } cases[] = {
        {"750", {S_OK, 750}, {S_OK, 750}},
        {"5", {S_OK, 5}, {S_OK, 5}}, // the earlier reply's digits stand behind the NUL
        {" 42 ", {S_OK, 42}, {S_OK, 42}},
        {"1000.5", {S_OK, 1000}, {S_OK, 1000}},
        {"1001.5", {S_OK, 1002}, {S_OK, 1002}},
        {"-3", {S_OK, -3}, {S_OK, -3}},
        {"", {S_OK, 0}, {kTypeMismatchStatus, 0}},
        {"500 x", {S_OK, 500}, {kTypeMismatchStatus, 0}},
        {"5 0 0", {S_OK, 500}, {kTypeMismatchStatus, 0}},
        {"loud", {S_OK, 0}, {kTypeMismatchStatus, 0}},
        {"5E2", {S_OK, 500}, {kTypeMismatchStatus, 0}},    // no exponent in the strict notation
        {"&H1F4", {S_OK, 500}, {kTypeMismatchStatus, 0}},  // nor a hexadecimal integer
        {"\t7\t", {S_OK, 7}, {kTypeMismatchStatus, 0}},    // only blanks may surround it
        {"3000000000", {kOverflowStatus, 0}, {kOverflowStatus, 0}},
    };
    struct Member {
        const char *name;
        NumberMember member;
        std::string command;
        Outcome Case::*outcome;
    } members[] = {
        {"getVolume", &_clsKwVidoMoviesA::getVolume, "status movie volume", &Case::lenient},
        {"getLeftVolume", &_clsKwVidoMoviesA::getLeftVolume, "status movie left volume", &Case::lenient},
        {"getRightVolume", &_clsKwVidoMoviesA::getRightVolume, "status movie right volume", &Case::strict},
    };
    for (const Member &m : members) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(m.name) + " \"" + c.reply + "\"");
            NewPlayer();
            channel_.On(m.command, 0, "1000");
            LONG value;
            ASSERT_EQ(CallNumber(m.member, value), S_OK);
            ClearLog();
            channel_.On(m.command, 9, c.reply);
            const Outcome &expected = c.*m.outcome;
            EXPECT_EQ(CallNumber(m.member, value), expected.status);
            EXPECT_EQ(value, expected.value);
            EXPECT_EQ(Commands(), Strings{m.command});
            EXPECT_EQ(Error(), 9);
        }
    }
}

// Catches: a failed right-volume query on a fresh object read as 0 instead
// of failing on the empty text, or the lenient readings failing there.
TEST_F(Audio, AFailedQueryOnAFreshObjectFailsOnlyTheStrictReading) {
    channel_.On("status movie right volume", 263);
    channel_.On("status movie left volume", 263);
    LONG value;
    EXPECT_EQ(CallNumber(&_clsKwVidoMoviesA::getRightVolume, value), kTypeMismatchStatus);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    Bstr description;
    info->GetDescription(description.Put());
    EXPECT_EQ(description.Str(), u"Type mismatch");
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Error(), 263);

    NewPlayer();
    EXPECT_EQ(CallNumber(&_clsKwVidoMoviesA::getLeftVolume, value), S_OK);
    EXPECT_EQ(value, 0);
}

} // namespace
} // namespace tvx::testing
