// The timeOut wait, against an injected time-of-day clock and an injected
// event-dispatch pass that moves the clock on: its bounds, the forms that
// duration may take, midnight, and calls into the object during the wait.
#include <cmath>
#include <functional>

#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

constexpr int kRunaway = 1000000;

// A clock that stands still between passes; each dispatch pass moves it on
// by `step` seconds (wrapping at midnight) and runs `during_pass`.
struct FakeDay {
    double now = 0;
    double step = 0.25;
    int reads = 0;
    int passes = 0;
    std::function<void()> during_pass;

    static double Read(void *context) {
        auto *self = static_cast<FakeDay *>(context);
        ++self->reads;
        return self->now;
    }
    static void Pass(void *context) {
        auto *self = static_cast<FakeDay *>(context);
        ++self->passes;
        self->now = std::fmod(self->now + self->step, 86400.0);
        // A wait that never ends would hang the test; jump far ahead instead
        // so that it ends and fails on its length.
        if (self->passes > kRunaway) self->now = 1e9;
        if (self->during_pass) self->during_pass();
    }
};

class Wait : public PlayerTest {
protected:
    Wait() {
        TvxSetClock(&FakeDay::Read, &day_);
        TvxSetEventDispatcher(&FakeDay::Pass, &day_);
    }
    ~Wait() override {
        TvxSetClock(nullptr, nullptr);
        TvxSetEventDispatcher(nullptr, nullptr);
    }

    // Waits from `start`; gives the status and the clock time that passed.
    HRESULT WaitFrom(double start, Variant duration, double &waited) {
        day_.now = start;
        day_.passes = 0;
        day_.reads = 0;
        HRESULT status = movie_->timeOut(&duration);
        waited = day_.passes * day_.step;
        return status;
    }

    FakeDay day_;
};

// Catches: a start that is not rounded (or rounded up at halves), an
// elapsed time compared the wrong way, a wait outside duration ± 0.5 s, or
// a wait that sends commands or touches Error.
TEST_F(Wait, TheWaitEndsWhenTheClockPassesTheRoundedStartPlusDuration) {
    ASSERT_EQ(movie_->put_Error(31), S_OK);
    struct Case {
        double start, duration, waited;
    } cases[] = {
        {100.0, 2, 2.0},  {100.25, 2, 1.75}, {100.5, 2, 1.5},  // 100.5 rounds to 100
        {101.5, 2, 2.5},                                        // 101.5 rounds to 102
        {100.75, 2, 2.25}, {100.0, 0.75, 0.75}, {3600.0, 10, 10.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        double waited = -1;
        EXPECT_EQ(WaitFrom(c.start, Variant::R8(c.duration), waited), S_OK);
        EXPECT_EQ(waited, c.waited);
        EXPECT_GE(waited, c.duration - 0.5);
        EXPECT_LE(waited, c.duration + 0.5);
        EXPECT_EQ(day_.reads, day_.passes + 2) << "the start, then one reading per check";
    }
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Error(), 31);
}

// Catches: a negative or zero duration that still dispatches, Empty not
// counted as 0, or a zero wait that ignores a start rounded up.
TEST_F(Wait, ZeroNegativeAndEmptyDurationsReturnAtTheFirstCheck) {
    struct Case {
        const char *name;
        double start;
        Variant duration;
        int passes;
    } cases[] = {
        {"negative", 100.0, Variant::I4(-1), 0},
        {"negative, start rounded up", 100.75, Variant::R8(-1), 0},
        {"zero", 100.0, Variant::I4(0), 0},
        {"zero, start rounded up", 100.75, Variant::I4(0), 1}, // until the clock reaches 101
        {"empty", 100.25, Variant(), 0},
        {"empty, start rounded up", 100.75, Variant(), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double waited;
        EXPECT_EQ(WaitFrom(c.start, c.duration, waited), S_OK);
        EXPECT_EQ(day_.passes, c.passes);
    }
}

// Catches: a duration read in only one numeric type, a by-ref Variant not
// followed, numeric text refused, or the caller's Variant changed.
TEST_F(Wait, AnyNumericFormOfTheDurationCounts) {
    LONG i4 = 2;
    Variant inner = Variant::I4(2);
    CY cy;
    cy.int64 = 20000;
    Variant currency;
    currency.vt = VT_CY;
    currency.u.cyVal = cy;
    Variant single;
    single.vt = VT_R4;
    single.u.fltVal = 1.5f;
    struct Case {
        const char *name;
        Variant duration;
        double waited;
    } cases[] = {
        {"int16", Variant::I2(2), 2.0},
        {"single", single, 1.5},
        {"currency", currency, 2.0},
        {"text", Variant::Str(u"2"), 2.0},
        {"text with a fraction and blanks", Variant::Str(u" 1.5 "), 1.5},
        {"by-ref int32", Variant::Ref(VT_I4, &i4), 2.0},
        {"by-ref Variant", Variant::Ref(VT_VARIANT, &inner), 2.0},
        {"true counts as -1", Variant::Bool(true), 0.0},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        day_.now = 500.0;
        day_.passes = 0;
        const VARTYPE type = c.duration.Type();
        ASSERT_EQ(movie_->timeOut(&c.duration), S_OK);
        EXPECT_EQ(day_.passes * day_.step, c.waited);
        EXPECT_EQ(c.duration.Type(), type) << "duration is not changed";
    }
    EXPECT_EQ(i4, 2);
    EXPECT_EQ(V_I4(&inner), 2);
}

// Catches: text that is no number, Null, an object or an array treated as
// 0 (returning at once) instead of refused with a type mismatch.
TEST_F(Wait, DurationsThatAreNoNumberAreATypeMismatch) {
    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, 1);
    Variant list;
    list.vt = VT_ARRAY | VT_I4;
    list.u.parray = array;
    Variant null;
    null.vt = VT_NULL;
    struct Case {
        const char *name;
        Variant duration;
        HRESULT status;
    } cases[] = {
        {"text", Variant::Str(u"two"), kTypeMismatchStatus},
        {"empty text", Variant::Str(u""), kTypeMismatchStatus},
        {"null", null, kTypeMismatchStatus},
        {"object", Variant::Dispatch(reinterpret_cast<IDispatch *>(movie_)), kTypeMismatchStatus},
        {"array", list, kTypeMismatchStatus},
        {"missing", Variant::Missing(), kTypeMismatchStatus},
        {"text too large for a number", Variant::Str(u"1e999"), kOverflowStatus},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double waited;
        EXPECT_EQ(WaitFrom(100.0, c.duration, waited), c.status);
        EXPECT_EQ(day_.passes, 0);
    }
}

// Catches: a wait across midnight that never ends (the clock starts again at
// 0) or ends at once (the difference going hugely negative or positive).
TEST_F(Wait, AWaitAcrossMidnightLastsItsDuration) {
    struct Case {
        double start, duration, waited;
    } cases[] = {
        {86399.0, 2, 2.0},
        {86399.75, 2, 2.25}, // the start rounds to 86400
        {86398.0, 2, 2.0},   // ends exactly at midnight
        {86000.0, 1000, 1000.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        double waited;
        EXPECT_EQ(WaitFrom(c.start, Variant::R8(c.duration), waited), S_OK);
        EXPECT_EQ(waited, c.waited);
    }
}

// Catches: state of the wait kept in the object (a nested wait or call
// would disturb the outer one), or a wait that cannot be re-entered.
TEST_F(Wait, APassMayCallIntoTheObjectAndEvenWaitAgain) {
    int pass = 0;
    bool nested_done = false;
    day_.during_pass = [&] {
        ++pass;
        if (pass == 2) CallEmpty(&_clsKwVidoMoviesA::playMovie);
        if (pass == 3) {
            Variant one = Variant::I4(1);
            EXPECT_EQ(movie_->timeOut(&one), S_OK);
            nested_done = true;
        }
    };
    channel_.On("play movie", 44);
    double waited;
    ASSERT_EQ(WaitFrom(200.0, Variant::I4(3), waited), S_OK);
    EXPECT_TRUE(nested_done);
    EXPECT_EQ(Commands(), std::vector<std::string>{"play movie"});
    EXPECT_EQ(Error(), 44);
    // The nested wait (from 200.75, so until 202) moved the clock on; the
    // outer one still ends three seconds after its own start.
    EXPECT_EQ(day_.now, 203.0);
}

} // namespace
} // namespace tvx::testing
