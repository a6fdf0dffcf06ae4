// Length and position in milliseconds, frames, seconds and clock text, and
// the private clock-text formatter with its handler.
#include <new>

#include "error/error.h"
#include "movies/clock_text.h"
#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

using TimeUnits = PlayerTest;
using Strings = std::vector<std::string>;

struct DeviceQuery {
    const char *name;
    NumberMember member;
    std::string format, query;
};

const DeviceQuery kDeviceQueries[] = {
    {"getLengthInMS", &_clsKwVidoMoviesA::getLengthInMS, "set movie time format ms", "status movie length"},
    {"getLengthInFrames", &_clsKwVidoMoviesA::getLengthInFrames, "set movie time format frames",
     "status movie length"},
    {"getPositionInMS", &_clsKwVidoMoviesA::getPositionInMS, "set movie time format ms",
     "status movie position wait"},
    {"getPositionInFrames", &_clsKwVidoMoviesA::getPositionInFrames, "set movie time format frames wait",
     "status movie position"},
};

// Catches: "wait" on the wrong command, the query skipped when the format
// command fails, or Error left at the format command's code.
TEST_F(TimeUnits, DeviceQueriesSetTheFormatThenAskAndRecordBothCodes) {
    for (const DeviceQuery &q : kDeviceQueries) {
        SCOPED_TRACE(q.name);
        NewPlayer();
        channel_.On(q.format, 263);
        channel_.On(q.query, 0, "95000");
        LONG value;
        EXPECT_EQ(CallNumber(q.member, value), S_OK);
        EXPECT_EQ(value, 95000);
        EXPECT_EQ(Commands(), (Strings{q.format, q.query}));
        EXPECT_EQ(witness_.seen, (std::vector<LONG>{0, 263}));
        EXPECT_EQ(Error(), 0) << "a failed format command never shows";
        EXPECT_EQ(channel_.Calls()[1].capacity, 128u);
    }
}

// Catches: rounding other than halves-to-even, reading past the NUL into an
// earlier reply's tail, or an out-of-range number wrapped instead of failing
// with overflow and result 0.
TEST_F(TimeUnits, TheReplyIsReadByTheTextToNumberRuleAndRounded) {
    struct Case {
        const char *reply;
        HRESULT status;
        LONG value;
    } cases[] = {
        {"1999.5", S_OK, 2000},
        {"1000.5", S_OK, 1000},
        {"1001.5", S_OK, 1002},
        {"-2.5", S_OK, -2},
        {"1 2 3", S_OK, 123},
        {"42 frames", S_OK, 42},
        {"", S_OK, 0},
        {"2147483647", S_OK, INT32_MAX},
        {"-2147483648.5", S_OK, INT32_MIN},
        {"2147483647.5", kOverflowStatus, 0},
        {"3e9", kOverflowStatus, 0},
    };
    for (const DeviceQuery &q : kDeviceQueries) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(q.name) + " " + c.reply);
            NewPlayer();
            channel_.On(q.query, 0, "1000000"); // a longer reply first: its tail stays behind the NUL
            LONG value;
            ASSERT_EQ(CallNumber(q.member, value), S_OK);
            channel_.On(q.query, 0, c.reply);
            EXPECT_EQ(CallNumber(q.member, value), c.status);
            EXPECT_EQ(value, c.value);
        }
    }
}

// ---- whole seconds ---------------------------------------------------------------------

// Catches: seconds rounded instead of truncated toward zero, floored for
// negatives, the millisecond member bypassed (no time-format command), or an
// inner overflow swallowed.
TEST_F(TimeUnits, WholeSecondsTruncateTheMillisecondMembersResult) {
    struct Case {
        const char *reply;
        HRESULT status;
        LONG seconds;
    } cases[] = {
        {"95000", S_OK, 95},   {"1999", S_OK, 1},  {"1999.5", S_OK, 2}, {"-1500", S_OK, -1},
        {"999", S_OK, 0},      {"-999", S_OK, 0},  {"2147483647", S_OK, 2147483},
        {"2147483648", kOverflowStatus, 0},
    };
    struct Member {
        const char *name;
        NumberMember member;
        Strings commands;
    } members[] = {
        {"getLengthInSec", &_clsKwVidoMoviesA::getLengthInSec, {"set movie time format ms", "status movie length"}},
        {"getPositionInSec", &_clsKwVidoMoviesA::getPositionInSec,
         {"set movie time format ms", "status movie position wait"}},
    };
    for (const Member &m : members) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(m.name) + " " + c.reply);
            ClearLog();
            channel_.On(m.commands[1], 17, c.reply);
            LONG value;
            EXPECT_EQ(CallNumber(m.member, value), c.status);
            EXPECT_EQ(value, c.seconds);
            EXPECT_EQ(Commands(), m.commands);
            EXPECT_EQ(Error(), 17);
        }
    }
}

// ---- clock texts -------------------------------------------------------------------------

// Catches: truncated instead of rounded seconds, halves not to even, padded
// minutes, unpadded seconds, an hour part below one hour, or a sign.
TEST_F(TimeUnits, ClockTextFollowsTheFormattersTable) {
    struct Case {
        const char *milliseconds;
        std::u16string text;
    } cases[] = {
        {"0", u"0:00"},           {"5000", u"0:05"},        {"65000", u"1:05"},       {"600000", u"10:00"},
        {"3599499", u"59:59"},    {"3599500", u"1:0:00"},   {"3725000", u"1:2:05"},   {"36000000", u"10:0:00"},
        {"1500", u"0:02"},        {"2500", u"0:02"},        {"499", u"0:00"},         {"500", u"0:00"},
        {"1999", u"0:02"},        {"59500", u"1:00"},       {"95000", u"1:35"},       {"3600000", u"1:0:00"},
        {"3609000", u"1:0:09"},   {"3610000", u"1:0:10"},   {"2147483647", u"596:31:24"},
        {"-1", u"0:00"},          {"-3725000", u"0:00"},    {"-2147483648", u"0:00"},
    };
    struct Member {
        const char *name;
        TextMember member;
        std::string query;
    } members[] = {
        {"getFormatLength", &_clsKwVidoMoviesA::getFormatLength, "status movie length"},
        {"getFormatPosition", &_clsKwVidoMoviesA::getFormatPosition, "status movie position wait"},
    };
    for (const Member &m : members) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(m.name) + " " + c.milliseconds);
            ClearLog();
            channel_.On(m.query, 0, c.milliseconds);
            std::u16string text;
            EXPECT_EQ(CallText(m.member, text), S_OK);
            EXPECT_EQ(text, c.text);
            EXPECT_EQ(Commands(), (Strings{"set movie time format ms", m.query}));
        }
    }
}

struct Captured {
    std::vector<std::string> texts, titles;
};
void Capture(void *context, const char *text, const char *title) {
    auto *captured = static_cast<Captured *>(context);
    captured->texts.push_back(text ? text : "(null)");
    captured->titles.push_back(title ? title : "(null)");
}

class MessageBoxCapture {
public:
    MessageBoxCapture() { TvxSetMessageBoxHandler(&Capture, &captured); }
    ~MessageBoxCapture() { TvxSetMessageBoxHandler(nullptr, nullptr); }
    Captured captured;
};

// Catches: an inner overflow caught by the formatter's handler (it must end
// the member with the inner status, without a message box).
TEST_F(TimeUnits, AnInnerFailureEndsTheClockTextMemberWithItsStatus) {
    MessageBoxCapture boxes;
    channel_.On("status movie length", 0, "9e9");
    std::u16string text = u"stale";
    EXPECT_EQ(CallText(&_clsKwVidoMoviesA::getFormatLength, text), kOverflowStatus);
    EXPECT_EQ(text, u"");
    EXPECT_TRUE(boxes.captured.texts.empty());
}

std::u16string RaiseOutOfMemory(int32_t) { throw std::bad_alloc(); }
std::u16string RaiseOverflow(int32_t) { Raise(kOverflow); }
std::u16string RaiseWithText(int32_t) { Raise(kDivisionByZero, u"no room for the minutes"); }
std::u16string Fine(int32_t) { return u"1:00"; }

// Catches: a handler that lets the failure through, shows the wrong text or
// title (the title has a leading blank), or returns a partial text.
TEST(ClockTextFormatter, AFailureIsShownInAMessageBoxAndGivesTheEmptyText) {
    struct Case {
        const char *name;
        std::u16string (*compose)(int32_t);
        std::string message;
    } cases[] = {
        {"out of memory", &RaiseOutOfMemory, "Out of memory"},
        {"raised", &RaiseOverflow, "Overflow"},
        {"own description", &RaiseWithText, "no room for the minutes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxCapture boxes;
        EXPECT_EQ(movies::FormatClockText(60000, c.compose), u"");
        EXPECT_EQ(boxes.captured.texts, std::vector<std::string>{c.message});
        EXPECT_EQ(boxes.captured.titles, std::vector<std::string>{" Error"});
    }
    MessageBoxCapture quiet;
    EXPECT_EQ(movies::FormatClockText(60000, &Fine), u"1:00");
    EXPECT_TRUE(quiet.captured.texts.empty());
}

} // namespace
} // namespace tvx::testing
