// Seeking and stepping: setPositionTo, restartMovie, the six relative moves,
// stepFrames and setSpeed: their command sequences, the code left in Error
// after each command, the 32-bit overflow checks, and inner failures.
#include <climits>
#include <optional>

#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

using Seeking = PlayerTest;
using Strings = std::vector<std::string>;
using Move = HRESULT (_clsKwVidoMoviesA::*)(LONG *, VARIANT *);

HRESULT CallMove(_clsKwVidoMoviesA *movie, Move member, LONG &value) {
    Variant result = Variant::I4(99);
    HRESULT status = (movie->*member)(&value, result.Put());
    EXPECT_EQ(result.Type(), VT_EMPTY);
    return status;
}

// ---- setPositionTo -------------------------------------------------------------

// Catches: a play without the product, the caller's variable not
// overwritten, an extra time-format command, or the play's code recorded.
TEST_F(Seeking, SetPositionWhilePlayingAsksOnceThenPlaysFromTheProduct) {
    channel_.On("status movie mode", 0, "playing");
    channel_.On("play movie from 5000", 277); // refused, but not recorded
    LONG second = 5;
    EXPECT_EQ(CallMove(movie_, &_clsKwVidoMoviesA::setPositionTo, second), S_OK);
    EXPECT_EQ(Commands(), (Strings{"status movie mode", "play movie from 5000"}));
    EXPECT_EQ(second, 5000);
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(channel_.Calls()[1].capacity, 0u) << "the final move carries no reply area";
}

// Catches: one mode query where two are sent, a play instead of a seek, or
// Error holding the seek's code rather than the second query's.
TEST_F(Seeking, SetPositionWhileNotPlayingAsksTwiceThenSeeks) {
    for (const char *mode : {"paused", "stopped", ""}) {
        SCOPED_TRACE(mode);
        ClearLog();
        channel_.On("status movie mode", 263, mode);
        channel_.On("seek movie to 5000", 0);
        LONG second = 5;
        EXPECT_EQ(CallMove(movie_, &_clsKwVidoMoviesA::setPositionTo, second), S_OK);
        EXPECT_EQ(Commands(), (Strings{"status movie mode", "status movie mode", "seek movie to 5000"}));
        EXPECT_EQ(Error(), 263);
        EXPECT_EQ(second, 5000);
    }
}

// Catches: a seek sent although the second answer says the movie now plays.
TEST_F(Seeking, SetPositionSendsNothingWhenTheSecondAnswerIsPlaying) {
    channel_.On("status movie mode", 0, "paused");
    int queries = 0;
    witness_.before_answer = [&](const std::string &command) {
        if (command == "status movie mode" && ++queries == 2) channel_.On("status movie mode", 5, "playing");
    };
    LONG second = 7;
    EXPECT_EQ(CallMove(movie_, &_clsKwVidoMoviesA::setPositionTo, second), S_OK);
    EXPECT_EQ(Commands(), (Strings{"status movie mode", "status movie mode"}));
    EXPECT_EQ(Error(), 5);
    EXPECT_EQ(second, 7000);
}

// Catches: an unchecked product (wrapping into a wrong position), the
// caller's variable overwritten before the check, or a query sent first.
TEST_F(Seeking, SetPositionOverflowEndsBeforeAnythingIsSentOrStored) {
    struct Case {
        LONG second;
        HRESULT status;
        std::string command; // empty when nothing is sent
    } cases[] = {
        {2147483, S_OK, "seek movie to 2147483000"},
        {-2147483, S_OK, "seek movie to -2147483000"},
        {0, S_OK, "seek movie to 0"},
        {2147484, kOverflowStatus, ""},
        {-2147484, kOverflowStatus, ""},
        {INT_MIN, kOverflowStatus, ""},
    };
    channel_.On("status movie mode", 0, "stopped");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.second);
        ClearLog();
        ASSERT_EQ(movie_->put_Error(-9), S_OK);
        LONG second = c.second;
        EXPECT_EQ(CallMove(movie_, &_clsKwVidoMoviesA::setPositionTo, second), c.status);
        if (c.command.empty()) {
            EXPECT_TRUE(Commands().empty());
            EXPECT_EQ(second, c.second);
            EXPECT_EQ(Error(), -9);
        } else {
            EXPECT_EQ(Commands().back(), c.command);
            EXPECT_EQ(second, static_cast<LONG>(c.second * 1000LL));
        }
    }
}

// ---- restartMovie --------------------------------------------------------------------

// Catches: the play missing or sent first, or Error holding the seek's code.
TEST_F(Seeking, RestartSeeksToTheStartThenPlays) {
    channel_.On("seek movie to start", 11);
    channel_.On("play movie", 12);
    EXPECT_EQ(CallEmpty(&_clsKwVidoMoviesA::restartMovie), S_OK);
    EXPECT_EQ(Commands(), (Strings{"seek movie to start", "play movie"}));
    EXPECT_EQ(witness_.seen, (std::vector<LONG>{0, 11}));
    EXPECT_EQ(Error(), 12);
}

// ---- relative moves ------------------------------------------------------------------

struct MoveCase {
    const char *name;
    Move member;
    bool frames;
    LONG amount;
    const char *position; // the reply to the position query
    LONG target;
};

const MoveCase kMoves[] = {
    {"rewindByMS", &_clsKwVidoMoviesA::rewindByMS, false, 5000, "3000", -2000},
    {"rewindByMS negative", &_clsKwVidoMoviesA::rewindByMS, false, -500, "1000", 1500},
    {"forwardByMS", &_clsKwVidoMoviesA::forwardByMS, false, 250, "1000", 1250},
    {"rewindBySeconds", &_clsKwVidoMoviesA::rewindBySeconds, false, 2, "1500", -500},
    {"forwardBySeconds", &_clsKwVidoMoviesA::forwardBySeconds, false, 2, "1500", 3500},
    {"forwardBySeconds rounded position", &_clsKwVidoMoviesA::forwardBySeconds, false, 1, "1500.5", 2500},
    {"rewindByFrames", &_clsKwVidoMoviesA::rewindByFrames, true, -10, "100", 110},
    {"forwardByFrames", &_clsKwVidoMoviesA::forwardByFrames, true, 25, "100", 125},
    {"forwardByFrames near the top", &_clsKwVidoMoviesA::forwardByFrames, true, 1, "2147483646", INT_MAX},
};

Strings MoveCommands(bool frames, LONG target) {
    const std::string play = "play movie from " + std::to_string(target);
    if (frames) return {"set movie time format frames", "set movie time format frames wait", "status movie position",
                        play};
    return {"set movie time format ms", "set movie time format ms", "status movie position wait", play};
}

// Catches: a wrong unit or query for the move, a missing first time-format
// command, sum and difference swapped, the caller's amount changed (the
// seconds moves must multiply in a temporary), or a code not recorded in
// order.
TEST_F(Seeking, RelativeMovesReadThePositionAndPlayFromTheTarget) {
    for (const MoveCase &c : kMoves) {
        SCOPED_TRACE(c.name);
        NewPlayer();
        const Strings expected = MoveCommands(c.frames, c.target);
        // Codes 21, 22, 23, 24 in sending order (the two format commands of
        // a millisecond move are the same text).
        MCIERROR code = 20;
        witness_.before_answer = [&](const std::string &command) {
            channel_.On(command, ++code, command == expected[2] ? std::optional<std::string>(c.position) : std::nullopt);
        };
        LONG amount = c.amount;
        EXPECT_EQ(CallMove(movie_, c.member, amount), S_OK);
        EXPECT_EQ(Commands(), expected);
        EXPECT_EQ(witness_.seen, (std::vector<LONG>{0, 21, 22, 23}));
        EXPECT_EQ(Error(), 24);
        EXPECT_EQ(amount, c.amount);
    }
}

// Catches: arithmetic that wraps, saturates or is done in 64 bits, a
// product checked only through the sum, or a play sent after the overflow.
TEST_F(Seeking, RelativeMoveOverflowEndsAfterThePositionQuery) {
    struct Case {
        const char *name;
        Move member;
        bool frames;
        LONG amount;
        const char *position;
    } cases[] = {
        {"seconds product", &_clsKwVidoMoviesA::forwardBySeconds, false, 2147484, "0"},
        // The sum would fit in 64 bits; the product alone overflows.
        {"product before sum", &_clsKwVidoMoviesA::forwardBySeconds, false, 2147484, "-2000000000"},
        {"negative product", &_clsKwVidoMoviesA::rewindBySeconds, false, -2147484, "0"},
        {"seconds difference", &_clsKwVidoMoviesA::rewindBySeconds, false, -2147483, "1000000"},
        {"ms sum", &_clsKwVidoMoviesA::forwardByMS, false, INT_MAX, "1"},
        {"ms difference", &_clsKwVidoMoviesA::rewindByMS, false, INT_MIN, "0"},
        {"frames sum", &_clsKwVidoMoviesA::forwardByFrames, true, 1, "2147483647"},
        {"frames difference", &_clsKwVidoMoviesA::rewindByFrames, true, 1, "-2147483648"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NewPlayer();
        const Strings expected = MoveCommands(c.frames, 0);
        channel_.On(expected[2], 31, c.position);
        LONG amount = c.amount;
        EXPECT_EQ(CallMove(movie_, c.member, amount), kOverflowStatus);
        EXPECT_EQ(Commands(), Strings(expected.begin(), expected.begin() + 3));
        EXPECT_EQ(Error(), 31) << "Error keeps the position query's code";
        EXPECT_EQ(amount, c.amount);
    }
}

// Catches: the position read directly instead of through the interface (an
// overflow in the position member must end the move with its status), or a
// play sent after the inner failure.
TEST_F(Seeking, AFailingPositionMemberEndsTheMoveWithItsStatus) {
    for (const MoveCase &c : kMoves) {
        SCOPED_TRACE(c.name);
        NewPlayer();
        const Strings expected = MoveCommands(c.frames, 0);
        channel_.On(expected[2], 0, "3000000000");
        LONG amount = c.amount;
        EXPECT_EQ(CallMove(movie_, c.member, amount), kOverflowStatus);
        EXPECT_EQ(Commands().size(), 3u);
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
        Bstr description;
        info->GetDescription(description.Put());
        EXPECT_EQ(description.Str(), u"Overflow");
    }
}

// ---- stepping and speed ----------------------------------------------------------------

// Catches: a time-format command added, a plus sign, or the caller's value
// changed.
TEST_F(Seeking, StepAndSpeedSendTheValueAsGiven) {
    struct Case {
        Move member;
        LONG value;
        std::string command;
    } cases[] = {
        {&_clsKwVidoMoviesA::stepFrames, 1, "step movie by 1"},
        {&_clsKwVidoMoviesA::stepFrames, -1, "step movie by -1"},
        {&_clsKwVidoMoviesA::stepFrames, INT_MIN, "step movie by -2147483648"},
        {&_clsKwVidoMoviesA::setSpeed, 1000, "set movie speed 1000"},
        {&_clsKwVidoMoviesA::setSpeed, 0, "set movie speed 0"},
        {&_clsKwVidoMoviesA::setSpeed, -5, "set movie speed -5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        ClearLog();
        channel_.On(c.command, 42);
        LONG value = c.value;
        EXPECT_EQ(CallMove(movie_, c.member, value), S_OK);
        EXPECT_EQ(Commands(), Strings{c.command});
        EXPECT_EQ(Error(), 42);
        EXPECT_EQ(value, c.value);
    }
}

} // namespace
} // namespace tvx::testing
